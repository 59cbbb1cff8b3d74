#include <cstdint>

#include "discovery/device_property.h"

namespace koa {

// The conversion MultiByteToWideChar(CP_UTF8) performs: a malformed sequence
// becomes U+FFFD, characters above the BMP become surrogate pairs.
std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::uint32_t code = 0;
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
      code = lead, length = 1, minimum = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      code = lead & 0x1Fu, length = 2, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      code = lead & 0x0Fu, length = 3, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      code = lead & 0x07u, length = 4, minimum = 0x10000;
    } else {
      wide.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    std::size_t used = 1;
    while (used < length && i + used < text.size() &&
           (static_cast<unsigned char>(text[i + used]) & 0xC0) == 0x80) {
      code = (code << 6) | (static_cast<unsigned char>(text[i + used]) & 0x3Fu);
      ++used;
    }
    if (used < length || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      wide.push_back(u'\uFFFD');
      i += used;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(code));
    }
    i += used;
  }
  return wide;
}

}  // namespace koa
