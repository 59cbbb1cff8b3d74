#include "app/update_session.h"
#include "discovery/irst_membership.h"
#include "discovery/vroc_members.h"
#include "transfer/firmware_image.h"
#include "transfer/inbox_path.h"
#include "transfer/irst_path.h"
#include "transfer/vroc_path.h"
#include "update/update_pass.h"

namespace koa {
namespace {

constexpr std::int32_t kNothingToUpdate = 2;

}  // namespace

UpdateOperations machineOperations() {
  UpdateOperations operations;
  operations.findIntelRaidController = [](RaidController& controller) {
    return findIntelRaidController(controller);
  };
  operations.enumerateIntelRaidDisks = [](DriveDiscovery& discovery, const RaidController& controller) {
    (void)discovery.enumerateIntelRaidDisks(controller);
  };
  operations.enumerateInboxDrives = [](DriveDiscovery& discovery) {
    (void)discovery.enumerateInboxDrives();
  };
  operations.identifyInboxDrive = [](DriveRecord candidate, DriveList& drives) {
    (void)identifyInboxDrive(std::move(candidate), drives);
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
  operations.updateInboxDrive = [](const DriveRecord& target, const std::uint32_t& imageSize) {
    return updateInboxDrive(target, imageSize);
  };
  operations.updateIrstDrive = [](const DriveRecord& target, const std::uint32_t& imageSize) {
    return static_cast<std::int32_t>(updateIrstDrive(target, imageSize));
  };
  operations.updateVrocDrive = [](const DriveRecord& target, const std::uint32_t& imageSize,
                                  std::int32_t vrocPort) {
    return static_cast<std::int32_t>(updateVrocDrive(target, imageSize, vrocPort));
  };
  return operations;
}

std::int32_t DriveDiscovery::runUpdate(UpdateSession& session) {
  return runUpdatePass(*this, session, machineOperations());
}

std::int32_t runUpdatePass(DriveDiscovery& discovery, UpdateSession& session,
                           const UpdateOperations& operations) {
  RaidController controller;
  if (operations.findIntelRaidController(controller))
    operations.enumerateIntelRaidDisks(discovery, controller);
  operations.enumerateInboxDrives(discovery);
  if (discovery.candidates.empty()) return kNothingToUpdate;

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

  (void)discovery.selectTargets(session);
  if (session.targets.empty()) return kNothingToUpdate;

  std::int32_t lastResult = 0;
  for (DriveRecord& target : session.targets) {
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
