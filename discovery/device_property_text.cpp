#include "discovery/device_property_text.h"

#include <cstring>
#include <memory>
#include <new>

namespace koa {

std::optional<std::u16string> readDevicePropertyText(DevInfoSet set, const SpDevInfoData& device,
                                                     const DevPropKey& key) {
  Platform& platform = currentPlatform();
  std::uint32_t propertyType = 0;
  std::uint32_t requiredSize = 0;
  if (platform.SetupDiGetDevicePropertyW(set, &device, &key, &propertyType, /*propertyBuffer=*/nullptr,
                                         /*propertyBufferSize=*/0, &requiredSize, /*flags=*/0))
    return std::nullopt;

  std::unique_ptr<std::uint8_t[]> buffer;
  std::uint32_t bufferSize = 0;
  bool read = false;
  while (!read && platform.GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // A platform that asks for more while naming no size would loop forever.
    if (requiredSize == 0) return std::nullopt;
    bufferSize = requiredSize * 2;
    buffer.reset(new (std::nothrow) std::uint8_t[bufferSize]());
    if (!buffer) return std::nullopt;
    read = platform.SetupDiGetDevicePropertyW(set, &device, &key, &propertyType, buffer.get(), bufferSize,
                                              &requiredSize, /*flags=*/0);
  }
  if (!read) return std::nullopt;

  std::u16string text;
  for (std::uint32_t i = 0; i + 1 < bufferSize; i += 2) {
    char16_t unit = 0;
    std::memcpy(&unit, buffer.get() + i, sizeof unit);
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace koa
