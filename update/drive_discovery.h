// Discovery state of one run and the single discover-identify-select-update
// pass over the machine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/drive_record.h"
#include "update/result_code.h"

namespace koa {

class UpdateSession;
struct RaidController;

class DriveDiscovery {
 public:
  // Devices found, in the order found: Intel controller disks, then inbox disks.
  DriveList candidates;
  // Identified drives, in the order the identify queries appended them.
  DriveList drives;
  // The maker's NVMe disks the inbox walk saw but made no candidate of (no
  // instance identifier, interface path or device number could be read): by
  // instance identifier, empty where that was not read. Nothing identifies
  // or updates them.
  std::vector<std::u16string> inboxDisksLeftOut;

  // The whole pass on the machine. Returns 2 when there is nothing to update
  // (no candidate or no target), otherwise the result code of the last
  // target; the per-target results are stored in session.targets. Defined in
  // app/, which binds the pass to the discovery and transfer operations.
  ResultCode runUpdate(UpdateSession& session);

  // Appends Inbox candidates for the maker's NVMe disks. False when the device
  // set cannot be built or a matching disk cannot be opened. Defined in
  // discovery/, as is the next.
  bool enumerateInboxDrives();

  // Appends IrstRaid / IrstNonRaid candidates for the disks below controller.
  bool enumerateIntelRaidDisks(const RaidController& controller);

  // The revision gate: appends to targets a copy of every drive whose
  // revision is one this package replaces and has imageRevision's family
  // character. Always returns 1.
  int selectTargets(DriveList& targets, std::u16string_view imageRevision);
};

}  // namespace koa
