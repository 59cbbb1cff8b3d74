#include "transfer/firmware_image.h"

#include <cstring>

// Placed by the assembler (cmake/embedded_image.S.in) from a file that the
// build has checked to be exactly kImageSize bytes.
extern "C" const std::uint8_t koa_embedded_image[];
extern "C" const std::uint8_t koa_embedded_image_end[];

namespace koa {

std::uint8_t imageBuffer[kImageSize];
std::u16string imageRevision;

void loadImage() {
  std::memcpy(imageBuffer, koa_embedded_image, kImageSize);
  // Zero extension, no code page: a revision byte is one UTF-16 unit.
  imageRevision.assign(kImageRevisionLength, u'\0');
  for (std::uint32_t i = 0; i < kImageRevisionLength; ++i)
    imageRevision[i] = static_cast<char16_t>(imageBuffer[kImageRevisionOffset + i]);
}

}  // namespace koa
