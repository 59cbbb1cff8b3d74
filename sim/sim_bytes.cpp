#include "sim/sim_bytes.h"

namespace koa::sim {

void setText(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t width, std::string_view text,
             std::uint8_t pad) {
  for (std::size_t i = 0; i < width; ++i)
    bytes[offset + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : pad;
}

std::string toHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  // Sized once and written in place: a traced run dumps every request, two
  // digits a byte, and push_back's capacity check per digit dominated it.
  std::string text(bytes.size() * 2, '\0');
  char* out = text.data();
  for (std::uint8_t byte : bytes) {
    *out++ = kDigits[byte >> 4];
    *out++ = kDigits[byte & 0xF];
  }
  return text;
}

namespace {
int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = hexDigit(text[i]);
    const int low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

}  // namespace koa::sim
