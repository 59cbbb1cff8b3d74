// The discover-identify-select-update pass, with the operations it calls
// named, so that the order and the conditions of the calls can be checked
// against recording fakes. DriveDiscovery::runUpdate runs it with the
// operations that reach the machine.
#pragma once

#include <cstdint>
#include <functional>

#include "discovery/intel_raid_controller.h"
#include "update/drive_discovery.h"
#include "update/drive_record.h"

namespace koa {

struct UpdateOperations {
  std::function<bool(RaidController&)> findIntelRaidController;
  std::function<void(DriveDiscovery&, const RaidController&)> enumerateIntelRaidDisks;
  std::function<void(DriveDiscovery&)> enumerateInboxDrives;
  // The identify queries; each owns its copy of the candidate.
  std::function<void(DriveRecord, DriveList&)> identifyInboxDrive;
  std::function<void(DriveRecord, DriveList&)> queryRaidConfig;
  std::function<void(DriveRecord, DriveList&)> identifyIrstDrive;
  std::function<void(DriveRecord, DriveList&, std::int32_t& vrocPort)> enumerateVrocMembers;
  // The transfer paths; each returns the target's result code.
  std::function<std::int32_t(const DriveRecord&, const std::uint32_t& imageSize)> updateInboxDrive;
  std::function<std::int32_t(const DriveRecord&, const std::uint32_t& imageSize)> updateIrstDrive;
  std::function<std::int32_t(const DriveRecord&, const std::uint32_t& imageSize, std::int32_t vrocPort)>
      updateVrocDrive;
};

// The operations that reach the machine through the installed platform.
UpdateOperations machineOperations();

// The pass of DriveDiscovery::runUpdate: 2 when there is no candidate or no
// target, otherwise the result code of the last target.
std::int32_t runUpdatePass(DriveDiscovery& discovery, UpdateSession& session,
                           const UpdateOperations& operations);

}  // namespace koa
