// Drives on the Windows inbox NVMe driver: Identify through the storage
// property query, and the firmware update through the SCSI miniport firmware
// interface ("FIRMWARE").
#pragma once

#include <cstdint>

#include "update/drive_record.h"
#include "update/result_code.h"

namespace koa {

// 0 identified and appended, 2 the drive cannot be opened, 5 the query failed.
std::int32_t identifyInboxDrive(DriveRecord candidate, DriveList& drives);

// Shows the target, downloads the image and activates it. Result codes:
// 0 activated, 1602 activated and a power cycle is needed, 1 no writable slot
// or activation refused, 5 the drive cannot be opened or a request failed.
ResultCode updateInboxDrive(const DriveRecord& target, const std::uint32_t& imageSize);

}  // namespace koa
