// What the inventory found: every drive the updater's discovery identified,
// each physical drive once, with its state for this package; the candidates
// that gave no drive; and why the look may be incomplete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inventory/pending_activation.h"
#include "update/discovery_step.h"
#include "update/drive_record.h"

namespace koa {

// The maker's PCI vendor id, as Identify Controller reports it.
inline constexpr std::uint16_t kMakerVendorId = 0xD5A7;

enum class DriveState {
  NeedsUpdate,          // the gate accepts its revision: the updater would update it
  RunsPackageRevision,  // it runs the package's revision
  PendingReboot,        // the package's revision waits in the slot activated at the next reset
  OtherRevision,        // another revision, which this package does not replace
  OtherMaker,           // another maker's drive behind the Intel controller
};

struct InventoryDrive {
  DriveRecord record;
  int timesListed = 1;  // how often the updater's lists hold this physical drive
  PendingActivation pending;
  DriveState state = DriveState::OtherRevision;
};

struct UnidentifiedDrive {
  DriveRecord candidate;
  std::uint32_t windowsError = 0;
  bool unfilled = false;  // a VROC entry whose Identify came back with nothing written
};

struct Inventory {
  std::u16string packageRevision;
  std::vector<InventoryDrive> drives;
  std::vector<UnidentifiedDrive> unidentified;
  // Each reason the look is incomplete; empty: the machine was looked at whole.
  std::vector<std::string> incomplete;
  // What discovery wrote to the console while it looked, line by line.
  std::vector<std::string> messages;

  [[nodiscard]] std::size_t count(DriveState state) const;
};

// The state of one identified drive. The revision gate decides "needs the
// update", so that the inventory and the updater never disagree.
DriveState classify(const DriveRecord& drive, const PendingActivation& pending, std::u16string_view packageRevision);

// The drives of a finished discovery, each physical drive once (by model and
// serial number), classified; their pending activation read on the way.
void collectDrives(Inventory& inventory, const DriveList& drives, const DiscoveryReport& report);

}  // namespace koa
