// Opening a drive on the inbox driver by its physical-drive path, and sending
// it one request.
#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_handle.h"
#include "transfer/request_buffer.h"

namespace koa::inbox {

// Opens devicePath for reading and writing, shared, synchronous. On failure
// writes "  [ERROR] Failed to get disk handle: 0x<error>" and an empty line
// on the narrow stream and returns an invalid handle.
[[nodiscard]] UniqueHandle openDrive(const std::u16string& devicePath);

// Sends the first requestLength bytes of buffer with ioControlCode, the same
// bytes as input and output. False when the call failed (GetLastError says
// why).
[[nodiscard]] bool sendRequest(const UniqueHandle& drive, std::uint32_t ioControlCode, RequestBuffer& buffer,
                               std::uint32_t requestLength);

}  // namespace koa::inbox
