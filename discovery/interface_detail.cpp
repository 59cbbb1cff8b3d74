#include "discovery/interface_detail.h"

#include <cstring>
#include <new>

#include "transfer/byte_order.h"

namespace koa {

std::u16string detailPath(const std::uint8_t* detail, std::uint32_t size) {
  std::u16string path;
  for (std::size_t i = kInterfaceDetailPathOffset; i + 1 < size; i += 2) {
    char16_t unit = 0;
    std::memcpy(&unit, detail + i, sizeof unit);
    if (unit == u'\0') break;
    path.push_back(unit);
  }
  return path;
}

std::optional<InterfaceDetail> readInterfaceDetail(DevInfoSet set, const SpDeviceInterfaceData& interface) {
  Platform& platform = currentPlatform();
  std::uint32_t requiredSize = 0;
  if (platform.SetupDiGetDeviceInterfaceDetailW(set, &interface, /*detail=*/nullptr, /*detailSize=*/0,
                                                &requiredSize, /*deviceInfoData=*/nullptr))
    return std::nullopt;

  InterfaceDetail result;
  result.device.cbSize = sizeof(SpDevInfoData);
  std::unique_ptr<std::uint8_t[]> detail;
  std::uint32_t detailSize = 0;
  bool read = false;
  while (!read && platform.GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // The buffer must at least hold cbSize; a platform naming less is broken.
    if (requiredSize < kInterfaceDetailPathOffset) return std::nullopt;
    detailSize = requiredSize;
    detail.reset(new (std::nothrow) std::uint8_t[detailSize]());
    if (!detail) return std::nullopt;
    put32(detail.get(), 0, kInterfaceDetailCbSize);
    read = platform.SetupDiGetDeviceInterfaceDetailW(set, &interface, detail.get(), detailSize, &requiredSize,
                                                     &result.device);
  }
  if (!read) return std::nullopt;
  result.devicePath = detailPath(detail.get(), detailSize);
  return result;
}

}  // namespace koa
