// A machine a test writes by hand: device nodes for the SetupAPI walks,
// paths that open or are refused, and one scripted answer behind every
// handle. Every open and every I/O control is recorded, the input bytes
// copied as they were sent, so that a test checks the pattern of I/O and not
// only the result. It installs itself as the current platform; everything
// it does not script is the empty machine's.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/null_platform.h"

namespace koa::test {

struct PropertyKeyOrder {
  bool operator()(const DevPropKey& a, const DevPropKey& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
};

struct ScriptedNode {
  Guid interfaceClass = GUID_DEVINTERFACE_DISK;  // the class of its interface
  std::u16string interfacePath;                  // empty: no interface
  std::uint32_t devInst = 0;
  std::map<DevPropKey, std::u16string, PropertyKeyOrder> properties;
  std::vector<std::u16string> hardwareIds;  // SPDRP_HARDWAREID; empty: the property is missing
  // What the storage stack answers to IOCTL_STORAGE_GET_DEVICE_NUMBER on its
  // interface path; without one, the call goes to the scripted answer.
  std::optional<std::uint32_t> deviceNumber;
};

struct OpenCall {
  std::u16string path;
  std::uint32_t access = 0;
  std::uint32_t shareMode = 0;
  std::uint32_t disposition = 0;
  std::uint32_t flags = 0;
  Handle handle = kInvalidHandle;  // kInvalidHandle when refused
};

struct IoCall {
  Handle handle = kInvalidHandle;
  std::u16string path;  // what the handle was opened on
  std::uint32_t code = 0;
  std::vector<std::uint8_t> input;  // the inSize bytes sent
  std::uint32_t inSize = 0;
  std::uint32_t outSize = 0;
  bool sameBuffer = false;
};

// Answers one I/O control in the system buffer, which holds the input and
// has room for max(inSize, outSize) bytes; its first outSize bytes are the
// output, whatever bytesReturned (outSize unless the answer changes it)
// says, so that a reader that trusts more than it was given finds bytes it
// must not use. Returns 0, or the error the call fails with.
using Answer = std::function<std::uint32_t(const IoCall& call, std::uint8_t* buffer, std::uint32_t& bytesReturned)>;

class ScriptedPlatform : public NullPlatform {
 public:
  ScriptedPlatform() { installPlatform(*this); }
  // The empty machine takes over, so that the installed platform never dangles.
  ~ScriptedPlatform() override;
  ScriptedPlatform(const ScriptedPlatform&) = delete;
  ScriptedPlatform& operator=(const ScriptedPlatform&) = delete;

  std::vector<ScriptedNode> nodes;
  std::uint32_t classDevsError = 0;  // SetupDiGetClassDevsW fails with this when not 0
  // A path in refusedPaths fails with its error; a node's interface path and
  // a path in openable open; any other path fails with otherPathError, or
  // opens when it is 0. As Windows does for a file, an exclusive open of a
  // path excludes every other open of it (ERROR_SHARING_VIOLATION).
  std::map<std::u16string, std::uint32_t> refusedPaths;
  std::set<std::u16string> openable;
  std::uint32_t otherPathError = 0;
  Answer answer;  // none: every call succeeds and leaves the buffer as it was

  std::vector<std::uint32_t> classDevsFlags;       // of every SetupDiGetClassDevsW
  std::vector<std::uint32_t> propertyBufferSizes;  // of every SetupDiGetDevicePropertyW, 0 without a buffer
  std::vector<OpenCall> opens;
  std::vector<IoCall> calls;  // on open handles
  int sharingViolations = 0;

  [[nodiscard]] int openHandles() const { return static_cast<int>(handles_.size()); }
  [[nodiscard]] int openSets() const { return static_cast<int>(sets_.size()); }
  // The I/O controls sent with code, in order.
  [[nodiscard]] std::vector<IoCall> callsWithCode(std::uint32_t code) const;

  DevInfoSet SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator, std::uint32_t flags) override;
  bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* data) override;
  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                   const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                   SpDeviceInterfaceData* interfaceData) override;
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* interfaceData,
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

 private:
  struct OpenPath {
    std::u16string path;
    bool exclusive;
  };
  // The node an element of set names (its Reserved is the node's index + 1,
  // so that an element never filled in names none); null after fail().
  const ScriptedNode* element(DevInfoSet set, std::uintptr_t reserved);
  // The node whose interface path is path, or null.
  const ScriptedNode* nodeAt(const std::u16string& path) const;
  // Writes units (with their terminating NULs) as SetupAPI does: too small a
  // buffer gives ERROR_INSUFFICIENT_BUFFER and the required size in bytes.
  bool writeUnits(const std::u16string& units, std::uint8_t* buffer, std::uint32_t size, std::uint32_t* required);

  std::map<DevInfoSet, std::vector<std::size_t>> sets_;  // members, as indexes into nodes
  std::map<Handle, OpenPath> handles_;
  DevInfoSet nextSet_ = 100;
  Handle nextHandle_ = 1000;
};

}  // namespace koa::test
