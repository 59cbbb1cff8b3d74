// Little-endian fields of request and answer bytes as the tests read and
// write them. Written here independently of the system's byte helpers
// (wire/byte_order.h), so that a test never checks the code with itself.
// Every read is bounds-checked: a field past the end throws instead of
// reading what happens to lie there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace koa::test {

inline void requireBytes(std::size_t size, std::size_t offset, std::size_t length) {
  if (offset > size || length > size - offset) throw std::out_of_range("field past the end of the bytes");
}

// The width-byte little-endian value at offset.
inline std::uint64_t le(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
  requireBytes(bytes.size(), offset, width);
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = value << 8 | bytes[offset + i];
  return value;
}
inline std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(le(bytes, offset, 2));
}
inline std::uint32_t le32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(le(bytes, offset, 4));
}
inline std::uint64_t le64(std::span<const std::uint8_t> bytes, std::size_t offset) { return le(bytes, offset, 8); }

// Writes value as width little-endian bytes at offset.
inline void putLe(std::uint8_t* bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void putLe(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
  requireBytes(bytes.size(), offset, width);
  putLe(bytes.data(), offset, value, width);
}
inline void putLe32(std::uint8_t* bytes, std::size_t offset, std::uint32_t value) { putLe(bytes, offset, value, 4); }
inline void putLe32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  putLe(bytes, offset, value, 4);
}

// length bytes from offset as they are, NUL bytes included.
inline std::string ascii(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t length) {
  requireBytes(bytes.size(), offset, length);
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                     bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

// Writes text's bytes from offset, without a terminator.
inline void putAscii(std::uint8_t* bytes, std::size_t offset, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) bytes[offset + i] = static_cast<std::uint8_t>(text[i]);
}

// Writes text's UTF-16 code units little-endian from offset 0, then a NUL.
inline void putUtf16(std::uint8_t* bytes, std::u16string_view text) {
  for (std::size_t i = 0; i <= text.size(); ++i) putLe(bytes, 2 * i, i < text.size() ? text[i] : 0, 2);
}

// Offsets of the bytes in [from, to) that are not zero.
inline std::vector<std::size_t> nonZeroBetween(std::span<const std::uint8_t> bytes, std::size_t from,
                                               std::size_t to) {
  requireBytes(bytes.size(), from, to - from);
  std::vector<std::size_t> offsets;
  for (std::size_t i = from; i < to; ++i)
    if (bytes[i] != 0) offsets.push_back(i);
  return offsets;
}

}  // namespace koa::test
