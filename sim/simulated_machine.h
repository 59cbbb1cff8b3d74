// The simulated Windows machine as the program and the tests meet it: the
// Machine (sim/machine.h) wrapped so that every platform call is recorded
// in the CallTrace and the description's faults are applied to it. The
// Machine answers as Windows, the storage stack and the drivers do; only
// this wrapper knows of the trace and the faults.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "sim/call_trace.h"
#include "sim/machine.h"
#include "sim/machine_description.h"

namespace koa::sim {

class SimulatedMachine : public Platform {
 public:
  explicit SimulatedMachine(MachineDescription description);
  ~SimulatedMachine() override;

  // ---- Platform ----
  DevInfoSet SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator, std::uint32_t flags) override;
  bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* deviceInfoData) override;
  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                   const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                   SpDeviceInterfaceData* deviceInterfaceData) override;
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* deviceInterfaceData,
                                        std::uint8_t* detail, std::uint32_t detailSize, std::uint32_t* requiredSize,
                                        SpDevInfoData* deviceInfoData) override;
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData, std::uint32_t property,
                                         std::uint32_t* propertyRegDataType, std::uint8_t* propertyBuffer,
                                         std::uint32_t propertyBufferSize, std::uint32_t* requiredSize) override;
  bool SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData, const DevPropKey* propertyKey,
                                 std::uint32_t* propertyType, std::uint8_t* propertyBuffer,
                                 std::uint32_t propertyBufferSize, std::uint32_t* requiredSize,
                                 std::uint32_t flags) override;
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override;
  Handle CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) override;
  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                       void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) override;
  bool CloseHandle(Handle object) override;
  std::uint32_t GetLastError() override;
  bool SetDefaultDllDirectories(std::uint32_t directoryFlags) override;
  std::uint32_t GetFileType(Handle file) override;
  bool GetFileInformationByHandle(Handle file, ByHandleFileInformation* information) override;
  std::uint32_t GetFinalPathNameByHandleW(Handle file, char16_t* filePath, std::uint32_t size,
                                          std::uint32_t flags) override;
  std::uint32_t GetFullPathNameW(const char16_t* fileName, std::uint32_t bufferLength, char16_t* buffer) override;
  std::uint32_t GetLongPathNameW(const char16_t* shortPath, char16_t* longPath, std::uint32_t bufferLength) override;
  std::uint32_t QueryDosDeviceW(const char16_t* deviceName, char16_t* targetPath, std::uint32_t max) override;
  bool SetEndOfFile(Handle file) override;
  bool WriteFile(Handle file, const void* buffer, std::uint32_t numberOfBytesToWrite,
                 std::uint32_t* numberOfBytesWritten) override;
  std::intptr_t GetModuleHandleW(const char16_t* moduleName) override;
  std::uint32_t SetErrorMode(std::uint32_t mode) override;
  int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) override;
  LocalTime localTime() override;
  bool GetComputerNameExW(std::uint32_t nameType, char16_t* buffer, std::uint32_t* size) override;
  bool OpenProcessToken(std::uint32_t desiredAccess, Handle* tokenHandle) override;
  bool GetTokenInformation(Handle token, std::uint32_t tokenInformationClass, void* tokenInformation,
                           std::uint32_t tokenInformationLength, std::uint32_t* returnLength) override;
  Handle GetProcessWindowStation() override;
  bool GetUserObjectInformationW(Handle object, int index, void* info, std::uint32_t length,
                                 std::uint32_t* lengthNeeded) override;
  Handle CreateMutexW(const std::uint8_t* securityDescriptor, bool initialOwner, const char16_t* name) override;
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override;
  bool ReleaseMutex(Handle mutex) override;
  bool GetKernelObjectSecurity(Handle object, std::uint32_t requestedInformation, void* securityDescriptor,
                               std::uint32_t length, std::uint32_t* lengthNeeded) override;

  // ---- For tests and the run's end ----
  [[nodiscard]] CallTrace& trace() { return trace_; }
  [[nodiscard]] std::size_t openHandleCount() const { return machine_.openHandleCount(); }
  [[nodiscard]] std::size_t openDeviceSetCount() const { return machine_.openDeviceSetCount(); }
  [[nodiscard]] const std::vector<MessageBoxRecord>& messageBoxes() const { return machine_.messageBoxes(); }
  [[nodiscard]] std::uint32_t errorMode() const { return machine_.errorMode(); }
  // The named drive; nullptr when there is none.
  [[nodiscard]] NvmeDrive* drive(const std::string& name) const { return machine_.drive(name); }
  // The machine after the next reset, in the description format.
  [[nodiscard]] nlohmann::json state() const { return machine_.state(); }
  // The machine as it is now, before that reset, in the description format.
  [[nodiscard]] nlohmann::json stateNow() const { return machine_.stateNow(); }
  // Where MessageBoxW writes its line (standard error unless set).
  void setMessageSink(std::ostream* sink) { machine_.setMessageSink(sink); }
  // What a "hold" fault does before its request is answered: the model under
  // Wine blocks there until a test lets the run go on (sim/host). Without a
  // handler the request is answered at once.
  using HoldHandler = std::function<void(const std::string& faultPath)>;
  void setHoldHandler(HoldHandler handler) { holdHandler_ = std::move(handler); }

 private:
  // The first request fault due on this request or open (every matching
  // fault counts it), or nullptr.
  const Fault* dueFault(FaultAction open, std::size_t target, const std::string& kind, const std::string& drive);
  // The fault declared on the call about to be recorded (see Fault::call),
  // if any.
  const Fault* callFault() const;
  // Fails the call about to be recorded when a "fail" fault names it: sets
  // the error and marks `entry`. CloseHandle and
  // SetupDiDestroyDeviceInfoList are never failed this way: Windows releases
  // the object even when it reports an error there.
  bool failedByCallFault(nlohmann::json& entry);
  // The faulted request's answer in place of the device's, or the device's
  // with a patch over it.
  IoResult answerWithFault(const Fault& fault, PendingRequest& request);
  // Completes `entry` with the call's result and the error after it, records
  // it and returns the result.
  template <typename Result>
  Result recorded(nlohmann::json& entry, Result result);
  // The same for a property call, with the size asked for and the buffer.
  bool recordedProperty(nlohmann::json& entry, bool ok, const std::uint8_t* buffer, std::uint32_t bufferSize,
                        const std::uint32_t* requiredSize);

  // The faults come out of the description first: the Machine never sees
  // them.
  std::vector<Fault> faults_;
  std::vector<std::uint32_t> faultCounts_;  // matching events seen, per fault
  Machine machine_;
  CallTrace trace_;
  HoldHandler holdHandler_;
};

}  // namespace koa::sim
