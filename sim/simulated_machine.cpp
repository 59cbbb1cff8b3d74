// Every platform call passes here on its way to the Machine: the call-number
// fault of its seq is applied first, then the call is made (with the
// request faults on opens and DeviceIoControl) and recorded with what the
// Machine answered.
#include "sim/simulated_machine.h"

#include <algorithm>
#include <cstdio>

#include "sim/sim_bytes.h"
#include "sim/security_layout.h"
#include "sim/srb_io_control_layout.h"
#include "sim/vroc_layout.h"
#include "sim/wide_text.h"

namespace koa::sim {

namespace {

// The SRB_IO_CONTROL ReturnCode and the NvmeRAID pass-through's completion
// dword 3, which the returnCode and completionStatus faults write.
constexpr std::size_t kSrbReturnCodeOffset = srb::kReturnCodeAt;
constexpr std::size_t kCompletionDword3Offset = vroc::completionDword(3);
constexpr unsigned kCompletionStatusShift = vroc::kStatusShift;

const char* faultName(FaultAction action) {
  switch (action) {
    case FaultAction::FailOpen: return "failOpen";
    case FaultAction::Fail: return "fail";
    case FaultAction::ReturnCode: return "returnCode";
    case FaultAction::CompletionStatus: return "completionStatus";
    case FaultAction::Patch: return "patch";
    case FaultAction::Output: return "output";
    case FaultAction::Hold: return "hold";
  }
  return "";
}

void writeDword(std::vector<std::uint8_t>& buffer, std::size_t offset, std::uint32_t value) {
  if (offset + 4 <= buffer.size()) setLe32(buffer, offset, value);
}

nlohmann::json textOrNull(const char16_t* text) { return text ? nlohmann::json(toUtf8(text)) : nlohmann::json(); }

nlohmann::json guidText(const Guid* guid) {
  if (guid == nullptr) return nullptr;
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid->Data1, guid->Data2,
                guid->Data3, guid->Data4[0], guid->Data4[1], guid->Data4[2], guid->Data4[3], guid->Data4[4],
                guid->Data4[5], guid->Data4[6], guid->Data4[7]);
  return text;
}

nlohmann::json devInstOf(const SpDevInfoData* data) { return data ? nlohmann::json(data->DevInst) : nlohmann::json(); }

// A caller's buffer after the call, as hex; a missing one as `missing`.
nlohmann::json bufferHex(const void* buffer, std::uint32_t size, nlohmann::json missing) {
  if (buffer == nullptr) return missing;
  return toHex(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(buffer), size));
}

}  // namespace

SimulatedMachine::SimulatedMachine(MachineDescription description)
    : faults_(std::move(description.faults)), faultCounts_(faults_.size(), 0), machine_(std::move(description)) {}

SimulatedMachine::~SimulatedMachine() = default;

template <typename Result>
Result SimulatedMachine::recorded(nlohmann::json& entry, Result result) {
  entry["result"] = result;
  entry["lastError"] = machine_.GetLastError();
  trace_.record(std::move(entry));
  return result;
}

bool SimulatedMachine::recordedProperty(nlohmann::json& entry, bool ok, const std::uint8_t* buffer,
                                        std::uint32_t bufferSize, const std::uint32_t* requiredSize) {
  // The size is the machine's when the call got as far as the value (or a
  // fault failed it with ERROR_INSUFFICIENT_BUFFER: then the caller's own).
  if (requiredSize != nullptr && (ok || machine_.GetLastError() == ERROR_INSUFFICIENT_BUFFER))
    entry["requiredSize"] = *requiredSize;
  entry["output"] = bufferHex(buffer, bufferSize, nullptr);
  return recorded(entry, ok);
}

const Fault* SimulatedMachine::dueFault(FaultAction open, std::size_t target, const std::string& kind,
                                        const std::string& drive) {
  const Fault* due = nullptr;
  for (std::size_t i = 0; i < faults_.size(); ++i) {
    const Fault& fault = faults_[i];
    if (fault.call != 0 || fault.target != target) continue;
    if ((fault.action == FaultAction::FailOpen) != (open == FaultAction::FailOpen)) continue;
    if (open != FaultAction::FailOpen && (fault.request != kind || (!fault.drive.empty() && fault.drive != drive)))
      continue;
    const std::uint32_t seen = ++faultCounts_[i];
    if (due == nullptr && (fault.nth == 0 || fault.nth == seen)) due = &fault;
  }
  return due;
}

