// Drives behind the Intel VROC driver, found on the SCSI ports.
#pragma once

#include <cstdint>

#include "update/drive_record.h"

namespace koa {

// Looks for the VROC driver on \\.\Scsi0: to \\.\Scsi15:, lists the members of
// its RAID volume or else its pass-through drives, identifies each and appends
// it to drives; stores the port in vrocPort. 0 done, -1 a buffer cannot be
// allocated.
std::int32_t enumerateVrocMembers(DriveRecord candidate, DriveList& drives, std::int32_t& vrocPort);

}  // namespace koa
