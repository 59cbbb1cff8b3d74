#include "inventory/inventory_output.h"

#include "inventory/json_text.h"
#include "report/number_text.h"
#include "report/utf16_to_utf8.h"

namespace koa {
namespace {

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
  return decimal(static_cast<std::int64_t>(inventory.count(DriveState::NeedsUpdate))) + " need the update, " +
         decimal(static_cast<std::int64_t>(inventory.count(DriveState::RunsPackageRevision))) + " run " + package +
         ", " + decimal(static_cast<std::int64_t>(inventory.count(DriveState::PendingReboot))) + " pending reboot, " +
         decimal(static_cast<std::int64_t>(inventory.count(DriveState::OtherRevision))) + " on another revision, " +
         decimal(static_cast<std::int64_t>(inventory.count(DriveState::OtherMaker))) + " of another maker, " +
         decimal(static_cast<std::int64_t>(inventory.unidentified.size())) + " not identified";
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
  const std::string package = utf16ToUtf8(inventory.packageRevision);
  std::string text = "{\n  \"schemaVersion\": 1,\n  \"packageRevision\": " + json::quoted(package) + ",\n";
  if (!machineName.empty()) text += "  \"machineName\": " + json::quoted(machineName) + ",\n";
  text += "  \"complete\": " + std::string(inventory.incomplete.empty() ? "true" : "false") + ",\n";
  text += "  \"incomplete\": [";
  for (std::size_t i = 0; i < inventory.incomplete.size(); ++i)
    text += (i == 0 ? "" : ", ") + json::quoted(inventory.incomplete[i]);
  text += "],\n  \"drives\": [";
  for (std::size_t i = 0; i < inventory.drives.size(); ++i) {
    const InventoryDrive& drive = inventory.drives[i];
    const DriveRecord& r = drive.record;
    text += std::string(i == 0 ? "\n" : ",\n") + "    {\"route\": " + json::quoted(routeKey(r.driverKind)) +
            ", \"devicePath\": " + json::quoted(utf16ToUtf8(r.devicePath)) + ", \"pathId\": " + decimal(r.pathId) +
            ", \"vrocDiskId\": " + decimal(static_cast<std::uint32_t>(r.vrocDiskId)) +
            ", \"pciVendorId\": " + json::quoted(vendorId(r.pciVendorId)) +
            ", \"model\": " + json::quoted(shown(r.modelNumber)) + ", \"serial\": " + json::quoted(shown(r.serialNumber)) +
            ", \"firmwareRevision\": " + json::quoted(shown(r.firmwareRevision)) +
            ", \"updateGranularity\": " + decimal(r.updateGranularity) + ", \"state\": " +
            json::quoted(stateKey(drive.state)) + ", \"pendingActivation\": ";
    if (drive.pending.known)
      text += "{\"activeSlot\": " + decimal(drive.pending.activeSlot) + ", \"nextSlot\": " +
              decimal(drive.pending.nextSlot) + ", \"nextRevision\": " +
              (drive.pending.nextSlot == 0 ? std::string("null") : json::quoted(utf16ToUtf8(drive.pending.nextRevision))) +
              "}";
    else
      text += "null";
    text += ", \"timesListed\": " + decimal(drive.timesListed);
    if (drive.timesListed > 1) text += ", \"note\": " + json::quoted(duplicateNote(drive.timesListed));
    text += "}";
  }
  text += std::string(inventory.drives.empty() ? "" : "\n  ") + "],\n  \"notIdentified\": [";
  for (std::size_t i = 0; i < inventory.unidentified.size(); ++i) {
    const UnidentifiedDrive& drive = inventory.unidentified[i];
    text += std::string(i == 0 ? "\n" : ",\n") + "    {\"route\": " + json::quoted(routeKey(drive.candidate.driverKind)) +
            ", \"devicePath\": " + json::quoted(utf16ToUtf8(drive.candidate.devicePath)) +
            ", \"pathId\": " + decimal(drive.candidate.pathId) + ", \"windowsError\": " +
            (drive.unfilled ? std::string("null") : decimal(drive.windowsError)) +
            ", \"reason\": " + json::quoted(unidentifiedReason(drive)) + "}";
  }
  text += std::string(inventory.unidentified.empty() ? "" : "\n  ") + "],\n  \"counts\": {";
  const auto count = [&inventory](DriveState state) {
    return decimal(static_cast<std::int64_t>(inventory.count(state)));
  };
  text += "\"needsUpdate\": " + count(DriveState::NeedsUpdate) +
          ", \"runsPackageRevision\": " + count(DriveState::RunsPackageRevision) +
          ", \"pendingReboot\": " + count(DriveState::PendingReboot) +
          ", \"otherRevision\": " + count(DriveState::OtherRevision) +
          ", \"otherMaker\": " + count(DriveState::OtherMaker) +
          ", \"notIdentified\": " + decimal(static_cast<std::int64_t>(inventory.unidentified.size())) + "},\n";
  text += "  \"messages\": [";
  for (std::size_t i = 0; i < inventory.messages.size(); ++i)
    text += std::string(i == 0 ? "\n    " : ",\n    ") + json::quoted(inventory.messages[i]);
  text += std::string(inventory.messages.empty() ? "" : "\n  ") + "]\n}\n";
  return text;
}

std::string detectionLine(const Inventory& inventory) {
  return "koa-update " + utf16ToUtf8(inventory.packageRevision) + ": " +
         decimal(static_cast<std::int64_t>(inventory.count(DriveState::RunsPackageRevision))) +
         " drive(s) up to date, " + decimal(static_cast<std::int64_t>(inventory.count(DriveState::PendingReboot))) +
         " pending reboot";
}

}  // namespace koa
