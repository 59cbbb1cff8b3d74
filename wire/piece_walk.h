// How every transfer path cuts the image into download pieces.
//
// A piece is pieceSize bytes (granularity times 4096) at a multiple of
// pieceSize. When pieceSize does not divide the image (a granularity that is
// not a power of two, such as 3 or 255) the last piece is shorter, so that
// exactly the whole image is sent and no byte outside it is read.
// Offsets and lengths stay multiples of 4 because the image length is.
#pragma once

#include <cstdint>

namespace koa {

// Every path sends exactly this many image bytes: the image's whole length.
inline constexpr std::uint32_t kImageSize = 0x200000;

struct Piece {
  std::uint32_t offset;
  std::uint32_t length;
};

// updateGranularity shifted left by 12 bits.
inline std::uint32_t pieceSizeFor(std::int32_t updateGranularity) {
  return static_cast<std::uint32_t>(updateGranularity) << 12;
}

// Calls send(piece) for each piece of the image's [0, imageSize) in order and
// stops at the first that returns false. imageSize is bounded by kImageSize.
// Returns true when every piece was sent (also when there was none); false
// when one failed or pieceSize is 0.
template <class Send>
bool walkPieces(std::uint32_t imageSize, std::uint32_t pieceSize, Send&& send) {
  if (pieceSize == 0) return false;
  const std::uint32_t end = imageSize < kImageSize ? imageSize : kImageSize;
  for (std::uint32_t offset = 0; offset < end;) {
    const std::uint32_t remaining = end - offset;
    const Piece piece{offset, remaining < pieceSize ? remaining : pieceSize};
    if (!send(piece)) return false;
    offset += piece.length;
  }
  return true;
}

}  // namespace koa
