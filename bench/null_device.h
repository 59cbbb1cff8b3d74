// The empty machine with one device that answers at once: the cost of a
// transfer path with the device taken away. DeviceIoControl leaves the
// request as it came and reports success (ReturnCode 0); the inbox driver's
// get-info request gets one writable slot, which is all a download and an
// activation need.
#pragma once

#include <cstdint>

#include "tests/support/null_platform.h"

namespace koa::bench {

class NullDevice final : public test::NullPlatform {
 public:
  Handle CreateFileW(const char16_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {
    return kDeviceHandle;
  }
  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                       void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) override;
  bool CloseHandle(Handle) override { return true; }

  // Requests answered since construction; a benchmark checks that the path
  // really sent its pieces.
  [[nodiscard]] std::uint64_t requests() const { return requests_; }

 private:
  static constexpr Handle kDeviceHandle = 0x100;
  std::uint64_t requests_ = 0;
};

}  // namespace koa::bench
