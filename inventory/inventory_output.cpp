#include "inventory/inventory_output.h"

#include "inventory/json_text.h"
#include "report/number_text.h"
#include "report/utf16_to_utf8.h"

namespace koa {
namespace {

std::string number(std::size_t value) { return decimal(static_cast<std::int64_t>(value)); }

// Identify text as shown: the blanks and NULs that pad a field dropped.
std::string shown(const std::u16string& text) {
  std::size_t end = text.size();
  while (end > 0 && (text[end - 1] == u' ' || text[end - 1] == u'\0')) --end;
  return utf16ToUtf8(std::u16string_view(text).substr(0, end));
}

const char* routeKey(DriverKind kind) {
  switch (kind) {
    case DriverKind::IrstRaid: return "irstRaidMember";
    case DriverKind::IrstNonRaid: return "irstNonRaid";
    case DriverKind::Inbox: return "inbox";
    case DriverKind::VrocRaid: return "vrocRaidMember";
    case DriverKind::VrocNonRaid: return "vrocPassThrough";
  }
  return "unknown";
}

const char* routeLabel(DriverKind kind) {
  switch (kind) {
    case DriverKind::IrstRaid: return "IRST RAID member";
    case DriverKind::IrstNonRaid: return "IRST non-RAID";
    case DriverKind::Inbox: return "inbox";
    case DriverKind::VrocRaid: return "VROC RAID member";
    case DriverKind::VrocNonRaid: return "VROC pass-through";
  }
  return "unknown";
}

const char* stateKey(DriveState state) {
  switch (state) {
    case DriveState::NeedsUpdate: return "needsUpdate";
    case DriveState::RunsPackageRevision: return "runsPackageRevision";
    case DriveState::PendingReboot: return "pendingReboot";
    case DriveState::OtherRevision: return "otherRevision";
    case DriveState::OtherMaker: return "otherMaker";
  }
  return "unknown";
}

std::string stateLabel(DriveState state, const std::string& packageRevision) {
  switch (state) {
    case DriveState::NeedsUpdate: return "needs the update";
    case DriveState::RunsPackageRevision: return "runs " + packageRevision;
    case DriveState::PendingReboot: return packageRevision + " pending reboot";
    case DriveState::OtherRevision: return "another revision";
    case DriveState::OtherMaker: return "another maker's drive";
  }
  return "unknown";
}

std::string vendorId(std::uint16_t vid) {
  const std::string digits = hexUpper(vid);
  return "0x" + std::string(4 - digits.size(), '0') + digits;
}

std::string unidentifiedReason(const UnidentifiedDrive& drive) {
  if (drive.unfilled) return "the VROC driver's Identify came back with nothing written";
  return "gave no drive; Windows error " + decimal(drive.windowsError) + " (0x" + hexUpper(drive.windowsError) + ")";
}

std::string duplicateNote(int timesListed) {
  return "listed " + decimal(timesListed) + " times by discovery (a member of more than one volume); shown once";
}

std::string pendingText(const PendingActivation& pending) {
  if (!pending.known) return "pending activation unknown";
  if (pending.nextSlot == 0) return "active slot " + decimal(pending.activeSlot) + ", nothing pending";
  return "active slot " + decimal(pending.activeSlot) + ", slot " + decimal(pending.nextSlot) + " (" +
         utf16ToUtf8(pending.nextRevision) + ") at the next reset";
}

std::string countsSentence(const Inventory& inventory, const std::string& package) {
  return number(inventory.count(DriveState::NeedsUpdate)) + " need the update, " +
         number(inventory.count(DriveState::RunsPackageRevision)) + " run " + package + ", " +
         number(inventory.count(DriveState::PendingReboot)) + " pending reboot, " +
         number(inventory.count(DriveState::OtherRevision)) + " on another revision, " +
         number(inventory.count(DriveState::OtherMaker)) + " of another maker, " +
         number(inventory.unidentified.size()) + " not identified";
}

std::string pendingJson(const PendingActivation& pending) {
  if (!pending.known) return "null";
  const std::string next = pending.nextSlot == 0 ? "null" : json::quoted(utf16ToUtf8(pending.nextRevision));
  return "{\"activeSlot\": " + decimal(pending.activeSlot) + ", \"nextSlot\": " + decimal(pending.nextSlot) +
         ", \"nextRevision\": " + next + "}";
}

std::string driveJson(const InventoryDrive& drive) {
  const DriveRecord& r = drive.record;
  std::string text = "{\"route\": " + json::quoted(routeKey(r.driverKind)) +
                     ", \"devicePath\": " + json::quoted(utf16ToUtf8(r.devicePath)) +
                     ", \"pathId\": " + decimal(r.pathId) +
                     ", \"vrocDiskId\": " + decimal(static_cast<std::uint32_t>(r.vrocDiskId)) +
                     ", \"pciVendorId\": " + json::quoted(vendorId(r.pciVendorId)) +
                     ", \"model\": " + json::quoted(shown(r.modelNumber)) +
                     ", \"serial\": " + json::quoted(shown(r.serialNumber)) +
                     ", \"firmwareRevision\": " + json::quoted(shown(r.firmwareRevision)) +
                     ", \"updateGranularity\": " + decimal(r.updateGranularity) +
                     ", \"state\": " + json::quoted(stateKey(drive.state)) +
                     ", \"pendingActivation\": " + pendingJson(drive.pending) +
                     ", \"timesListed\": " + decimal(drive.timesListed);
  if (drive.timesListed > 1) text += ", \"note\": " + json::quoted(duplicateNote(drive.timesListed));
  return text + "}";
}

std::string unidentifiedJson(const UnidentifiedDrive& drive) {
  return "{\"route\": " + json::quoted(routeKey(drive.candidate.driverKind)) +
         ", \"devicePath\": " + json::quoted(utf16ToUtf8(drive.candidate.devicePath)) +
         ", \"pathId\": " + decimal(drive.candidate.pathId) +
         ", \"windowsError\": " + (drive.unfilled ? std::string("null") : decimal(drive.windowsError)) +
         ", \"reason\": " + json::quoted(unidentifiedReason(drive)) + "}";
}

}  // namespace

std::string inventoryTable(const Inventory& inventory) {
  const std::string package = utf16ToUtf8(inventory.packageRevision);
  std::string text = "koa-inventory: drives for the package of " + package + "\n";
  int number = 0;
  for (const InventoryDrive& drive : inventory.drives) {
    const DriveRecord& r = drive.record;
    text += "  " + decimal(++number) + ". " + stateLabel(drive.state, package) + ": " + shown(r.modelNumber) +
            ", serial " + shown(r.serialNumber) + ", " + shown(r.firmwareRevision) + ", " + routeLabel(r.driverKind) +
            ", VID " + vendorId(r.pciVendorId) + ", granularity " + decimal(r.updateGranularity) + ", " +
            pendingText(drive.pending) + ", " + utf16ToUtf8(r.devicePath) + "\n";
    if (drive.timesListed > 1) text += "     note: " + duplicateNote(drive.timesListed) + "\n";
  }
  for (const UnidentifiedDrive& drive : inventory.unidentified)
    text += "  -  not identified: " + std::string(routeLabel(drive.candidate.driverKind)) + ", " +
            utf16ToUtf8(drive.candidate.devicePath) + ", path id " + decimal(drive.candidate.pathId) + ": " +
            unidentifiedReason(drive) + "\n";
  text += "Summary: " + countsSentence(inventory, package) + ".\n";
  for (const std::string& reason : inventory.incomplete) text += "Incomplete: " + reason + "\n";
  return text;
}

std::string inventoryJson(const Inventory& inventory, const std::string& machineName) {
  const auto list = [](const std::vector<std::string>& items, const char* indent) {
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) text += (i == 0 ? "\n" : ",\n") + std::string(indent) + items[i];
    return text + (items.empty() ? "]" : "\n  ]");
  };
  std::vector<std::string> incomplete;
  for (const std::string& reason : inventory.incomplete) incomplete.push_back(json::quoted(reason));
  std::vector<std::string> drives;
  for (const InventoryDrive& drive : inventory.drives) drives.push_back(driveJson(drive));
  std::vector<std::string> unidentified;
  for (const UnidentifiedDrive& drive : inventory.unidentified) unidentified.push_back(unidentifiedJson(drive));
  std::vector<std::string> messages;
  for (const std::string& line : inventory.messages) messages.push_back(json::quoted(line));
  const auto count = [&inventory](DriveState state) { return number(inventory.count(state)); };

