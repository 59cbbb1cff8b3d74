#include "discovery/device_property.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

namespace koa {
namespace {

// The narrow buffers of the round trip: the parent's instance identifier
// gets more room than the other identifiers.
constexpr std::size_t kParentNarrowBufferLength = 356;
constexpr std::size_t kNarrowBufferLength = 256;
constexpr std::size_t kMaxConvertedCharacters = 256;

// Identifiers end the read when the platform names no larger size again;
// texts are asked for again whatever size it names, but a size of 0 ends it.
constexpr GrowingRule kIdentifierRule{GrowingRule::Allocation::TwiceReportedSize,
                                      GrowingRule::Retry::WhileTheSizeGrows};
constexpr GrowingRule kTextRule{GrowingRule::Allocation::TwiceReportedSize,
                                GrowingRule::Retry::WhileInsufficient, /*minimumSize=*/1};

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

std::optional<GrowingBuffer> readDevicePropertyBytes(DevInfoSet set, const SpDevInfoData& device,
                                                     const DevPropKey& key, const GrowingRule& rule) {
  Platform& platform = currentPlatform();
  std::uint32_t propertyType = 0;
  return readGrowing(rule, [&](std::uint8_t* buffer, std::uint32_t size, std::uint32_t* required) {
    return platform.SetupDiGetDevicePropertyW(set, &device, &key, &propertyType, buffer, size, required,
                                              /*flags=*/0);
  });
}

bool readDeviceProperty(DevInfoSet set, const SpDevInfoData& device, const DevPropKey& key,
                        std::u16string& out) {
  const std::optional<GrowingBuffer> buffer = readDevicePropertyBytes(set, device, key, kIdentifierRule);
  if (!buffer) return false;

  const std::size_t units = buffer->size / sizeof(char16_t);
  auto text = std::make_unique<char16_t[]>(units + 1);
  for (std::size_t i = 0; i < units; ++i) text[i] = static_cast<char16_t>(get16(buffer->bytes.get(), 2 * i));
  const std::size_t narrowLength =
      sameKey(key, DEVPKEY_Device_Parent) ? kParentNarrowBufferLength : kNarrowBufferLength;
  out = utf8ToUtf16(toNarrow(text.get(), units, narrowLength));
  return true;
}

std::optional<std::u16string> readDevicePropertyText(DevInfoSet set, const SpDevInfoData& device,
                                                     const DevPropKey& key) {
  const std::optional<GrowingBuffer> buffer = readDevicePropertyBytes(set, device, key, kTextRule);
  if (!buffer) return std::nullopt;
  return textUntilNul(*buffer, 0);
}

}  // namespace koa
