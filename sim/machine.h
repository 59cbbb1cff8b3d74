// The simulated Windows machine itself: SetupAPI, handles and
// DeviceIoControl as Windows has them, over the device nodes, drivers and
// drives of a machine description. It records nothing and injects nothing:
// SimulatedMachine wraps it with the trace and the description's faults,
// and uses the queries and the three steps of a request below to do so.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "sim/file_system.h"
#include "sim/machine_description.h"
#include "sim/security_layout.h"

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

// A DeviceIoControl the I/O manager has accepted and not yet completed:
// METHOD_BUFFERED's system buffer, max(in, out) bytes holding the input
// followed by zeros, and what the request is.
struct PendingRequest {
  std::size_t target = 0;  // index in the description's targets
  std::string kind;        // SimDevice::requestKind
  std::string drive;       // SimDevice::requestDrive
  std::uint32_t code = 0;
  std::uint32_t inSize = 0;
  std::uint32_t outSize = 0;
  std::vector<std::uint8_t> system;
};

class Machine : public Platform {
 public:
  explicit Machine(MachineDescription description);
  ~Machine() override;

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
  // acceptRequest, sendToDevice and completeRequest in turn.
  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                       void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) override;
  bool CloseHandle(Handle object) override;
  std::uint32_t GetLastError() override { return lastError_; }
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

  // What a call that fails before it reaches the machine leaves behind.
  void SetLastError(std::uint32_t error) { lastError_ = error; }

  // ---- Queries: what a call would meet, without making it ----
  // The target an open of `fileName` reaches when the open gets that far:
  // the path exists, is opened with OPEN_EXISTING, by an elevated caller.
  // Sharing is checked only after that.
  [[nodiscard]] std::optional<std::size_t> targetOpenedBy(const char16_t* fileName,
                                                          std::uint32_t creationDisposition) const;
  // The path an open handle was opened by.
  [[nodiscard]] std::optional<std::u16string> pathOf(Handle handle) const;
  // The instance identifier of an element SetupDiEnumDeviceInfo returned.
  [[nodiscard]] std::u16string instanceIdOf(const SpDevInfoData& data) const;
  // The path of an interface that SetupDiEnumDeviceInterfaces returned.
  [[nodiscard]] std::u16string interfacePathOf(const SpDeviceInterfaceData& data) const;

  // ---- A DeviceIoControl in three steps ----
  // The I/O manager's checks of the handle, the buffers and the access the
  // control code asks for; nothing when one fails (the error is set).
  [[nodiscard]] std::optional<PendingRequest> acceptRequest(Handle device, std::uint32_t code, const void* inBuffer,
                                                            std::uint32_t inSize, const void* outBuffer,
                                                            std::uint32_t outSize, std::uint32_t* bytesReturned);
  // The target's driver answers in the system buffer.
  IoResult sendToDevice(PendingRequest& request);
  // Copies min(out, bytes returned) bytes of the answer to the caller. A
  // failure copies nothing back, except the warning that more data was
  // there (ERROR_MORE_DATA), which copies what fits.
  bool completeRequest(const PendingRequest& request, const IoResult& answer, void* outBuffer,
                       std::uint32_t* bytesReturned);

  // ---- For tests and the run's end ----
  // Device, file, token and mutex handles alike: a run must close them all.
  [[nodiscard]] std::size_t openHandleCount() const {
    return handles_.size() + tokens_.size() + mutexHandles_.size() + files_.openCount();
  }
  // The DLL search SetDefaultDllDirectories set (0: never set).
  [[nodiscard]] std::uint32_t defaultDllDirectories() const { return dllDirectories_; }
  [[nodiscard]] std::size_t openDeviceSetCount() const { return sets_.size(); }
  [[nodiscard]] const std::vector<MessageBoxRecord>& messageBoxes() const { return messageBoxes_; }
  [[nodiscard]] std::uint32_t errorMode() const { return errorMode_; }
  [[nodiscard]] NvmeDrive* drive(const std::string& name) const;
  // The machine in the description format after the next reset, and as it
  // is now, before it.
  [[nodiscard]] nlohmann::json state() const;
  [[nodiscard]] nlohmann::json stateNow() const;
  void setMessageSink(std::ostream* sink) { messageSink_ = sink; }

 private:
  [[nodiscard]] nlohmann::json stateWith(nlohmann::json (NvmeDrive::*driveState)() const) const;
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
  // The interface an SP_DEVICE_INTERFACE_DATA of this machine names
  // (Reserved: device << 8 | interface, plus 1).
  static InterfaceRef interfaceRefOf(const SpDeviceInterfaceData& data);
  std::vector<InterfaceRef> interfacesOf(const DeviceSet& set, const SpDevInfoData* only, const Guid& cls) const;
  // Writes a property value of `bytes` into the caller's buffer under the
  // ERROR_INSUFFICIENT_BUFFER protocol.
  bool returnProperty(const std::vector<std::uint8_t>& bytes, std::uint8_t* buffer, std::uint32_t bufferSize,
                      std::uint32_t* requiredSize);
  // The error an open fails with before sharing is considered, 0 when it
  // reaches `target`.
  std::uint32_t openError(const char16_t* fileName, std::uint32_t creationDisposition, std::size_t& target) const;
  bool sharingAllows(std::size_t target, std::uint32_t access, std::uint32_t shareMode) const;

  // A mutex of the object namespace. Another process's hold never ends on
  // this machine: nothing runs beside the program.
  struct Mutex {
    std::u16string name;
    ObjectSecurity security;
    MutexState state = MutexState::Free;
    std::uint32_t heldByProgram = 0;  // the program's recursion count
    std::optional<std::size_t> described;  // index in the description's mutexes
  };
  void loadMutexes();
  Mutex* mutexOf(Handle handle);
  // Whether the program's token may open an object with this DACL.
  bool accessAllowed(const ObjectSecurity& security) const;
  // SIDs the program's token may make an object's owner.
  bool mayOwn(const Sid& owner) const;

  // A text answer under the length protocol of GetFullPathNameW and its
  // kin: the length without the NUL, or the size needed with it.
  std::uint32_t returnText(const std::optional<std::u16string>& text, std::uint32_t error, char16_t* buffer,
                           std::uint32_t size);

  MachineDescription machine_;
  FileSystem files_;
  // Files are numbered apart from devices, so that a log opened first leaves
  // the devices' handles as they are.
  Handle nextFile_ = 0x9000;
  std::map<std::u16string, Mutex> mutexes_;    // by name, letters folded
  std::map<Handle, std::u16string> mutexHandles_;
  // Numbered apart from device handles, like tokens.
  Handle nextMutexHandle_ = 0x7800;
  std::uint32_t dllDirectories_ = 0;
  std::map<DevInfoSet, DeviceSet> sets_;
  std::map<Handle, OpenHandle> handles_;
  DevInfoSet nextSet_ = 0x5000;
  Handle nextHandle_ = 0x200;
  std::map<Handle, std::uint32_t> tokens_;  // open process tokens, by the access they were opened with
  // Tokens are numbered apart from device handles, so that asking for the
  // token leaves the device handles' numbers as they are on a machine where
  // the token comes from elsewhere (the program on Wine devices).
  Handle nextToken_ = 0x7000;
  std::uint32_t lastError_ = 0;
  std::uint32_t errorMode_ = 0;
  std::vector<MessageBoxRecord> messageBoxes_;
  std::ostream* messageSink_ = nullptr;
};

}  // namespace koa::sim