  std::string text = "{\n  \"schemaVersion\": 1,\n  \"packageRevision\": " +
                     json::quoted(utf16ToUtf8(inventory.packageRevision)) + ",\n";
  if (!machineName.empty()) text += "  \"machineName\": " + json::quoted(machineName) + ",\n";
  text += "  \"complete\": " + std::string(inventory.incomplete.empty() ? "true" : "false") + ",\n";
  text += "  \"incomplete\": " + (incomplete.empty() ? std::string("[]") : list(incomplete, "    ")) + ",\n";
  text += "  \"drives\": " + list(drives, "    ") + ",\n";
  text += "  \"notIdentified\": " + list(unidentified, "    ") + ",\n";
  text += "  \"counts\": {\"needsUpdate\": " + count(DriveState::NeedsUpdate) +
          ", \"runsPackageRevision\": " + count(DriveState::RunsPackageRevision) +
          ", \"pendingReboot\": " + count(DriveState::PendingReboot) +
          ", \"otherRevision\": " + count(DriveState::OtherRevision) +
          ", \"otherMaker\": " + count(DriveState::OtherMaker) +
          ", \"notIdentified\": " + number(inventory.unidentified.size()) + "},\n";
  text += "  \"messages\": " + list(messages, "    ") + "\n}\n";
  return text;
}

std::string detectionLine(const Inventory& inventory) {
  return "koa-update " + utf16ToUtf8(inventory.packageRevision) + ": " +
         number(inventory.count(DriveState::RunsPackageRevision)) + " drive(s) up to date, " +
         number(inventory.count(DriveState::PendingReboot)) + " pending reboot";
}

}  // namespace koa
