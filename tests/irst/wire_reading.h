// Reading request bytes in the IRST tests, independent of the builders'
// helpers so that a shared mistake cannot hide.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace koa::test {

inline std::uint32_t le32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes.at(offset)) | static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8 |
         static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16 |
         static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24;
}

inline std::uint64_t le64At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return le32At(bytes, offset) | static_cast<std::uint64_t>(le32At(bytes, offset + 4)) << 32;
}

inline std::string textAt(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t length) {
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                     bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

inline void setLe32At(std::uint8_t* bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Offsets of the bytes in [from, to) that are not zero.
inline std::vector<std::size_t> nonZeroBetween(const std::vector<std::uint8_t>& bytes, std::size_t from,
                                               std::size_t to) {
  std::vector<std::size_t> offsets;
  for (std::size_t i = from; i < to; ++i)
    if (bytes.at(i) != 0) offsets.push_back(i);
  return offsets;
}

}  // namespace koa::test
