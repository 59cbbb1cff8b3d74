#include "tests/reliability/fault_plan.h"

#include <map>
#include <set>

#include "platform/win_types.h"

namespace koa::reliability {
namespace {

// Not among the platform's error codes: only the sweep fails GetModuleHandleW.
constexpr std::uint32_t ERROR_MOD_NOT_FOUND = 126;

// A driver status in the SRB_IO_CONTROL ReturnCode: a plain error. (The
// power-cycle status 0x20 is a success; a fault that answers it without the
// drive committing anything would be a driver lying, not a failure.)
constexpr std::uint32_t kReturnCodeError = 1;
// NVMe statuses (SCT << 8 | SC): Invalid Field in Command, Invalid Firmware
// Image, and Firmware Activation Requires Conventional Reset.
constexpr std::uint32_t kNvmeInvalidField = 0x002;
constexpr std::uint32_t kNvmeInvalidFirmwareImage = 0x107;
constexpr std::uint32_t kNvmeRequiresReset = 0x10B;

std::vector<std::uint32_t> errorsOf(const std::string& op) {
  if (op == "GetModuleHandleW") return {ERROR_MOD_NOT_FOUND};
  if (op == "SetupDiGetClassDevsW") return {ERROR_INVALID_PARAMETER, ERROR_NOT_ENOUGH_MEMORY};
  if (op == "SetupDiEnumDeviceInfo" || op == "SetupDiEnumDeviceInterfaces")
    return {ERROR_NO_MORE_ITEMS, ERROR_INVALID_PARAMETER};
  if (op == "SetupDiGetDeviceInterfaceDetailW")
    return {ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER, ERROR_NOT_ENOUGH_MEMORY};
  if (op == "SetupDiGetDeviceRegistryPropertyW" || op == "SetupDiGetDevicePropertyW")
    return {ERROR_NOT_FOUND, ERROR_INVALID_DATA, ERROR_INSUFFICIENT_BUFFER};
  if (op == "CreateFileW") return {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION};
  if (op == "DeviceIoControl") return {ERROR_IO_DEVICE, ERROR_GEN_FAILURE, ERROR_SEM_TIMEOUT};
  // A token or window station that cannot be asked leaves the run as it was
  // before it asked: elevated, and a message box shown unless silent.
  if (op == "OpenProcessToken") return {ERROR_ACCESS_DENIED};
  if (op == "GetTokenInformation") return {ERROR_INVALID_PARAMETER, ERROR_ACCESS_DENIED};
  if (op == "GetProcessWindowStation" || op == "GetUserObjectInformationW") return {ERROR_ACCESS_DENIED};
  return {};
}

bool hasDriverHeader(const std::string& kind) {
  return kind.rfind("inbox.", 0) == 0 || kind.rfind("csmi.", 0) == 0 || kind.rfind("irst.", 0) == 0 ||
         kind.rfind("vroc.", 0) == 0;
}
bool isPassThrough(const std::string& kind) {
  return kind == "vroc.identify" || kind == "vroc.getLogPage" || kind == "vroc.download" || kind == "vroc.commit";
}
bool isDownload(const std::string& kind) {
  return kind == "inbox.download" || kind == "irst.download" || kind == "vroc.download";
}

// The pieces of each drive's downloads that stand for all of them.
std::set<std::size_t> representativePieces(const std::vector<nlohmann::json>& trace) {
  std::map<std::string, std::vector<std::size_t>> pieces;  // by drive, in order
  for (const auto& entry : trace)
    if (entry.value("op", "") == "DeviceIoControl" && isDownload(entry.value("request", "")))
      pieces[entry.value("drive", entry.value("path", std::string()))].push_back(entry.value("seq", std::size_t{0}));
  std::set<std::size_t> chosen;
  for (const auto& [drive, calls] : pieces) {
    const std::size_t n = calls.size();
    for (std::size_t index : {std::size_t{0}, std::size_t{1}, n / 2, n - 2, n - 1})
      if (index < n) chosen.insert(calls[index]);
  }
  return chosen;
}

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

FaultPlan planFaults(const std::vector<nlohmann::json>& cleanTrace, bool everyPiece) {
  FaultPlan plan;
  const std::set<std::size_t> chosenPieces = representativePieces(cleanTrace);
  for (const auto& entry : cleanTrace) {
    const std::string op = entry.value("op", "");
    const std::string kind = entry.value("request", "");
    const std::size_t call = entry.value("seq", std::size_t{0});
    if (errorsOf(op).empty()) continue;
    if (op == "DeviceIoControl" && isDownload(kind) && !everyPiece && !chosenPieces.contains(call)) {
      ++plan.representedCalls;
      continue;
    }
    const std::string name = op + (kind.empty() ? "" : " " + kind) +
                             (entry.contains("drive") ? " (" + entry["drive"].get<std::string>() + ")" : "");
    for (std::uint32_t error : errorsOf(op))
      plan.faults.push_back({call, name + ": fail " + std::to_string(error),
                             {{"action", "fail"}, {"call", call}, {"error", error}}});
    if (op == "DeviceIoControl" && hasDriverHeader(kind)) {
      plan.faults.push_back({call, name + ": ReturnCode 1",
                             {{"action", "returnCode"}, {"call", call}, {"returnCode", kReturnCodeError}}});
    }
    if (op == "DeviceIoControl" && isPassThrough(kind)) {
      std::vector<std::uint32_t> statuses = {kNvmeInvalidField, kNvmeInvalidFirmwareImage};
      if (kind == "vroc.commit") statuses.push_back(kNvmeRequiresReset);
      for (std::uint32_t status : statuses)
        plan.faults.push_back({call, name + ": NVMe status " + hex(status),
                               {{"action", "completionStatus"}, {"call", call}, {"status", status}}});
    }
    ++plan.failurePoints;
  }
  return plan;
}

}  // namespace koa::reliability
