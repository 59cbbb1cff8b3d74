#include "discovery/discovery_operations.h"

#include "discovery/intel_raid_controller.h"
#include "discovery/irst_membership.h"
#include "discovery/vroc_members.h"
#include "platform/platform.h"

namespace koa {

DiscoveryOperations machineDiscoveryOperations(
    std::function<std::int32_t(DriveRecord, DriveList&)> identifyInboxDrive) {
  DiscoveryOperations operations;
  operations.findIntelRaidController = [](RaidController& controller) {
    return findIntelRaidController(controller);
  };
  operations.enumerateIntelRaidDisks = [](DriveDiscovery& discovery, const RaidController& controller) {
    return discovery.enumerateIntelRaidDisks(controller);
  };
  operations.enumerateInboxDrives = [](DriveDiscovery& discovery) { return discovery.enumerateInboxDrives(); };
  operations.identifyInboxDrive = [identify = std::move(identifyInboxDrive)](DriveRecord candidate,
                                                                              DriveList& drives) {
    (void)identify(std::move(candidate), drives);
  };
  operations.queryRaidConfig = [](DriveRecord candidate, DriveList& drives) {
    (void)queryRaidConfig(std::move(candidate), drives);
  };
  operations.identifyIrstDrive = [](DriveRecord candidate, DriveList& drives) {
    (void)identifyIrstDrive(std::move(candidate), drives);
  };
  operations.enumerateVrocMembers = [](DriveRecord candidate, DriveList& drives, std::int32_t& vrocPort) {
    (void)enumerateVrocMembers(std::move(candidate), drives, vrocPort);
  };
  operations.lastError = [] { return currentPlatform().GetLastError(); };
  return operations;
}

}  // namespace koa
