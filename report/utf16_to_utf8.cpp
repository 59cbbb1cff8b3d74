#include "report/utf16_to_utf8.h"

#include <cstdint>

namespace koa {
namespace {

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendUtf8(std::string& out, std::uint32_t code) {
  const auto byte = [&out](std::uint32_t value) { out.push_back(static_cast<char>(value)); };
  if (code < 0x80) {
    byte(code);
  } else if (code < 0x800) {
    byte(0xC0 | (code >> 6));
    byte(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    byte(0xE0 | (code >> 12));
    byte(0x80 | ((code >> 6) & 0x3F));
    byte(0x80 | (code & 0x3F));
  } else {
    byte(0xF0 | (code >> 18));
    byte(0x80 | ((code >> 12) & 0x3F));
    byte(0x80 | ((code >> 6) & 0x3F));
    byte(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      const std::uint32_t code =
          0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      appendUtf8(out, code);
      ++i;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      out.push_back('?');
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace koa
