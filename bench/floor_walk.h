// The least any transfer path can do per piece: zero-fill a buffer of the
// request's length and copy the piece behind the request's header. The
// paths add the header fields and one I/O control per piece.
#pragma once

#include <cstddef>
#include <cstdint>

namespace koa::bench {

// Walks the whole image in pieces of pieceSize bytes (a shorter last one
// where pieceSize does not divide it): per piece, zero-fills the
// requestOverhead + piece length bytes of the request and copies the piece
// to dataOffset. buffer holds requestOverhead + pieceSize bytes. Returns the
// number of pieces.
std::uint32_t floorWalk(std::uint8_t* buffer, std::size_t dataOffset, std::size_t requestOverhead,
                        std::uint32_t pieceSize);

}  // namespace koa::bench
