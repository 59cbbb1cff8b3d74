// Placeholder until the IRST path lands: no Intel controller is found.
#include "discovery/intel_raid_controller.h"
#include "update/drive_discovery.h"

namespace koa {
bool findIntelRaidController(RaidController&) { return false; }
std::int32_t readBusNumber(std::uint32_t) { return -1; }
bool DriveDiscovery::enumerateIntelRaidDisks(const RaidController&) { return false; }
}  // namespace koa
