// Reading device identifiers through SetupAPI.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace koa {

// Reads a unified device property as wide text, growing the buffer while the
// platform answers ERROR_INSUFFICIENT_BUFFER. True when a value was read and
// stored in out; false otherwise, out then keeps what it held.
bool readDeviceProperty(DevInfoSet set, const SpDevInfoData& device, const DevPropKey& key,
                        std::u16string& out);

// UTF-8 to UTF-16 (MultiByteToWideChar with CP_UTF8).
std::u16string utf8ToUtf16(std::string_view text);

}  // namespace koa
