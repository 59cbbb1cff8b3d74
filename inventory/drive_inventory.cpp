#include "inventory/drive_inventory.h"

#include <algorithm>

#include "update/drive_discovery.h"
#include "wire/nvme_raid_request.h"

namespace koa {
namespace {

bool gateAccepts(const DriveRecord& drive, std::u16string_view packageRevision) {
  DriveDiscovery one;
  one.drives.push_back(drive);
  DriveList targets;
  (void)one.selectTargets(targets, packageRevision);
  return !targets.empty();
}

bool behindIntelController(DriverKind kind) { return kind != DriverKind::Inbox; }

// The VROC walk appends a drive whose Identify wrote nothing all the same,
// with the request's 0x55 fill as its serial number and revision.
bool identifyUnfilled(const DriveRecord& drive) {
  const auto fill = static_cast<char16_t>(nvme_raid::kIdentifyFill);
  const auto allFill = [fill](const std::u16string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [fill](char16_t c) { return c == fill; });
  };
  return (drive.driverKind == DriverKind::VrocRaid || drive.driverKind == DriverKind::VrocNonRaid) &&
         allFill(drive.serialNumber) && allFill(drive.firmwareRevision);
}

}  // namespace

std::size_t Inventory::count(DriveState state) const {
  return static_cast<std::size_t>(
      std::count_if(drives.begin(), drives.end(), [state](const InventoryDrive& d) { return d.state == state; }));
}

DriveState classify(const DriveRecord& drive, const PendingActivation& pending, std::u16string_view packageRevision) {
  const bool accepted = gateAccepts(drive, packageRevision);
  // Another maker's drive the gate accepted would still be updated; it is
  // shown as needing the update, as the updater sees it.
  if (behindIntelController(drive.driverKind) && drive.pciVendorId != kMakerVendorId && !accepted)
    return DriveState::OtherMaker;
  if (drive.firmwareRevision == packageRevision) return DriveState::RunsPackageRevision;
  if (pending.known && pending.nextSlot != 0 && pending.nextRevision == packageRevision)
    return DriveState::PendingReboot;
  return accepted ? DriveState::NeedsUpdate : DriveState::OtherRevision;
}

void collectDrives(Inventory& inventory, const DriveList& drives, const DiscoveryReport& report) {
  for (const UnidentifiedCandidate& candidate : report.unidentified)
    inventory.unidentified.push_back({candidate.candidate, candidate.windowsError, false});
  for (const DriveRecord& drive : drives) {
    if (identifyUnfilled(drive)) {
      inventory.unidentified.push_back({drive, 0, true});
      continue;
    }
    const auto same = std::find_if(inventory.drives.begin(), inventory.drives.end(), [&drive](const InventoryDrive& d) {
      return d.record.serialNumber == drive.serialNumber && d.record.modelNumber == drive.modelNumber;
    });
    if (same != inventory.drives.end()) {
      ++same->timesListed;
      continue;
    }
    InventoryDrive entry;
    entry.record = drive;
    entry.pending = readPendingActivation(drive, report.vrocPort);
    entry.state = classify(drive, entry.pending, inventory.packageRevision);
    inventory.drives.push_back(std::move(entry));
  }
}

}  // namespace koa
