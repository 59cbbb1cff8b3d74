// The image buffer as the transfer tests fill it, and how they find its
// pieces in the requests.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "tests/support/bytes.h"
#include "transfer/firmware_image.h"

namespace koa::test {

// Fills imageBuffer so that every 4-byte word differs from every other one
// (its index times an odd number is a one-to-one map), so that a piece or a
// word taken from the wrong offset shows; sets imageRevision. Both are put
// back afterwards.
class PatternedImage {
 public:
  explicit PatternedImage(std::u16string revision = imageRevision)
      : savedImage_(imageBuffer, imageBuffer + kImageSize), savedRevision_(imageRevision) {
    for (std::uint32_t word = 0; word < kImageSize / 4; ++word)
      putLe32(imageBuffer, 4 * word, (word * 0x9E3779B1u) ^ 0x5A5A5A5Au);
    imageRevision = std::move(revision);
  }
  ~PatternedImage() {
    std::memcpy(imageBuffer, savedImage_.data(), kImageSize);
    imageRevision = savedRevision_;
  }
  PatternedImage(const PatternedImage&) = delete;
  PatternedImage& operator=(const PatternedImage&) = delete;

 private:
  std::vector<std::uint8_t> savedImage_;
  std::u16string savedRevision_;
};

// True when request carries the image's length bytes from offset at from.
inline bool carriesImageBytes(std::span<const std::uint8_t> request, std::size_t from, std::uint32_t offset,
                              std::uint32_t length) {
  return request.size() >= from + length && offset + std::uint64_t{length} <= kImageSize &&
         std::memcmp(request.data() + from, imageBuffer + offset, length) == 0;
}

}  // namespace koa::test
