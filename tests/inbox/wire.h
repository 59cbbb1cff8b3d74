// Little-endian reads of recorded request bytes, written independently of
// the system's byte helpers so that a test does not check code with itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace koa::test::inbox {

inline std::uint64_t le(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = value * 256 + bytes.at(offset + i);
  return value;
}

inline void putLe(std::uint8_t* bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::string ascii(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t length) {
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                     bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

// True when every byte in [from, to) is zero.
inline bool zeroFrom(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i)
    if (bytes.at(i) != 0) return false;
  return true;
}

}  // namespace koa::test::inbox
