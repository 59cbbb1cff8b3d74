// The VROC pass-through as the tests read it, written from the layout
// tables independently of the system's builders.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/vroc/port_recorder.h"
#include "transfer/firmware_image.h"

namespace koa::test::vroc {

inline constexpr std::uint32_t kPassThroughCode = 0xE0002000;
inline constexpr std::uint32_t kScsiMiniport = 0x4D008;

inline std::vector<std::uint8_t> header(std::size_t length, std::uint32_t timeout, std::uint32_t controlCode,
                                        std::uint32_t returnCode) {
  std::vector<std::uint8_t> bytes(length, 0);
  putDword(bytes, 0, 28);
  std::memcpy(bytes.data() + 4, "NvmeRAID", 8);
  putDword(bytes, 12, timeout);
  putDword(bytes, 16, controlCode);
  putDword(bytes, 20, returnCode);
  putDword(bytes, 24, static_cast<std::uint32_t>(length - 28));
  return bytes;
}

inline std::vector<std::uint8_t> expectedDownload(std::uint32_t diskId, std::uint32_t offset,
                                                  std::uint32_t length) {
  auto bytes = header(160 + length, 30, kPassThroughCode, diskId);
  bytes[52] = 0x11;
  putDword(bytes, 92, length / 4 - 1);
  putDword(bytes, 96, offset / 4);
  putDword(bytes, 132, 1);
  putDword(bytes, 140, length);
  putDword(bytes, 148, 153);
  std::memcpy(bytes.data() + 152, imageBuffer + offset, length);
  return bytes;
}

inline std::vector<std::uint8_t> expectedCommit(std::uint32_t diskId) {
  auto bytes = header(153, 30, kPassThroughCode, diskId);
  bytes[52] = 0x10;
  putDword(bytes, 92, 0x0000000A);
  putDword(bytes, 132, 1);
  putDword(bytes, 148, 153);
  return bytes;
}

inline std::vector<std::uint8_t> expectedIdentify(std::uint32_t diskId) {
  auto bytes = header(4252, 40, kPassThroughCode, diskId);
  bytes[52] = 0x06;
  putDword(bytes, 92, 1);
  putDword(bytes, 132, 2);
  putDword(bytes, 148, 4252);
  std::memset(bytes.data() + 152, 0x55, 4096);
  return bytes;
}

// A driver answer: the status in ReturnCode and completion dword 3.
inline PortRecorder::Answer completeWith(std::uint32_t returnCode, std::uint32_t dword3) {
  return [=](const PortRecorder::Call&, std::uint8_t* out, std::uint32_t&) {
    putDword(out, 20, returnCode);
    putDword(out, 128, dword3);
    return true;
  };
}

// Fills imageBuffer with a pattern in which every dword differs from its
// neighbours' and from the same dword of other pieces, and puts it back
// afterwards.
class PatternedImage {
 public:
  PatternedImage() {
    saved_.assign(imageBuffer, imageBuffer + kImageSize);
    for (std::uint32_t i = 0; i < kImageSize; ++i)
      imageBuffer[i] = static_cast<std::uint8_t>((i * 131u) ^ (i >> 8) ^ (i >> 16));
  }
  ~PatternedImage() { std::memcpy(imageBuffer, saved_.data(), kImageSize); }
  PatternedImage(const PatternedImage&) = delete;
  PatternedImage& operator=(const PatternedImage&) = delete;

 private:
  std::vector<std::uint8_t> saved_;
};

}  // namespace koa::test::vroc
