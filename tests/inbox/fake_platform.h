// A recording fake of the platform for the inbox path's unit tests: a few
// disks for the SetupAPI walk, and a drive that answers I/O controls through
// a function the test gives. Every request is recorded with its bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace koa::test::inbox {

struct FakeDisk {
  std::optional<std::u16string> parent = u"PCI\\VEN_D5A7&DEV_5017\\4&1";
  std::optional<std::u16string> instanceId = u"SCSI\\DISK&VEN_NVME\\5&1";
  std::vector<std::u16string> hardwareIds{u"SCSI\\DiskNVMe____TORVALE", u"GenDisk"};
  std::u16string interfacePath = u"\\\\?\\scsi#disk&ven_nvme#5&1#{53f56307}";
  std::uint32_t openError = 0;             // CreateFileW fails with this when not 0
  std::optional<std::uint32_t> deviceNumber = 0;  // none: the request fails
};

struct RecordedRequest {
  Handle device;
  std::uint32_t code;
  std::vector<std::uint8_t> input;  // inBufferSize bytes as sent
  std::uint32_t inSize;
  std::uint32_t outSize;
  bool sameBuffer;
};

class FakePlatform : public Platform {
 public:
  std::vector<FakeDisk> disks;
  // Answers a request on an opened drive: may rewrite the buffer; returns the
  // error to fail with, or 0 for success.
  std::function<std::uint32_t(std::uint32_t code, std::uint8_t* buffer, std::uint32_t size)> answer;
  std::uint32_t openError = 0;  // for paths that are no disk interface
  bool classDevsFail = false;

  std::vector<std::u16string> opened;  // every CreateFileW path, in order
  std::vector<std::uint32_t> propertyBufferSizes;  // SetupDiGetDevicePropertyW calls
  std::vector<RecordedRequest> requests;
  int openHandles = 0;
  int openSets = 0;

  FakePlatform();
  ~FakePlatform() override;

  DevInfoSet SetupDiGetClassDevsW(const Guid*, const char16_t*, std::uint32_t) override;
  bool SetupDiEnumDeviceInfo(DevInfoSet, std::uint32_t, SpDevInfoData*) override;
  bool SetupDiEnumDeviceInterfaces(DevInfoSet, const SpDevInfoData*, const Guid*, std::uint32_t,
                                   SpDeviceInterfaceData*) override;
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet, const SpDeviceInterfaceData*, std::uint8_t*, std::uint32_t,
                                        std::uint32_t*, SpDevInfoData*) override;
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet, const SpDevInfoData*, std::uint32_t, std::uint32_t*,
                                         std::uint8_t*, std::uint32_t, std::uint32_t*) override;
  bool SetupDiGetDevicePropertyW(DevInfoSet, const SpDevInfoData*, const DevPropKey*, std::uint32_t*,
                                 std::uint8_t*, std::uint32_t, std::uint32_t*, std::uint32_t) override;
  bool SetupDiDestroyDeviceInfoList(DevInfoSet) override;
  Handle CreateFileW(const char16_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override;
  bool DeviceIoControl(Handle, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t,
                       std::uint32_t*) override;
  bool CloseHandle(Handle) override;
  std::uint32_t GetLastError() override { return lastError_; }
  std::intptr_t GetModuleHandleW(const char16_t*) override { return 1; }
  std::uint32_t SetErrorMode(std::uint32_t) override { return 0; }
  int MessageBoxW(const char16_t*, const char16_t*, std::uint32_t) override { return 1; }
  LocalTime localTime() override { return {2026, 12, 8, 14, 0, 0}; }
  // A process whose token and window station cannot be asked: the run
  // behaves as it did before it asked.
  bool OpenProcessToken(std::uint32_t, Handle*) override { return false; }
  bool GetTokenInformation(Handle, std::uint32_t, void*, std::uint32_t, std::uint32_t*) override { return false; }
  Handle GetProcessWindowStation() override { return 0; }
  bool GetUserObjectInformationW(Handle, int, void*, std::uint32_t, std::uint32_t*) override { return false; }

 private:
  bool fail(std::uint32_t error) {
    lastError_ = error;
    return false;
  }
  // Writes value (NUL-terminated, or a multi-string when multi) as the
  // SetupAPI functions do: too small a buffer gives ERROR_INSUFFICIENT_BUFFER
  // and the required size.
  bool writeProperty(const std::vector<std::u16string>& value, bool multi, std::uint8_t* buffer,
                     std::uint32_t size, std::uint32_t* required);

  std::uint32_t lastError_ = 0;
  std::map<Handle, int> handles_;  // handle -> disk index, -1 for a drive path
  Handle nextHandle_ = 100;
};

}  // namespace koa::test::inbox
