#include "update/update_pass.h"

#include "wire/piece_walk.h"

namespace koa {

ResultCode runUpdatePass(DriveDiscovery& discovery, DriveList& targets, std::u16string_view imageRevision,
                         const UpdateOperations& operations) {
  const std::int32_t vrocPort = discoverDrives(discovery, operations);
  if (discovery.candidates.empty()) return result::kNothingToUpdate;

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
