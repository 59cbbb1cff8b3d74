// The simulated Windows machine: SetupAPI, handles and DeviceIoControl as
// Windows has them, over the device nodes, drivers and drives of a machine
// description, with the description's faults applied to the requests.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "sim/call_trace.h"
#include "sim/machine_description.h"

namespace koa::sim {

// ERROR_INVALID_USER_BUFFER and the others SetupAPI and the I/O manager
// answer with that the system itself never names.
inline constexpr std::uint32_t kErrorInvalidFlags = 1004;
inline constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;
inline constexpr std::uint32_t kErrorNoAccess = 998;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t SPDRP_LOCATION_INFORMATION = 0x0D;
inline constexpr std::uint32_t REG_SZ = 1;

struct MessageBoxRecord {
  std::u16string caption;
  std::u16string text;
  std::uint32_t type = 0;
};

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
  std::intptr_t GetModuleHandleW(const char16_t* moduleName) override;
  std::uint32_t SetErrorMode(std::uint32_t mode) override;
  int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) override;
  LocalTime localTime() override;

  // ---- For tests and the run's end ----
  [[nodiscard]] CallTrace& trace() { return trace_; }
  [[nodiscard]] std::size_t openHandleCount() const { return handles_.size(); }
  [[nodiscard]] std::size_t openDeviceSetCount() const { return sets_.size(); }
  [[nodiscard]] const std::vector<MessageBoxRecord>& messageBoxes() const { return messageBoxes_; }
  [[nodiscard]] std::uint32_t errorMode() const { return errorMode_; }
  // The named drive; nullptr when there is none.
  [[nodiscard]] NvmeDrive* drive(const std::string& name) const;
  // The machine after the next reset, in the description format.
  [[nodiscard]] nlohmann::json state() const;
  // Where MessageBoxW writes its line (standard error unless set).
  void setMessageSink(std::ostream* sink) { messageSink_ = sink; }

 private:
  struct DeviceSet {
    std::vector<std::size_t> members;  // device node indices, in order
  };
  struct OpenHandle {
    std::size_t target = 0;
    std::u16string path;
    std::uint32_t access = 0;
    std::uint32_t shareMode = 0;
    bool overlapped = false;
  };
  struct InterfaceRef {
    std::size_t device = 0;
    std::size_t interfaceIndex = 0;
  };

  bool fail(std::uint32_t error);
  DeviceSet* findSet(DevInfoSet set);
  // The set's member for a caller's SP_DEVINFO_DATA; sets the error when
  // there is none.
  const DeviceNode* memberFor(DevInfoSet set, const SpDevInfoData* data, bool required);
  void fillDevInfo(SpDevInfoData& data, std::size_t device) const;
  std::vector<InterfaceRef> interfacesOf(const DeviceSet& set, const SpDevInfoData* only, const Guid& cls) const;
  // Writes a property value of `bytes` into the caller's buffer under the
  // ERROR_INSUFFICIENT_BUFFER protocol.
  bool returnProperty(const std::vector<std::uint8_t>& bytes, std::uint8_t* buffer, std::uint32_t bufferSize,
                      std::uint32_t* requiredSize);
  bool sharingAllows(std::size_t target, std::uint32_t access, std::uint32_t shareMode) const;
  const Fault* dueFault(FaultAction open, std::size_t target, const std::string& kind, const std::string& drive);
  bool deviceIoControlTraced(Handle device, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                             std::uint32_t outSize, std::uint32_t* bytesReturned, nlohmann::json& entry);

  MachineDescription machine_;
  std::map<DevInfoSet, DeviceSet> sets_;
  std::map<Handle, OpenHandle> handles_;
  std::vector<std::uint32_t> faultCounts_;  // matching events seen, per fault
  DevInfoSet nextSet_ = 0x5000;
  Handle nextHandle_ = 0x200;
  std::uint32_t lastError_ = 0;
  std::uint32_t errorMode_ = 0;
  std::vector<MessageBoxRecord> messageBoxes_;
  std::ostream* messageSink_ = nullptr;
  CallTrace trace_;
};

}  // namespace koa::sim