const Fault* SimulatedMachine::callFault() const {
  const std::uint64_t call = trace_.nextSeq();
  for (const Fault& fault : faults_)
    if (fault.call == call) return &fault;
  return nullptr;
}

bool SimulatedMachine::failedByCallFault(nlohmann::json& entry) {
  const Fault* fault = callFault();
  if (fault == nullptr || fault->action != FaultAction::Fail) return false;
  entry["fault"] = fault->jsonPath;
  machine_.SetLastError(fault->error);
  return true;
}

// ---- SetupAPI ----

DevInfoSet SimulatedMachine::SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator,
                                                  std::uint32_t flags) {
  nlohmann::json entry = {{"op", "SetupDiGetClassDevsW"}, {"classGuid", guidText(classGuid)},
                          {"enumerator", textOrNull(enumerator)}, {"flags", flags}};
  if (failedByCallFault(entry)) return recorded(entry, kInvalidDevInfoSet);
  return recorded(entry, machine_.SetupDiGetClassDevsW(classGuid, enumerator, flags));
}

bool SimulatedMachine::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* data) {
  nlohmann::json entry = {{"op", "SetupDiEnumDeviceInfo"}, {"set", set}, {"memberIndex", memberIndex}};
  if (failedByCallFault(entry)) return recorded(entry, false);
  const bool ok = machine_.SetupDiEnumDeviceInfo(set, memberIndex, data);
  if (ok) {
    entry["devInst"] = data->DevInst;
    entry["instanceId"] = toUtf8(machine_.instanceIdOf(*data));
  }
  return recorded(entry, ok);
}

bool SimulatedMachine::SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                   const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                                   SpDeviceInterfaceData* data) {
  nlohmann::json entry = {{"op", "SetupDiEnumDeviceInterfaces"}, {"set", set}, {"devInst", devInstOf(deviceInfoData)},
                          {"interfaceClassGuid", guidText(interfaceClassGuid)}, {"memberIndex", memberIndex}};
  if (failedByCallFault(entry)) return recorded(entry, false);
  const bool ok = machine_.SetupDiEnumDeviceInterfaces(set, deviceInfoData, interfaceClassGuid, memberIndex, data);
  if (ok) entry["path"] = toUtf8(machine_.interfacePathOf(*data));
  return recorded(entry, ok);
}

bool SimulatedMachine::SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* data,
                                                        std::uint8_t* detail, std::uint32_t detailSize,
                                                        std::uint32_t* requiredSize, SpDevInfoData* deviceInfoData) {
  nlohmann::json entry = {{"op", "SetupDiGetDeviceInterfaceDetailW"}, {"set", set}, {"detailSize", detailSize},
                          {"detailGiven", detail != nullptr}, {"requiredSizeGiven", requiredSize != nullptr},
                          {"deviceInfoDataGiven", deviceInfoData != nullptr}};
  bool ok = false;
  if (!failedByCallFault(entry)) {
    // The required size is traced even when the caller does not ask for it.
    std::uint32_t required = 0;
    std::uint32_t* asked = requiredSize != nullptr ? requiredSize : &required;
    ok = machine_.SetupDiGetDeviceInterfaceDetailW(set, data, detail, detailSize, asked, deviceInfoData);
    // The call got as far as the size: it succeeded or wants a larger
    // buffer.
    if (ok || machine_.GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      entry["requiredSize"] = *asked;
      entry["path"] = toUtf8(machine_.interfacePathOf(*data));
    }
  }
  entry["output"] = bufferHex(detail, detailSize, nullptr);
  return recorded(entry, ok);
}

bool SimulatedMachine::SetupDiGetDeviceRegistryPropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                         std::uint32_t property, std::uint32_t* propertyRegDataType,
                                                         std::uint8_t* propertyBuffer,
                                                         std::uint32_t propertyBufferSize,
                                                         std::uint32_t* requiredSize) {
  nlohmann::json entry = {{"op", "SetupDiGetDeviceRegistryPropertyW"}, {"set", set},
                          {"devInst", devInstOf(deviceInfoData)}, {"property", property},
                          {"bufferSize", propertyBufferSize}};
  const bool ok = !failedByCallFault(entry) &&
                  machine_.SetupDiGetDeviceRegistryPropertyW(set, deviceInfoData, property, propertyRegDataType,
                                                             propertyBuffer, propertyBufferSize, requiredSize);
  return recordedProperty(entry, ok, propertyBuffer, propertyBufferSize, requiredSize);
}

