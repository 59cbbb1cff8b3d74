// Fixed-width little-endian fields in request buffers. Reads of driver
// answers are bounds-checked by the caller through RequestBuffer::holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace koa {

inline void put8(std::uint8_t* buffer, std::size_t offset, std::uint8_t value) { buffer[offset] = value; }

inline void put16(std::uint8_t* buffer, std::size_t offset, std::uint16_t value) {
  buffer[offset] = static_cast<std::uint8_t>(value);
  buffer[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void put32(std::uint8_t* buffer, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) buffer[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void put64(std::uint8_t* buffer, std::size_t offset, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) buffer[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Copies exactly `length` bytes; used for signatures, which carry no NUL of
// their own unless the layout says so.
inline void putBytes(std::uint8_t* buffer, std::size_t offset, const void* bytes, std::size_t length) {
  std::memcpy(buffer + offset, bytes, length);
}

inline std::uint8_t get8(const std::uint8_t* buffer, std::size_t offset) { return buffer[offset]; }

inline std::uint16_t get16(const std::uint8_t* buffer, std::size_t offset) {
  return static_cast<std::uint16_t>(buffer[offset] | (buffer[offset + 1] << 8));
}

inline std::uint32_t get32(const std::uint8_t* buffer, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | buffer[offset + i];
  return value;
}

inline std::uint64_t get64(const std::uint8_t* buffer, std::size_t offset) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | buffer[offset + i];
  return value;
}

}  // namespace koa
