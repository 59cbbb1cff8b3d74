// How numbers are spelled in console and log text. The texts are fixed
// character for character, digits included, so each function gives exactly
// the characters of the printf conversion it is named for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace koa {

// %x / stream hex: lower case, no leading zeros.
inline std::string hexLower(std::uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

// %X: upper case, no leading zeros.
inline std::string hexUpper(std::uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
  return text;
}

// %08x: lower case, zero-padded to 8 digits.
inline std::string hex08(std::uint32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
  return text;
}

// %d / %lu / stream decimal.
inline std::string decimal(std::int64_t value) { return std::to_string(value); }

// ASCII text as UTF-16, one unit per byte (zero extension).
inline std::u16string widen(const std::string& ascii) {
  std::u16string wide;
  wide.reserve(ascii.size());
  for (unsigned char c : ascii) wide.push_back(static_cast<char16_t>(c));
  return wide;
}

}  // namespace koa