bool SimulatedMachine::SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                 const DevPropKey* key, std::uint32_t* propertyType,
                                                 std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                                                 std::uint32_t* requiredSize, std::uint32_t flags) {
  nlohmann::json entry = {{"op", "SetupDiGetDevicePropertyW"}, {"set", set}, {"devInst", devInstOf(deviceInfoData)},
                          {"key", key ? nlohmann::json{{"fmtid", guidText(&key->fmtid)}, {"pid", key->pid}}
                                      : nlohmann::json()},
                          {"bufferSize", propertyBufferSize}, {"flags", flags}};
  const bool ok = !failedByCallFault(entry) &&
                  machine_.SetupDiGetDevicePropertyW(set, deviceInfoData, key, propertyType, propertyBuffer,
                                                     propertyBufferSize, requiredSize, flags);
  return recordedProperty(entry, ok, propertyBuffer, propertyBufferSize, requiredSize);
}

bool SimulatedMachine::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  nlohmann::json entry = {{"op", "SetupDiDestroyDeviceInfoList"}, {"set", set}};
  return recorded(entry, machine_.SetupDiDestroyDeviceInfoList(set));
}

// ---- Handles and requests ----

Handle SimulatedMachine::CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
  nlohmann::json entry = {{"op", "CreateFileW"}, {"path", toUtf8(fromWideZ(fileName))},
                          {"desiredAccess", desiredAccess}, {"shareMode", shareMode},
                          {"creationDisposition", creationDisposition}, {"flagsAndAttributes", flagsAndAttributes}};
  if (failedByCallFault(entry)) return recorded(entry, kInvalidHandle);
  // An open that fails on its own before it reaches the device (no such
  // path, not elevated) is no open of the device: it counts for no fault.
  if (const auto target = machine_.targetOpenedBy(fileName, creationDisposition))
    if (const Fault* fault = dueFault(FaultAction::FailOpen, *target, "", "")) {
      entry["fault"] = fault->jsonPath;
      machine_.SetLastError(fault->error);
      return recorded(entry, kInvalidHandle);
    }
  return recorded(entry, machine_.CreateFileW(fileName, desiredAccess, shareMode, creationDisposition,
                                              flagsAndAttributes));
}

bool SimulatedMachine::CloseHandle(Handle object) {
  nlohmann::json entry = {{"op", "CloseHandle"}, {"handle", object}};
  return recorded(entry, machine_.CloseHandle(object));
}

IoResult SimulatedMachine::answerWithFault(const Fault& fault, PendingRequest& request) {
  std::vector<std::uint8_t>& system = request.system;
  switch (fault.action) {
    case FaultAction::Patch: {
      IoResult result = machine_.sendToDevice(request);
      if (result.ok) {
        const std::size_t end = std::min<std::size_t>(fault.offset + fault.bytes.size(), request.outSize);
        for (std::size_t i = fault.offset; i < end; ++i) system[i] = fault.bytes[i - fault.offset];
        if (end > result.bytesReturned) result.bytesReturned = static_cast<std::uint32_t>(end);
      }
      return result;
    }
    case FaultAction::ReturnCode:
      writeDword(system, kSrbReturnCodeOffset, fault.value);
      return ioSuccess(request.outSize);
    case FaultAction::CompletionStatus:
      writeDword(system, kSrbReturnCodeOffset, 0);
      writeDword(system, kCompletionDword3Offset, fault.value << kCompletionStatusShift);
      return ioSuccess(request.outSize);
    case FaultAction::Output: {
      const std::size_t length = std::min<std::size_t>(fault.bytes.size(), request.outSize);
      std::copy_n(fault.bytes.begin(), length, system.begin());
      return ioSuccess(static_cast<std::uint32_t>(length));
    }
    case FaultAction::Hold:
      if (holdHandler_) holdHandler_(fault.jsonPath);
      return machine_.sendToDevice(request);
    case FaultAction::Fail:
    case FaultAction::FailOpen:
      break;
  }
  return ioFailure(fault.error);
}

