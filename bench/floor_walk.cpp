#include "bench/floor_walk.h"

#include <algorithm>
#include <cstring>

#include <benchmark/benchmark.h>

#include "transfer/firmware_image.h"

namespace koa::bench {

std::uint32_t floorWalk(std::uint8_t* buffer, std::size_t dataOffset, std::size_t requestOverhead,
                        std::uint32_t pieceSize) {
  std::uint32_t pieces = 0;
  for (std::uint32_t offset = 0; offset < kImageSize; ++pieces) {
    const std::uint32_t length = std::min(pieceSize, kImageSize - offset);
    std::memset(buffer, 0, requestOverhead + length);
    std::memcpy(buffer + dataOffset, imageBuffer + offset, length);
    // The request is complete here; a path would hand it to the driver.
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
    offset += length;
  }
  return pieces;
}

}  // namespace koa::bench
