#include "sim/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_bytes.h"

namespace koa::sim {
namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Sha256, KnownAnswersOfFips180) {
  EXPECT_EQ(sha256Hex(bytesOf("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex(bytesOf("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex(bytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256Hex(bytesOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopq"
                              "rlmnopqrsmnopqrstnopqrstu")),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
}

TEST(Sha256, AMillionLettersFedInUnevenPieces) {
  const std::string piece(997, 'a');
  Sha256 hash;
  std::size_t fed = 0;
  while (fed + piece.size() <= 1000000) {
    hash.update(bytesOf(piece));
    fed += piece.size();
  }
  hash.update(bytesOf(std::string(1000000 - fed, 'a')));
  EXPECT_EQ(toHex(hash.digest()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PaddingBoundariesGiveTheSameDigestWhateverTheSplit) {
  // 55, 56 and 64 bytes are where the length field moves to a second block.
  for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u}) {
    std::vector<std::uint8_t> data(length);
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const auto whole = sha256(data);
    for (std::size_t split = 0; split <= length; ++split) {
      Sha256 hash;
      hash.update(std::span(data).first(split));
      hash.update(std::span(data).subspan(split));
      ASSERT_EQ(hash.digest(), whole) << "length " << length << " split " << split;
    }
  }
  // 56 bytes of 'a' (one known answer at the boundary).
  EXPECT_EQ(sha256Hex(bytesOf(std::string(56, 'a'))),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
}

TEST(Sha256, DigestCanBeTakenWhileHashingGoesOn) {
  Sha256 hash;
  hash.update(bytesOf("ab"));
  (void)hash.digest();
  hash.update(bytesOf("c"));
  EXPECT_EQ(toHex(hash.digest()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace koa::sim
