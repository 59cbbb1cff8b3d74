// Drives behind the Intel RST driver: the RAID configuration (CSMI) and the
// NVMe Identify pass-through ("IntelNvm").
#pragma once

#include <cstdint>

#include "update/drive_record.h"

namespace koa {

// For an IrstRaid candidate: reads the configuration of RAID set 0 and
// identifies each member. 0 done (also when the controller cannot be
// opened), 5 the CSMI request failed or reported an error.
std::int32_t queryRaidConfig(DriveRecord candidate, DriveList& drives);

// Identifies the drive at record.pathId and appends it to drives. 0 appended,
// 5 the request failed, 8 no memory or the controller cannot be opened.
std::int32_t identifyIrstDrive(DriveRecord record, DriveList& drives);

}  // namespace koa
