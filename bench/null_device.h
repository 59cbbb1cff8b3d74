// A machine whose every device answers at once: the cost of a transfer path
// with the device taken away. DeviceIoControl leaves the request as it came
// and reports success (ReturnCode 0); the inbox driver's get-info request
// gets one writable slot, which is all a download and an activation need.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace koa::bench {

class NullDevice final : public Platform {
 public:
  DevInfoSet SetupDiGetClassDevsW(const Guid*, const char16_t*, std::uint32_t) override { return kInvalidDevInfoSet; }
  bool SetupDiEnumDeviceInfo(DevInfoSet, std::uint32_t, SpDevInfoData*) override { return false; }
  bool SetupDiEnumDeviceInterfaces(DevInfoSet, const SpDevInfoData*, const Guid*, std::uint32_t,
                                   SpDeviceInterfaceData*) override {
    return false;
  }
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet, const SpDeviceInterfaceData*, std::uint8_t*, std::uint32_t,
                                        std::uint32_t*, SpDevInfoData*) override {
    return false;
  }
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet, const SpDevInfoData*, std::uint32_t, std::uint32_t*,
                                         std::uint8_t*, std::uint32_t, std::uint32_t*) override {
    return false;
  }
  bool SetupDiGetDevicePropertyW(DevInfoSet, const SpDevInfoData*, const DevPropKey*, std::uint32_t*, std::uint8_t*,
                                 std::uint32_t, std::uint32_t*, std::uint32_t) override {
    return false;
  }
  bool SetupDiDestroyDeviceInfoList(DevInfoSet) override { return true; }

  Handle CreateFileW(const char16_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {
    return kDeviceHandle;
  }
  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                       void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) override;
  bool CloseHandle(Handle) override { return true; }
  std::uint32_t GetLastError() override { return ERROR_SUCCESS; }

  std::intptr_t GetModuleHandleW(const char16_t*) override { return 1; }
  std::uint32_t SetErrorMode(std::uint32_t mode) override { return mode; }
  int MessageBoxW(const char16_t*, const char16_t*, std::uint32_t) override { return 1; }
  LocalTime localTime() override { return LocalTime{2026, 12, 8, 12, 0, 0}; }
  // A process whose token and window station cannot be asked: the run
  // behaves as it did before it asked.
  bool OpenProcessToken(std::uint32_t, Handle*) override { return false; }
  bool GetTokenInformation(Handle, std::uint32_t, void*, std::uint32_t, std::uint32_t*) override { return false; }
  Handle GetProcessWindowStation() override { return 0; }
  bool GetUserObjectInformationW(Handle, int, void*, std::uint32_t, std::uint32_t*) override { return false; }

  // Requests answered since construction; a benchmark checks that the path
  // really sent its pieces.
  [[nodiscard]] std::uint64_t requests() const { return requests_; }

 private:
  static constexpr Handle kDeviceHandle = 0x100;
  std::uint64_t requests_ = 0;
};

}  // namespace koa::bench
