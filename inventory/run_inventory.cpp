#include "inventory/run_inventory.h"

#include <string>

#include "discovery/discovery_operations.h"
#include "inventory/drive_inventory.h"
#include "inventory/inventory_mode.h"
#include "inventory/inventory_output.h"
#include "inventory/machine_name.h"
#include "platform/platform.h"
#include "report/console.h"
#include "transfer/firmware_image.h"
#include "transfer/inbox_path.h"
#include "report/number_text.h"
#include "report/utf16_to_utf8.h"
#include "update/process_rights.h"
#include "update/run_lock.h"

namespace koa {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Looks at the machine; the discovery's own console lines are kept, not shown.
void look(Inventory& inventory, std::string& discoveryText) {
  if (runsWithoutAdministratorRights()) {
    inventory.incomplete.push_back("koa-inventory must run with administrator rights; no drive was opened");
    return;
  }
  // The updater's lock, held while this program looks: the IRST RAID query
  // opens the controller exclusively, so a look during an update could make
  // the update miss RAID members, and the other way round.
  RunLock lock;
  const std::string lockName = utf16ToUtf8(kRunLockName);
  switch (lock.acquire()) {
    case RunLockState::Held:
      break;
    case RunLockState::Busy:
      inventory.incomplete.push_back("another run of koa-update or koa-inventory holds the run lock " + lockName);
      return;
    case RunLockState::HeldByNonAdministrator:
      inventory.incomplete.push_back("the run lock " + lockName + " is held by " + utf16ToUtf8(lock.owner()) +
                                     ", who is not an administrator");
      return;
    case RunLockState::Unreachable:
      inventory.incomplete.push_back("the run lock " + lockName + " cannot be taken (error 0x" +
                                     hexLower(lock.error()) + ")");
      return;
  }
  const console::Diversion diversion([&discoveryText](std::string_view bytes) { discoveryText.append(bytes); });
  DriveDiscovery discovery;
  DiscoveryReport report;
  (void)discoverDrives(discovery, machineDiscoveryOperations(identifyInboxDrive), &report);
  collectDrives(inventory, discovery.drives, report);
  if (!report.intelWalkComplete)
    inventory.incomplete.push_back("the walk of the disks behind the Intel controller stopped before its end");
  if (!report.inboxWalkComplete)
    inventory.incomplete.push_back("the walk of the maker's NVMe disks stopped before its end");
  // Behind the Intel controller a candidate that gives no drive is often a
  // SATA disk; the inbox walk only takes the maker's NVMe disks, so one of
  // them left unread may be a drive that still needs the update.
  for (const std::u16string& instanceId : discovery.inboxDisksLeftOut)
    inventory.incomplete.push_back("the maker's NVMe disk " +
                                   (instanceId.empty() ? std::string("whose instance identifier could not be read")
                                                       : utf16ToUtf8(instanceId)) +
                                   " was left out of the walk: its instance identifier, interface or device "
                                   "number could not be read");
  for (const UnidentifiedDrive& drive : inventory.unidentified)
    if (drive.candidate.driverKind == DriverKind::Inbox)
      inventory.incomplete.push_back("the maker's NVMe disk " + utf16ToUtf8(drive.candidate.devicePath) +
                                     " could not be identified (Windows error " + decimal(drive.windowsError) + ")");
}

}  // namespace

int runInventory(int argc, const char16_t* const* argv) {
  Platform& platform = currentPlatform();
  // Before anything can load a DLL: no planted DLL beside the program.
  (void)platform.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // No critical-error or open-file dialog may ever stop a detection script.
  if (platform.GetModuleHandleW(/*lpModuleName=*/nullptr) != 0) {
    const std::uint32_t currentMode = platform.SetErrorMode(0);
    (void)platform.SetErrorMode(currentMode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  }
  const std::optional<InventoryMode> mode = parseInventoryMode(argc, argv);
  if (!mode) {
    printInventoryUsage();
    return kInventoryCouldNotLook;
  }

  loadImage();
  Inventory inventory;
  inventory.packageRevision = imageRevision;
  std::string discoveryText;
  look(inventory, discoveryText);
  inventory.messages = linesOf(discoveryText);
  const bool complete = inventory.incomplete.empty();
  const std::size_t needed = inventory.count(DriveState::NeedsUpdate);
  const int answer = !complete ? kInventoryCouldNotLook : needed > 0 ? kInventoryUpdateNeeded : kInventoryNothingNeeded;

  // A machine that could not be looked at whole is never reported as done.
  if (!complete && (*mode == InventoryMode::Detect || *mode == InventoryMode::Require)) {
    for (const std::string& reason : inventory.incomplete) console::errorLine("koa-inventory: " + reason);
    return answer;
  }
  switch (*mode) {
    case InventoryMode::Table:
      console::narrow(discoveryText);
      console::narrow(inventoryTable(inventory));
      break;
    case InventoryMode::Json:
      console::narrow(inventoryJson(inventory, readMachineName()));
      break;
    case InventoryMode::Detect:
      if (needed == 0) console::narrowLine(detectionLine(inventory));
      return kInventoryNothingNeeded;
    case InventoryMode::Require:
      console::narrowLine(std::to_string(needed));
      return kInventoryNothingNeeded;
  }
  for (const std::string& reason : inventory.incomplete) console::errorLine("koa-inventory: " + reason);
  return answer;
}

}  // namespace koa
