#include "report/log_file.h"

#include <fstream>
#include <type_traits>

#include "report/utf16_to_utf8.h"

namespace koa {

std::filesystem::path pathFromUtf16(std::u16string_view text) {
  using Native = std::filesystem::path::value_type;
  if constexpr (sizeof(Native) == sizeof(char16_t)) {
    // Windows: the path is UTF-16 already; no conversion that could throw.
    return std::filesystem::path(std::basic_string<Native>(text.begin(), text.end()));
  } else {
    return std::filesystem::path(utf16ToUtf8(text));
  }
}

std::string lowBytes(std::u16string_view text) {
  std::string narrow(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(text[i] & 0xFF);
  return narrow;
}

bool replaceFileText(std::u16string_view path, std::string_view text) {
  // Text mode on purpose: the Windows runtime turns "\n" into CR LF.
  std::ofstream file(pathFromUtf16(path), std::ios::out | std::ios::trunc);
  if (!file.is_open()) return false;
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  return !file.fail();
}

}  // namespace koa
