#include "bench/null_device.h"

#include <cstring>

#include <benchmark/benchmark.h>

namespace koa::bench {
namespace {

// SRB_IO_CONTROL ReturnCode, and the inbox driver's FIRMWARE request block
// (function, DataBufferOffset) with the STORAGE_FIRMWARE_INFO it answers a
// get-info with: Version 1, UpgradeSupport, SlotCount, then 16-byte slot
// entries (SlotNumber, ReadOnly).
constexpr std::size_t kReturnCodeOffset = 20;
constexpr std::size_t kSignatureOffset = 4;
constexpr char kFirmwareSignature[8] = {'F', 'I', 'R', 'M', 'W', 'A', 'R', 'E'};
constexpr std::size_t kFunctionOffset = 36;
constexpr std::size_t kDataBufferOffsetOffset = 44;
constexpr std::uint32_t kGetInfo = 1;
constexpr std::size_t kInfoLength = 32;  // header and one slot entry

void put32(std::uint8_t* bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t get32(const std::uint8_t* bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[offset + i];
  return value;
}

void answerGetInfo(std::uint8_t* request, std::uint32_t length) {
  const std::uint32_t info = get32(request, kDataBufferOffsetOffset);
  if (info > length || length - info < kInfoLength) return;
  put32(request, info + 0, 1);   // Version
  put32(request, info + 4, 32);  // Size
  request[info + 8] = 1;         // UpgradeSupport
  request[info + 9] = 1;         // SlotCount
  request[info + 16] = 1;        // slot 1 ...
  request[info + 17] = 0;        // ... writable
}

}  // namespace

bool NullDevice::DeviceIoControl(Handle, std::uint32_t, void* inBuffer, std::uint32_t inBufferSize, void* outBuffer,
                                 std::uint32_t outBufferSize, std::uint32_t* bytesReturned) {
  ++requests_;
  // The request must be taken as written: the compiler may not drop the
  // stores that built it.
  benchmark::DoNotOptimize(inBuffer);
  auto* out = static_cast<std::uint8_t*>(outBuffer);
  if (out != nullptr && outBufferSize >= kReturnCodeOffset + 4) {
    if (inBuffer == outBuffer && inBufferSize > kFunctionOffset + 4 &&
        std::memcmp(out + kSignatureOffset, kFirmwareSignature, sizeof kFirmwareSignature) == 0 &&
        get32(out, kFunctionOffset) == kGetInfo)
      answerGetInfo(out, outBufferSize);
    put32(out, kReturnCodeOffset, 0);
  }
  benchmark::ClobberMemory();
  if (bytesReturned != nullptr) *bytesReturned = outBufferSize;
  return true;
}

}  // namespace koa::bench
