// The download loop of the inbox path: the bounded walk over the image, one
// "FIRMWARE" download request per piece, all built in the one request buffer
// of the drive's update.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/unique_handle.h"
#include "wire/request_buffer.h"

namespace koa::inbox {

// Sends imageBuffer[0, imageSize) in pieces of pieceSize bytes (a shorter
// last piece where pieceSize does not divide imageSize), each built in
// buffer, which is 76 + pieceSize bytes long. The first piece that fails ends
// the walk, with its message on the wide stream. True when every piece was
// accepted.
[[nodiscard]] bool downloadImage(const UniqueHandle& drive, RequestBuffer& buffer, std::uint32_t pieceSize,
                                 std::uint32_t imageSize);

// One status line on the wide stream: text and number in lower-case
// hexadecimal, then a line end.
void writeStatusLine(std::u16string_view text, std::uint64_t number);

}  // namespace koa::inbox
