// SHA-256 (FIPS 180-4), to fingerprint what each simulated drive received
// and committed without keeping the images.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace koa::sim {

class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;

  Sha256();
  void update(std::span<const std::uint8_t> bytes);
  // The digest of everything given so far; the object can go on hashing.
  [[nodiscard]] Digest digest() const;

 private:
  void compress(const std::uint8_t* block);
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> block_{};
  std::size_t blockLength_ = 0;
  std::uint64_t totalLength_ = 0;
};

[[nodiscard]] Sha256::Digest sha256(std::span<const std::uint8_t> bytes);
[[nodiscard]] std::string sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace koa::sim
