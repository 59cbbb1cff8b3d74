// Reading device identifiers and texts through SetupAPI's unified device
// properties.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "discovery/growing_read.h"
#include "platform/platform.h"

namespace koa {

// The raw bytes of a unified device property, read by rule.
[[nodiscard]] std::optional<GrowingBuffer> readDevicePropertyBytes(DevInfoSet set, const SpDevInfoData& device,
                                                                   const DevPropKey& key,
                                                                   const GrowingRule& rule);

// Reads a unified device property as wide text, growing the buffer while the
// platform answers ERROR_INSUFFICIENT_BUFFER (twice the reported size each
// time, while the size grows). The text goes through the narrow buffer of its
// key and back, so a value is cut to that buffer and a character above 0xFF
// empties it. True when a value was read and stored in out; false otherwise,
// out then keeps what it held.
bool readDeviceProperty(DevInfoSet set, const SpDevInfoData& device, const DevPropKey& key,
                        std::u16string& out);

// A unified device property read as the raw wide text the platform hands
// back (the controller's driver description, a disk's location text): asks
// with no buffer; while the platform answers ERROR_INSUFFICIENT_BUFFER, asks
// again with a zero-filled buffer of twice the reported size. The text runs
// to the first NUL character (or the end of the buffer). nullopt when no
// buffer was ever filled: the property is missing, the first call succeeded
// with no buffer, the size named is 0 or too large to double, the last call
// failed, or memory ran out.
std::optional<std::u16string> readDevicePropertyText(DevInfoSet set, const SpDevInfoData& device,
                                                     const DevPropKey& key);

// Whether text contains part, unit by unit (case-sensitive).
[[nodiscard]] inline bool contains(const std::u16string& text, std::u16string_view part) {
  return text.find(part) != std::u16string::npos;
}

// UTF-8 to UTF-16 (MultiByteToWideChar with CP_UTF8).
std::u16string utf8ToUtf16(std::string_view text);

}  // namespace koa
