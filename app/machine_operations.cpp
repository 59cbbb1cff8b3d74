#include "app/machine_operations.h"

#include "app/update_session.h"
#include "discovery/discovery_operations.h"
#include "transfer/firmware_image.h"
#include "transfer/inbox_path.h"
#include "transfer/irst_path.h"
#include "transfer/vroc_path.h"

namespace koa {

UpdateOperations machineOperations() {
  UpdateOperations operations;
  static_cast<DiscoveryOperations&>(operations) = machineDiscoveryOperations(identifyInboxDrive);
  operations.updateInboxDrive = updateInboxDrive;
  operations.updateIrstDrive = updateIrstDrive;
  operations.updateVrocDrive = updateVrocDrive;
  return operations;
}

ResultCode DriveDiscovery::runUpdate(UpdateSession& session) {
  return runUpdatePass(*this, session.targets, imageRevision, machineOperations());
}

}  // namespace koa
