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

// Trace text of GUID_DEVINTERFACE_DISK and of the two property keys whose
// texts are read whole: DEVPKEY_Device_DriverDesc, DEVPKEY_Device_LocationInfo.
constexpr const char* kDiskInterfaceClass = "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}";
constexpr const char* kDriverDescFmtid = "{A8B865DD-2E3D-4094-AD97-E593A70C75D6}";
constexpr std::uint32_t kDriverDescPid = 4;
constexpr const char* kLocationInfoFmtid = "{A45C254E-DF1C-4EFD-8020-67D146A850E0}";
constexpr std::uint32_t kLocationInfoPid = 15;

std::string textOf(const nlohmann::json& entry, const char* field) {
  return entry.contains(field) && entry[field].is_string() ? entry[field].get<std::string>() : std::string();
}

bool isTextReadWhole(const nlohmann::json& entry) {
  if (!entry.contains("key") || !entry["key"].is_object()) return false;
  const std::string fmtid = textOf(entry["key"], "fmtid");
  const std::uint32_t pid = entry["key"].value("pid", std::uint32_t{0});
  return (fmtid == kDriverDescFmtid && pid == kDriverDescPid) ||
         (fmtid == kLocationInfoFmtid && pid == kLocationInfoPid);
}

// The calls of a clean trace that fill the buffer of a read asked again
// whatever size a failing call names. Only filling calls: a failed size query
// names no size, which ends every read. The walk of the disks below the Intel
// controller is told apart by its set (of disk interfaces, unlike the
// controller probe's) and by its size query (without the device element,
// unlike the inbox walk's).
std::set<std::size_t> callsAskedPast(const std::vector<nlohmann::json>& trace) {
  std::set<std::size_t> calls;
  std::map<std::uint64_t, std::string> classOfSet;
  bool intelDiskSized = false;  // the last detail size query was the Intel disk walk's
  for (const auto& entry : trace) {
    const std::string op = entry.value("op", "");
    const std::size_t seq = entry.value("seq", std::size_t{0});
    if (op == "SetupDiGetClassDevsW") {
      classOfSet[entry.value("result", std::uint64_t{0})] = textOf(entry, "classGuid");
    } else if (op == "SetupDiGetDeviceInterfaceDetailW" && !entry.value("detailGiven", false)) {
      intelDiskSized = classOfSet[entry.value("set", std::uint64_t{0})] == kDiskInterfaceClass &&
                       !entry.value("deviceInfoDataGiven", true);
    } else if (op == "SetupDiGetDeviceInterfaceDetailW") {
      if (intelDiskSized) calls.insert(seq);
    } else if (op == "SetupDiGetDevicePropertyW" && entry.value("bufferSize", 0u) > 0 && isTextReadWhole(entry)) {
      calls.insert(seq);
    }
  }
  return calls;
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
  const std::set<std::size_t> askedPast = callsAskedPast(cleanTrace);
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
                             {{"action", "fail"}, {"call", call}, {"error", error}},
                             error == ERROR_INSUFFICIENT_BUFFER && askedPast.contains(call)});
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
