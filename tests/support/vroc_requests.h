// The VROC pass-through as the tests read it, written from the layout
// tables independently of the system's builders, and the driver answers the
// tests give.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/support/bytes.h"
#include "tests/support/scripted_platform.h"
#include "transfer/firmware_image.h"

namespace koa::test::vroc {

inline constexpr std::uint32_t kPassThroughCode = 0xE0002000;
inline constexpr std::uint32_t kScsiMiniport = 0x4D008;

inline std::vector<std::uint8_t> header(std::size_t length, std::uint32_t timeout, std::uint32_t controlCode,
                                        std::uint32_t returnCode) {
  std::vector<std::uint8_t> bytes(length, 0);
  putLe32(bytes, 0, 28);
  std::memcpy(bytes.data() + 4, "NvmeRAID", 8);
  putLe32(bytes, 12, timeout);
  putLe32(bytes, 16, controlCode);
  putLe32(bytes, 20, returnCode);
  putLe32(bytes, 24, static_cast<std::uint32_t>(length - 28));
  return bytes;
}

inline std::vector<std::uint8_t> expectedDownload(std::uint32_t diskId, std::uint32_t offset,
                                                  std::uint32_t length) {
  auto bytes = header(160 + length, 30, kPassThroughCode, diskId);
  bytes[52] = 0x11;
  putLe32(bytes, 92, length / 4 - 1);
  putLe32(bytes, 96, offset / 4);
  putLe32(bytes, 132, 1);
  putLe32(bytes, 140, length);
  putLe32(bytes, 148, 153);
  std::memcpy(bytes.data() + 152, imageBuffer + offset, length);
  return bytes;
}

inline std::vector<std::uint8_t> expectedCommit(std::uint32_t diskId) {
  auto bytes = header(153, 30, kPassThroughCode, diskId);
  bytes[52] = 0x10;
  putLe32(bytes, 92, 0x0000000A);
  putLe32(bytes, 132, 1);
  putLe32(bytes, 148, 153);
  return bytes;
}

inline std::vector<std::uint8_t> expectedIdentify(std::uint32_t diskId) {
  auto bytes = header(4252, 40, kPassThroughCode, diskId);
  bytes[52] = 0x06;
  putLe32(bytes, 92, 1);
  putLe32(bytes, 132, 2);
  putLe32(bytes, 148, 4252);
  std::memset(bytes.data() + 152, 0x55, 4096);
  return bytes;
}

// A driver answer: the status in ReturnCode and completion dword 3.
inline Answer completeWith(std::uint32_t returnCode, std::uint32_t dword3) {
  return [=](const IoCall&, std::uint8_t* buffer, std::uint32_t&) {
    putLe32(buffer, 20, returnCode);
    putLe32(buffer, 128, dword3);
    return ERROR_SUCCESS;
  };
}

// The calls whose SRB_IO_CONTROL names controlCode, in order.
inline std::vector<IoCall> callsWithControlCode(const ScriptedPlatform& platform, std::uint32_t controlCode) {
  std::vector<IoCall> matching;
  for (const IoCall& call : platform.calls)
    if (call.input.size() >= 20 && le32(call.input, 16) == controlCode) matching.push_back(call);
  return matching;
}

}  // namespace koa::test::vroc
