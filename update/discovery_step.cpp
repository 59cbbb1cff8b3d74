#include "update/discovery_step.h"

namespace koa {

std::int32_t discoverDrives(DriveDiscovery& discovery, const DiscoveryOperations& operations,
                            DiscoveryReport* report) {
  RaidController controller;
  const bool controllerFound = operations.findIntelRaidController(controller);
  bool intelWalkComplete = true;
  if (controllerFound) intelWalkComplete = operations.enumerateIntelRaidDisks(discovery, controller);
  const bool inboxWalkComplete = operations.enumerateInboxDrives(discovery);
  if (report != nullptr) {
    report->intelControllerFound = controllerFound;
    report->intelWalkComplete = intelWalkComplete;
    report->inboxWalkComplete = inboxWalkComplete;
  }

  std::int32_t vrocPort = -1;
  // By index: the queries append to drives, never to candidates, but an index
  // stays valid whatever a list does.
  for (std::size_t i = 0; i < discovery.candidates.size(); ++i) {
    const DriveRecord& candidate = discovery.candidates[i];
    const std::size_t drivesBefore = discovery.drives.size();
    switch (candidate.driverKind) {
      case DriverKind::IrstNonRaid:
        operations.identifyIrstDrive(candidate, discovery.drives);
        break;
      case DriverKind::IrstRaid:
        operations.queryRaidConfig(candidate, discovery.drives);
        break;
      case DriverKind::Inbox:
        operations.identifyInboxDrive(candidate, discovery.drives);
        break;
      default:
        continue;
    }
    // Read before anything else is called: the next call may leave another error.
    if (report != nullptr && discovery.drives.size() == drivesBefore)
      report->unidentified.push_back({candidate, operations.lastError()});
    // The VROC driver answers for the same Intel controller, so it is only
    // looked for behind it, and only while no drive at all has been identified.
    if (candidate.driverKind != DriverKind::Inbox && discovery.drives.empty())
      operations.enumerateVrocMembers(discovery.candidates[i], discovery.drives, vrocPort);
  }
  if (report != nullptr) report->vrocPort = vrocPort;
  return vrocPort;
}

}  // namespace koa