bool SimulatedMachine::DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer,
                                       std::uint32_t inBufferSize, void* outBuffer, std::uint32_t outBufferSize,
                                       std::uint32_t* bytesReturned) {
  nlohmann::json entry = {{"op", "DeviceIoControl"}, {"handle", device}, {"code", ioControlCode},
                          {"inSize", inBufferSize}, {"outSize", outBufferSize}};
  // No buffer is traced as no bytes. The dumps are the cost of a traced
  // request (four hex digits per byte sent), so they are made only when the
  // call is recorded and its bytes are wanted.
  const bool dump = trace_.active() && trace_.buffersRecorded();
  if (dump) entry["input"] = bufferHex(inBuffer, inBufferSize, std::string());
  if (const auto path = machine_.pathOf(device)) entry["path"] = toUtf8(*path);

  bool ok = false;
  // A request the I/O manager refuses (an unknown or overlapped handle, a
  // missing buffer, too little access) never meets a fault.
  if (auto request = machine_.acceptRequest(device, ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize,
                                            bytesReturned)) {
    entry["request"] = request->kind;
    if (!request->drive.empty()) entry["drive"] = request->drive;
    // Every request fault that matches counts the request, even when a
    // fault on the call itself takes its place.
    const Fault* fault = dueFault(FaultAction::Fail, request->target, request->kind, request->drive);
    if (const Fault* onCall = callFault()) fault = onCall;
    if (fault != nullptr) {
      entry["fault"] = fault->jsonPath;
      entry["faultAction"] = faultName(fault->action);
    }
    const IoResult answer = fault == nullptr ? machine_.sendToDevice(*request) : answerWithFault(*fault, *request);
    ok = machine_.completeRequest(*request, answer, outBuffer, bytesReturned);
  }
  if (dump) entry["output"] = bufferHex(outBuffer, outBufferSize, std::string());
  if (bytesReturned != nullptr) entry["bytesReturned"] = *bytesReturned;
  return recorded(entry, ok);
}

// ---- Files ----

namespace {

// A text a call wrote, when it wrote one (the length protocol: a result
// below the buffer's size is the text's length).
nlohmann::json textWritten(const char16_t* buffer, std::uint32_t size, std::uint32_t result) {
  if (buffer == nullptr || result == 0 || result >= size) return nullptr;
  return toUtf8(std::u16string(buffer, result));
}

}  // namespace

std::uint32_t SimulatedMachine::GetFileType(Handle file) {
  nlohmann::json entry = {{"op", "GetFileType"}, {"handle", file}};
  return recorded(entry, machine_.GetFileType(file));
}

bool SimulatedMachine::GetFileInformationByHandle(Handle file, ByHandleFileInformation* information) {
  nlohmann::json entry = {{"op", "GetFileInformationByHandle"}, {"handle", file}};
  const bool ok = machine_.GetFileInformationByHandle(file, information);
  if (ok) {
    entry["attributes"] = information->dwFileAttributes;
    entry["links"] = information->nNumberOfLinks;
  }
  return recorded(entry, ok);
}

std::uint32_t SimulatedMachine::GetFinalPathNameByHandleW(Handle file, char16_t* filePath, std::uint32_t size,
                                                          std::uint32_t flags) {
  nlohmann::json entry = {{"op", "GetFinalPathNameByHandleW"}, {"handle", file}, {"size", size}, {"flags", flags}};
  const std::uint32_t result = machine_.GetFinalPathNameByHandleW(file, filePath, size, flags);
  entry["path"] = textWritten(filePath, size, result);
  return recorded(entry, result);
}

std::uint32_t SimulatedMachine::GetFullPathNameW(const char16_t* fileName, std::uint32_t bufferLength,
                                                 char16_t* buffer) {
  nlohmann::json entry = {{"op", "GetFullPathNameW"}, {"fileName", textOrNull(fileName)}, {"size", bufferLength}};
  const std::uint32_t result = machine_.GetFullPathNameW(fileName, bufferLength, buffer);
  entry["path"] = textWritten(buffer, bufferLength, result);
  return recorded(entry, result);
}

