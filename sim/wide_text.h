// UTF-8 and UTF-16 for the simulated machine's texts (identifiers in the
// description are UTF-8; the platform speaks UTF-16).
#pragma once

#include <string>
#include <string_view>

namespace koa::sim {

[[nodiscard]] std::u16string toUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
[[nodiscard]] std::string toUtf8(std::u16string_view utf16);
// A NUL-terminated wide string up to its NUL (empty for null).
[[nodiscard]] std::u16string fromWideZ(const char16_t* text);
// ASCII letters folded to lower case, as Windows compares device paths.
[[nodiscard]] std::u16string foldCase(std::u16string_view text);

}  // namespace koa::sim
