#include <gtest/gtest.h>

#include <vector>

#include "wire/piece_walk.h"

namespace koa {
namespace {

std::vector<Piece> walk(std::int32_t granularity, std::uint32_t imageSize = kImageSize) {
  std::vector<Piece> pieces;
  EXPECT_TRUE(walkPieces(imageSize, pieceSizeFor(granularity), [&](Piece piece) {
    pieces.push_back(piece);
    return true;
  }));
  return pieces;
}

// Every byte of the image exactly once, in order, nothing outside it.
void expectExactCover(const std::vector<Piece>& pieces, std::uint32_t pieceSize) {
  std::uint32_t next = 0;
  for (const Piece& piece : pieces) {
    ASSERT_EQ(piece.offset, next);
    ASSERT_EQ(piece.offset % pieceSize, 0u);
    ASSERT_GT(piece.length, 0u);
    ASSERT_LE(piece.length, pieceSize);
    ASSERT_EQ(piece.length % 4, 0u);  // whole dwords for the NVMe fields
    next = piece.offset + piece.length;
  }
  EXPECT_EQ(next, kImageSize);
}

TEST(PieceWalk, PieceSizeIsGranularityTimes4096) {
  EXPECT_EQ(pieceSizeFor(1), 4096u);
  EXPECT_EQ(pieceSizeFor(8), 32768u);
  EXPECT_EQ(pieceSizeFor(255), 1044480u);
}

TEST(PieceWalk, Granularity1Gives512PiecesLastAt2093056) {
  const auto pieces = walk(1);
  ASSERT_EQ(pieces.size(), 512u);
  EXPECT_EQ(pieces.back().offset, 2093056u);
  EXPECT_EQ(pieces.back().length, 4096u);
  expectExactCover(pieces, 4096);
}

TEST(PieceWalk, PowerOfTwoGranularitiesGiveWholePieces) {
  const auto eight = walk(8);
  ASSERT_EQ(eight.size(), 64u);
  for (const Piece& piece : eight) EXPECT_EQ(piece.length, 32768u);
  expectExactCover(eight, 32768);

  const auto large = walk(128);
  ASSERT_EQ(large.size(), 4u);
  EXPECT_EQ(large[3].offset, 3u * 524288u);
  for (const Piece& piece : large) EXPECT_EQ(piece.length, 524288u);
}

TEST(PieceWalk, Granularity3EndsWithAShorterPiece) {
  const auto pieces = walk(3);
  // 2,097,152 = 170 * 12,288 + 8,192
  ASSERT_EQ(pieces.size(), 171u);
  EXPECT_EQ(pieces[169].length, 12288u);
  EXPECT_EQ(pieces.back().offset, 170u * 12288u);
  EXPECT_EQ(pieces.back().length, 8192u);
  expectExactCover(pieces, 12288);
}

TEST(PieceWalk, Granularity255EndsWithAShorterPiece) {
  const auto pieces = walk(255);
  // 2,097,152 = 2 * 1,044,480 + 8,192
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].length, 1044480u);
  EXPECT_EQ(pieces[1].offset, 1044480u);
  EXPECT_EQ(pieces[2].offset, 2088960u);
  EXPECT_EQ(pieces[2].length, 8192u);
  expectExactCover(pieces, 1044480);
}

TEST(PieceWalk, AFailedPieceStopsTheWalk) {
  std::vector<std::uint32_t> offsets;
  const bool done = walkPieces(kImageSize, pieceSizeFor(1), [&](Piece piece) {
    offsets.push_back(piece.offset);
    return offsets.size() < 3;
  });
  EXPECT_FALSE(done);
  EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0, 4096, 8192}));
}

TEST(PieceWalk, FirstPieceFailingSendsNothingElse) {
  int calls = 0;
  EXPECT_FALSE(walkPieces(kImageSize, pieceSizeFor(8), [&](Piece) { return ++calls, false; }));
  EXPECT_EQ(calls, 1);
}

TEST(PieceWalk, NeverReadsPastTheImage) {
  // An imageSize above the buffer is held to the buffer.
  std::uint32_t end = 0;
  EXPECT_TRUE(walkPieces(kImageSize + 4096, pieceSizeFor(1), [&](Piece piece) {
    end = piece.offset + piece.length;
    return true;
  }));
  EXPECT_EQ(end, kImageSize);
}

TEST(PieceWalk, ZeroPieceSizeFailsWithoutSending) {
  int calls = 0;
  EXPECT_FALSE(walkPieces(kImageSize, 0, [&](Piece) { return ++calls, true; }));
  EXPECT_EQ(calls, 0);
}

TEST(PieceWalk, EmptyImageSendsNothingAndSucceeds) {
  int calls = 0;
  EXPECT_TRUE(walkPieces(0, pieceSizeFor(1), [&](Piece) { return ++calls, true; }));
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace koa
