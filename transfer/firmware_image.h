// The firmware image the package carries, and its working copy.
#pragma once

#include <cstdint>
#include <string>

#include "wire/piece_walk.h"

namespace koa {

// The image's revision: 8 bytes at offsets 0x42 to 0x49.
inline constexpr std::uint32_t kImageRevisionOffset = 0x42;
inline constexpr std::uint32_t kImageRevisionLength = 8;

// The working copy: all zero until loadImage, read-only afterwards, and the
// only source of the bytes sent to drives.
extern std::uint8_t imageBuffer[kImageSize];
// Exactly 8 characters once loaded: each revision byte zero-extended.
extern std::u16string imageRevision;

// Copies the image embedded in the program into imageBuffer and sets
// imageRevision. Needs no file; cannot fail.
void loadImage();

}  // namespace koa