std::uint32_t SimulatedMachine::GetLongPathNameW(const char16_t* shortPath, char16_t* longPath,
                                                 std::uint32_t bufferLength) {
  nlohmann::json entry = {{"op", "GetLongPathNameW"}, {"shortPath", textOrNull(shortPath)}, {"size", bufferLength}};
  const std::uint32_t result = machine_.GetLongPathNameW(shortPath, longPath, bufferLength);
  entry["path"] = textWritten(longPath, bufferLength, result);
  return recorded(entry, result);
}

std::uint32_t SimulatedMachine::QueryDosDeviceW(const char16_t* deviceName, char16_t* targetPath,
                                                std::uint32_t max) {
  nlohmann::json entry = {{"op", "QueryDosDeviceW"}, {"deviceName", textOrNull(deviceName)}, {"max", max}};
  const std::uint32_t result = machine_.QueryDosDeviceW(deviceName, targetPath, max);
  // The first target: the one a drive letter has.
  if (result != 0) entry["target"] = toUtf8(fromWideZ(targetPath));
  return recorded(entry, result);
}

bool SimulatedMachine::SetEndOfFile(Handle file) {
  nlohmann::json entry = {{"op", "SetEndOfFile"}, {"handle", file}};
  return recorded(entry, machine_.SetEndOfFile(file));
}

bool SimulatedMachine::WriteFile(Handle file, const void* buffer, std::uint32_t numberOfBytesToWrite,
                                 std::uint32_t* numberOfBytesWritten) {
  nlohmann::json entry = {{"op", "WriteFile"}, {"handle", file}, {"size", numberOfBytesToWrite}};
  const bool ok = machine_.WriteFile(file, buffer, numberOfBytesToWrite, numberOfBytesWritten);
  if (numberOfBytesWritten != nullptr) entry["written"] = *numberOfBytesWritten;
  return recorded(entry, ok);
}

// ---- The rest ----

std::uint32_t SimulatedMachine::GetLastError() {
  const std::uint32_t error = machine_.GetLastError();
  trace_.record({{"op", "GetLastError"}, {"result", error}});
  return error;
}

bool SimulatedMachine::SetDefaultDllDirectories(std::uint32_t directoryFlags) {
  nlohmann::json entry = {{"op", "SetDefaultDllDirectories"}, {"directoryFlags", directoryFlags}};
  if (failedByCallFault(entry)) return recorded(entry, false);
  return recorded(entry, machine_.SetDefaultDllDirectories(directoryFlags));
}

std::intptr_t SimulatedMachine::GetModuleHandleW(const char16_t* moduleName) {
  nlohmann::json entry = {{"op", "GetModuleHandleW"}, {"moduleName", textOrNull(moduleName)}};
  if (failedByCallFault(entry)) return recorded(entry, std::intptr_t{0});
  return recorded(entry, machine_.GetModuleHandleW(moduleName));
}

std::uint32_t SimulatedMachine::SetErrorMode(std::uint32_t mode) {
  const std::uint32_t previous = machine_.SetErrorMode(mode);
  trace_.record({{"op", "SetErrorMode"}, {"mode", mode}, {"result", previous}});
  return previous;
}

int SimulatedMachine::MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) {
  const int result = machine_.MessageBoxW(text, caption, type);
  trace_.record({{"op", "MessageBoxW"}, {"caption", toUtf8(fromWideZ(caption))}, {"text", toUtf8(fromWideZ(text))},
                 {"type", type}, {"result", result}});
  return result;
}

LocalTime SimulatedMachine::localTime() {
  const LocalTime now = machine_.localTime();
  trace_.record({{"op", "localTime"},
                 {"result", {now.year, now.month, now.day, now.hour, now.minute, now.second}}});
  return now;
}

bool SimulatedMachine::GetComputerNameExW(std::uint32_t nameType, char16_t* buffer, std::uint32_t* size) {
  nlohmann::json entry = {{"op", "GetComputerNameExW"}, {"nameType", nameType}, {"size", nullptr}};
  if (size != nullptr) entry["size"] = *size;
  bool ok = false;
  if (!failedByCallFault(entry)) {
    ok = machine_.GetComputerNameExW(nameType, buffer, size);
    if (size != nullptr) entry["sizeAfter"] = *size;
    if (ok) entry["name"] = toUtf8(std::u16string(buffer, *size));
  }
  return recorded(entry, ok);
}

// ---- The process's token and window station ----

