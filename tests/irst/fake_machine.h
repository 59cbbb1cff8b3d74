// A small recording koa::Platform for the IRST tests: a list of device
// nodes for the SetupAPI walks, files that open or refuse to, and a
// scripted driver behind every handle. It records every open and every I/O
// control (with a copy of the bytes sent), so tests can check the pattern of
// I/O, not only the result.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace koa::test {

struct FakeNode {
  Guid interfaceClass{};           // the class whose interface this node has
  std::u16string interfacePath;    // empty: no interface
  std::uint32_t devInst = 0;
  std::map<std::uint32_t, std::u16string> properties;  // by DEVPROPKEY pid
};

struct OpenCall {
  std::u16string path;
  std::uint32_t access = 0;
  std::uint32_t shareMode = 0;
  std::uint32_t disposition = 0;
  std::uint32_t flags = 0;
  Handle handle = kInvalidHandle;
};

struct IoCall {
  Handle handle = kInvalidHandle;
  std::u16string path;  // what the handle was opened on
  std::uint32_t code = 0;
  std::vector<std::uint8_t> input;  // the inBufferSize bytes sent
  std::uint32_t outSize = 0;
  bool sameBuffer = false;
};

// Answers one I/O control: may write into buffer (outSize bytes); returns
// false with error set to fail the call.
using Driver = std::function<bool(const IoCall& call, std::uint8_t* buffer, std::uint32_t& error)>;

class FakeMachine : public Platform {
 public:
  // Installs itself as the current platform.
  FakeMachine();

  std::vector<FakeNode> nodes;
  std::map<std::u16string, std::uint32_t> refusedPaths;  // path -> error of CreateFileW
  Driver driver;                                          // default: every call succeeds, nothing written

  std::vector<OpenCall> opens;
  std::vector<IoCall> ioCalls;
  std::vector<std::uint32_t> classDevsFlags;
  int openHandles = 0;
  int openSets = 0;
  // Opens that were refused because the path was already open exclusively.
  int sharingViolations = 0;

  DevInfoSet SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator,
                                  std::uint32_t flags) override;
  bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* data) override;
  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                   const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                   SpDeviceInterfaceData* interfaceData) override;
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* interfaceData,
                                        std::uint8_t* detail, std::uint32_t detailSize,
                                        std::uint32_t* requiredSize, SpDevInfoData* deviceInfoData) override;
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet, const SpDevInfoData*, std::uint32_t, std::uint32_t*,
                                         std::uint8_t*, std::uint32_t, std::uint32_t*) override;
  bool SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                 const DevPropKey* propertyKey, std::uint32_t* propertyType,
                                 std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                                 std::uint32_t* requiredSize, std::uint32_t flags) override;
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override;
  Handle CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) override;
  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                       void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) override;
  bool CloseHandle(Handle object) override;
  std::uint32_t GetLastError() override { return lastError_; }
  std::intptr_t GetModuleHandleW(const char16_t*) override { return 1; }
  std::uint32_t SetErrorMode(std::uint32_t mode) override { return mode; }
  int MessageBoxW(const char16_t*, const char16_t*, std::uint32_t) override { return 1; }
  LocalTime localTime() override { return {2026, 1, 2, 3, 4, 5}; }
  // A process whose token and window station cannot be asked: the run
  // behaves as it did before it asked.
  bool OpenProcessToken(std::uint32_t, Handle*) override { return false; }
  bool GetTokenInformation(Handle, std::uint32_t, void*, std::uint32_t, std::uint32_t*) override { return false; }
  Handle GetProcessWindowStation() override { return 0; }
  bool GetUserObjectInformationW(Handle, int, void*, std::uint32_t, std::uint32_t*) override { return false; }

  // The I/O controls sent with code, in order.
  std::vector<IoCall> callsWithCode(std::uint32_t code) const;

 private:
  struct SetState {
    std::vector<std::size_t> members;  // indexes into nodes
  };
  std::map<DevInfoSet, SetState> sets_;
  std::map<Handle, std::pair<std::u16string, bool>> handles_;  // path, exclusive
  DevInfoSet nextSet_ = 100;
  Handle nextHandle_ = 1000;
  std::uint32_t lastError_ = 0;
};

// An Intel storage controller port with the given path and driver text.
FakeNode intelControllerNode(std::u16string path, std::u16string driverDescription, std::uint32_t devInst);
// A disk below the Intel controller; RAID volumes carry VEN_INTEL&PROD_RAID.
FakeNode intelDiskNode(std::u16string path, std::u16string instanceId, std::u16string location,
                       std::uint32_t devInst);

}  // namespace koa::test
