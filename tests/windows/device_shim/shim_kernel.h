// The kernel interface as the device shim sees it: mingw-w64's DDK headers,
// and the little the shim needs on top of them. The shim is a driver loaded
// by Wine's winedevice.exe; it has no C or C++ runtime, so everything here
// is freestanding: no exceptions, no RTTI, no static constructors, no
// operator new (memory comes from ExAllocatePool).
#pragma once

// mingw-w64's wdm.h declares InterlockedBitTestAndSet and ...Reset again
// after <intrin.h> defined them; C accepts that, C++ does not. Marking the
// intrinsic versions as already defined leaves wdm.h's own.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>

#include <cstdint>

namespace koa::shim {

inline constexpr ULONG kPoolTag = 0x6D69684Bu;  // "Khim"

// A line of text for the model and for DbgPrint (WINEDEBUG=warn+debugstr):
// ASCII, wide text and numbers appended into a fixed buffer, cut when full.
class Message {
 public:
  Message& add(const char* text) {
    while (*text != 0) put(static_cast<WCHAR>(static_cast<unsigned char>(*text++)));
    return *this;
  }
  Message& add(const WCHAR* text, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) put(text[i]);
    return *this;
  }
  Message& add(const UNICODE_STRING& text) { return add(text.Buffer, text.Length / sizeof(WCHAR)); }
  Message& number(std::uint32_t value) {
    char digits[10];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count > 0) put(static_cast<WCHAR>(digits[--count]));
    return *this;
  }
  Message& hex(std::uint32_t value) {
    add("0x");
    for (int shift = 28; shift >= 0; shift -= 4) put(static_cast<WCHAR>("0123456789ABCDEF"[(value >> shift) & 0xF]));
    return *this;
  }
  [[nodiscard]] const WCHAR* text() const { return text_; }
  [[nodiscard]] std::uint32_t length() const { return length_; }

 private:
  void put(WCHAR c) {
    if (length_ + 1 < kCapacity) {
      text_[length_++] = c;
      text_[length_] = 0;
    }
  }
  static constexpr std::uint32_t kCapacity = 320;
  WCHAR text_[kCapacity] = {};
  std::uint32_t length_ = 0;
};

}  // namespace koa::shim
