// A unified device property read as the raw wide text the platform hands
// back (the controller's driver description, a disk's location text).
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace koa {

// Asks with no buffer; while the platform answers ERROR_INSUFFICIENT_BUFFER,
// asks again with a zero-filled buffer of twice the reported size. The text
// runs to the first NUL character (or the end of the buffer). nullopt when
// no buffer was ever filled: the property is missing, the first call
// succeeded with no buffer, the last call failed, or memory ran out.
std::optional<std::u16string> readDevicePropertyText(DevInfoSet set, const SpDevInfoData& device,
                                                     const DevPropKey& key);

// Whether text contains part, unit by unit (case-sensitive).
[[nodiscard]] inline bool contains(const std::u16string& text, std::u16string_view part) {
  return text.find(part) != std::u16string::npos;
}

}  // namespace koa
