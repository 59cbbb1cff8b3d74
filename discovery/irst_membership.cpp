// Placeholder until the IRST path lands.
#include "discovery/irst_membership.h"

namespace koa {
std::int32_t queryRaidConfig(DriveRecord, DriveList&) { return 0; }
std::int32_t identifyIrstDrive(DriveRecord, DriveList&) { return 8; }
}  // namespace koa
