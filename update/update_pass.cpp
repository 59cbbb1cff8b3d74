#include "update/update_pass.h"

#include "wire/piece_walk.h"

namespace koa {

ResultCode runUpdatePass(DriveDiscovery& discovery, DriveList& targets, std::u16string_view imageRevision,
                         const UpdateOperations& operations) {
  RaidController controller;
  if (operations.findIntelRaidController(controller))
    operations.enumerateIntelRaidDisks(discovery, controller);
  operations.enumerateInboxDrives(discovery);
  if (discovery.candidates.empty()) return result::kNothingToUpdate;

  std::int32_t vrocPort = -1;
  // By index: the queries append to drives, never to candidates, but an index
  // stays valid whatever a list does.
  for (std::size_t i = 0; i < discovery.candidates.size(); ++i) {
    const DriveRecord& candidate = discovery.candidates[i];
    switch (candidate.driverKind) {
      case DriverKind::IrstNonRaid:
        operations.identifyIrstDrive(candidate, discovery.drives);
        break;
      case DriverKind::IrstRaid:
        operations.queryRaidConfig(candidate, discovery.drives);
        break;
      case DriverKind::Inbox:
        operations.identifyInboxDrive(candidate, discovery.drives);
        continue;  // the VROC driver is only looked for behind the Intel controller
      default:
        continue;
    }
    // The VROC driver answers for the same Intel controller; it is asked only
    // while no drive at all has been identified.
    if (discovery.drives.empty())
      operations.enumerateVrocMembers(discovery.candidates[i], discovery.drives, vrocPort);
  }

  (void)discovery.selectTargets(targets, imageRevision);
  if (targets.empty()) return result::kNothingToUpdate;

  ResultCode lastResult = result::kSucceeded;
  for (DriveRecord& target : targets) {
    // Set again for every target: a path must never send less than the image.
    std::uint32_t imageSize = kImageSize;
    switch (target.driverKind) {
      case DriverKind::Inbox:
        lastResult = operations.updateInboxDrive(target, imageSize);
        break;
      case DriverKind::VrocRaid:
      case DriverKind::VrocNonRaid:
        lastResult = operations.updateVrocDrive(target, imageSize, vrocPort);
        break;
      default:
        lastResult = operations.updateIrstDrive(target, imageSize);
        break;
    }
    target.updateResult = lastResult;
  }
  return lastResult;
}

}  // namespace koa
