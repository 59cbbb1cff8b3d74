// The discovery step that the update pass and the inventory share: the Intel
// controller probe and the walk of its disks, the walk of the maker's NVMe
// disks, and each candidate's identify query, with the VROC walk while no
// drive has been identified. The operations are named, so that the step
// itself reaches no device.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "update/drive_discovery.h"
#include "update/drive_record.h"
#include "update/raid_controller.h"

namespace koa {

struct DiscoveryOperations {
  std::function<bool(RaidController&)> findIntelRaidController;
  // The two walks: false when one stopped before its end (a disk it could not
  // open, a device set it could not build).
  std::function<bool(DriveDiscovery&, const RaidController&)> enumerateIntelRaidDisks;
  std::function<bool(DriveDiscovery&)> enumerateInboxDrives;
  // The identify queries; each owns its copy of the candidate.
  std::function<void(DriveRecord, DriveList&)> identifyInboxDrive;
  std::function<void(DriveRecord, DriveList&)> queryRaidConfig;
  std::function<void(DriveRecord, DriveList&)> identifyIrstDrive;
  std::function<void(DriveRecord, DriveList&, std::int32_t& vrocPort)> enumerateVrocMembers;
  // The thread's last error; asked only when a DiscoveryReport is wanted, so
  // that the update pass makes no call it did not make before.
  std::function<std::uint32_t()> lastError;
};

// A candidate whose own query appended no drive, with the last error the
// thread held after the query.
struct UnidentifiedCandidate {
  DriveRecord candidate;
  std::uint32_t windowsError = 0;
};

// What the step saw beyond the lists.
struct DiscoveryReport {
  bool intelControllerFound = false;
  bool intelWalkComplete = true;  // also true when there was no controller to walk
  bool inboxWalkComplete = true;
  std::int32_t vrocPort = -1;     // the SCSI port of the VROC driver, -1 when none answered
  std::vector<UnidentifiedCandidate> unidentified;
};

// Fills discovery.candidates and discovery.drives; returns the VROC port (-1
// when the VROC walk found none). With report, also fills it.
std::int32_t discoverDrives(DriveDiscovery& discovery, const DiscoveryOperations& operations,
                            DiscoveryReport* report = nullptr);

}  // namespace koa