bool SimulatedMachine::OpenProcessToken(std::uint32_t desiredAccess, Handle* tokenHandle) {
  nlohmann::json entry = {{"op", "OpenProcessToken"}, {"desiredAccess", desiredAccess}};
  if (failedByCallFault(entry)) return recorded(entry, false);
  const bool ok = machine_.OpenProcessToken(desiredAccess, tokenHandle);
  if (ok) entry["token"] = *tokenHandle;
  return recorded(entry, ok);
}

bool SimulatedMachine::GetTokenInformation(Handle token, std::uint32_t tokenInformationClass,
                                           void* tokenInformation, std::uint32_t tokenInformationLength,
                                           std::uint32_t* returnLength) {
  nlohmann::json entry = {{"op", "GetTokenInformation"}, {"token", token},
                          {"tokenInformationClass", tokenInformationClass}, {"length", tokenInformationLength}};
  if (failedByCallFault(entry)) return recorded(entry, false);
  const bool ok =
      machine_.GetTokenInformation(token, tokenInformationClass, tokenInformation, tokenInformationLength, returnLength);
  if (ok) entry["output"] = toHex({static_cast<const std::uint8_t*>(tokenInformation), *returnLength});
  return recorded(entry, ok);
}

Handle SimulatedMachine::GetProcessWindowStation() {
  nlohmann::json entry = {{"op", "GetProcessWindowStation"}};
  if (failedByCallFault(entry)) return recorded(entry, Handle{0});
  return recorded(entry, machine_.GetProcessWindowStation());
}

bool SimulatedMachine::GetUserObjectInformationW(Handle object, int index, void* info, std::uint32_t length,
                                                 std::uint32_t* lengthNeeded) {
  nlohmann::json entry = {{"op", "GetUserObjectInformationW"}, {"object", object}, {"index", index},
                          {"length", length}};
  if (failedByCallFault(entry)) return recorded(entry, false);
  const bool ok = machine_.GetUserObjectInformationW(object, index, info, length, lengthNeeded);
  if (ok) entry["output"] = toHex({static_cast<const std::uint8_t*>(info), lengthNeeded != nullptr ? *lengthNeeded : length});
  return recorded(entry, ok);
}

// ---- Named mutexes ----

Handle SimulatedMachine::CreateMutexW(const std::uint8_t* securityDescriptor, bool initialOwner,
                                      const char16_t* name) {
  nlohmann::json entry = {
      {"op", "CreateMutexW"}, {"name", textOrNull(name)}, {"initialOwner", initialOwner},
      {"securityDescriptor",
       bufferHex(securityDescriptor, static_cast<std::uint32_t>(securityDescriptorLength(securityDescriptor, 4096)),
                 nullptr)}};
  if (failedByCallFault(entry)) return recorded(entry, Handle{0});
  return recorded(entry, machine_.CreateMutexW(securityDescriptor, initialOwner, name));
}

std::uint32_t SimulatedMachine::WaitForSingleObject(Handle object, std::uint32_t milliseconds) {
  nlohmann::json entry = {{"op", "WaitForSingleObject"}, {"handle", object}, {"milliseconds", milliseconds}};
  if (failedByCallFault(entry)) return recorded(entry, WAIT_FAILED);
  return recorded(entry, machine_.WaitForSingleObject(object, milliseconds));
}

bool SimulatedMachine::ReleaseMutex(Handle mutex) {
  nlohmann::json entry = {{"op", "ReleaseMutex"}, {"handle", mutex}};
  return recorded(entry, machine_.ReleaseMutex(mutex));
}

bool SimulatedMachine::GetKernelObjectSecurity(Handle object, std::uint32_t requestedInformation,
                                               void* securityDescriptor, std::uint32_t length,
                                               std::uint32_t* lengthNeeded) {
  nlohmann::json entry = {{"op", "GetKernelObjectSecurity"}, {"handle", object},
                          {"requestedInformation", requestedInformation}, {"length", length}};
  if (failedByCallFault(entry)) return recorded(entry, false);
  const bool ok =
      machine_.GetKernelObjectSecurity(object, requestedInformation, securityDescriptor, length, lengthNeeded);
  if (ok) entry["output"] = toHex({static_cast<const std::uint8_t*>(securityDescriptor), *lengthNeeded});
  return recorded(entry, ok);
}

}  // namespace koa::sim
