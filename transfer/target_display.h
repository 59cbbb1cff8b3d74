// The block of lines each transfer path writes before it opens the device.
#pragma once

#include "update/drive_record.h"

namespace koa {

// Driver line: "Inbox Driver" for Inbox, "VROC Driver" for the VROC kinds,
// otherwise "IRST Driver". The " Raid : " line is left out for VROC drives.
void writeTargetDisplayBlock(const DriveRecord& target);

}  // namespace koa
