// Little-endian fields and hex text for the simulated machine. The
// simulator keeps its own helpers so that it never shares a mistake with the
// request builders it checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace koa::sim {

[[nodiscard]] inline std::uint8_t le8(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return bytes[offset];
}
[[nodiscard]] inline std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}
[[nodiscard]] inline std::uint32_t le32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
  return value;
}
[[nodiscard]] inline std::uint64_t le64(std::span<const std::uint8_t> bytes, std::size_t offset) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 8; ++i) value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
  return value;
}

inline void setLe8(std::span<std::uint8_t> bytes, std::size_t offset, std::uint8_t value) { bytes[offset] = value; }
inline void setLe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  for (std::size_t i = 0; i < 2; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void setLe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void setLe64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value) {
  for (std::size_t i = 0; i < 8; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Whether bytes [from, to) are all zero: the fields a request must leave
// empty.
[[nodiscard]] inline bool allZero(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

// Text written into a fixed-width field, padded with `pad` (NVMe identify
// strings are padded with blanks); longer text is cut to the width.
void setText(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t width, std::string_view text,
             std::uint8_t pad);

// Lower-case hex, two digits a byte, no separators.
[[nodiscard]] std::string toHex(std::span<const std::uint8_t> bytes);
// Hex text (either case, even length, no separators) as bytes; nullopt when
// it is not that.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text);

}  // namespace koa::sim
