// Wide text as bytes for standard output and for file names.
#pragma once

#include <string>
#include <string_view>

namespace koa {

// UTF-16 to UTF-8. A surrogate pair becomes its 4-byte character; a surrogate
// that is not part of a pair becomes "?". Every other unit, including those
// that drive identify strings widen from bytes 0x80 to 0xFF (U+FF80 to
// U+FFFF), becomes its UTF-8 encoding. Never fails.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace koa
