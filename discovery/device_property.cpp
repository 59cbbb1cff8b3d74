#include "discovery/device_property.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

namespace koa {
namespace {

// The narrow buffers of the round trip: the parent's instance identifier
// gets more room than the other identifiers.
constexpr std::size_t kParentNarrowBufferLength = 356;
constexpr std::size_t kNarrowBufferLength = 256;
constexpr std::size_t kMaxConvertedCharacters = 256;

// wcstombs_s in the runtime's default "C" locale, with the count limited to
// kMaxConvertedCharacters and the text cut to fit the buffer with its
// terminator: characters up to 0xFF become one byte each; a character above
// 0xFF cannot be converted and leaves the buffer empty.
std::string toNarrow(const char16_t* text, std::size_t maxUnits, std::size_t bufferLength) {
  std::string narrow;
  const std::size_t limit = std::min(kMaxConvertedCharacters, bufferLength - 1);
  for (std::size_t i = 0; i < maxUnits && text[i] != 0 && narrow.size() < limit; ++i) {
    if (text[i] > 0xFF) return {};
    narrow.push_back(static_cast<char>(text[i]));
  }
  return narrow;
}

bool sameKey(const DevPropKey& a, const DevPropKey& b) { return a.fmtid == b.fmtid && a.pid == b.pid; }

}  // namespace

bool readDeviceProperty(DevInfoSet set, const SpDevInfoData& device, const DevPropKey& key,
                        std::u16string& out) {
  Platform& platform = currentPlatform();
  std::uint32_t propertyType = 0;
  std::uint32_t required = 0;
  if (platform.SetupDiGetDevicePropertyW(set, &device, &key, &propertyType, /*propertyBuffer=*/nullptr,
                                         /*propertyBufferSize=*/0, &required, /*flags=*/0))
    return false;

  std::unique_ptr<std::uint8_t[]> buffer;
  std::uint32_t bufferSize = 0;
  bool read = false;
  while (!read && platform.GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // A platform that asks again for no more than it was given would keep
    // this loop going for ever.
    if (buffer && required <= bufferSize) return false;
    // Twice the reported size, as the Windows code this mirrors asked for.
    const std::uint64_t doubled = std::uint64_t{required} * 2;
    if (doubled > UINT32_MAX) return false;
    bufferSize = static_cast<std::uint32_t>(doubled);
    buffer.reset(new (std::nothrow) std::uint8_t[bufferSize]());
    if (!buffer) return false;
    read = platform.SetupDiGetDevicePropertyW(set, &device, &key, &propertyType, buffer.get(), bufferSize,
                                              &required, /*flags=*/0);
  }
  // A buffer whose read then failed for another reason holds no value: it is
  // not reported as one.
  if (!read) return false;

  const std::size_t units = bufferSize / sizeof(char16_t);
  auto text = std::make_unique<char16_t[]>(units + 1);
  for (std::size_t i = 0; i < units; ++i)
    text[i] = static_cast<char16_t>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
  const std::size_t narrowLength =
      sameKey(key, DEVPKEY_Device_Parent) ? kParentNarrowBufferLength : kNarrowBufferLength;
  out = utf8ToUtf16(toNarrow(text.get(), units, narrowLength));
  return true;
}

}  // namespace koa
