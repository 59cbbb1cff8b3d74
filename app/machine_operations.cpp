#include "app/machine_operations.h"

#include "app/update_session.h"
#include "discovery/intel_raid_controller.h"
#include "discovery/irst_membership.h"
#include "discovery/vroc_members.h"
#include "transfer/firmware_image.h"
#include "transfer/inbox_path.h"
#include "transfer/irst_path.h"
#include "transfer/vroc_path.h"

namespace koa {

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
  operations.updateInboxDrive = updateInboxDrive;
  operations.updateIrstDrive = updateIrstDrive;
  operations.updateVrocDrive = updateVrocDrive;
  return operations;
}

ResultCode DriveDiscovery::runUpdate(UpdateSession& session) {
  return runUpdatePass(*this, session.targets, imageRevision, machineOperations());
}

}  // namespace koa
