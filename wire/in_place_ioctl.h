// Sending a request buffer as the input and the output of one synchronous
// I/O control: every driver-private request and the inbox identify query go
// out this way, and the driver's answer is read from the same bytes.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/win_types.h"
#include "wire/request_buffer.h"

namespace koa {

// Sends the first requestLength bytes of request with ioControlCode and lets
// the driver write back up to answerLength bytes into the same buffer (both
// at most request.size()). The bytes the driver reports returned, or nullopt
// when the call failed (GetLastError says why).
[[nodiscard]] std::optional<std::uint32_t> sendInPlace(Handle device, std::uint32_t ioControlCode,
                                                       RequestBuffer& request, std::uint32_t requestLength,
                                                       std::uint32_t answerLength);

// The same for a request, and an answer, as long as the whole buffer.
[[nodiscard]] inline std::optional<std::uint32_t> sendInPlace(Handle device, std::uint32_t ioControlCode,
                                                              RequestBuffer& request) {
  return sendInPlace(device, ioControlCode, request, request.size32(), request.size32());
}

}  // namespace koa
