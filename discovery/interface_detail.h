// The device path of a device interface (SP_DEVICE_INTERFACE_DETAIL_DATA_W)
// and the device information element it belongs to.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace koa {

struct InterfaceDetail {
  std::u16string devicePath;
  SpDevInfoData device{};  // the element the detail call returned
};

// The path text of a detail buffer of size bytes: UTF-16 from offset 4 to
// the first NUL or the end of the buffer.
std::u16string detailPath(const std::uint8_t* detail, std::uint32_t size);

// The disk-walk rule: a size query that must fail; then, while the platform
// answers ERROR_INSUFFICIENT_BUFFER, a zero-filled buffer of exactly the
// reported size (cbSize 8) and another call that also asks for the element.
// nullopt when the size query succeeds or no call filled a buffer.
std::optional<InterfaceDetail> readInterfaceDetail(DevInfoSet set, const SpDeviceInterfaceData& interface);

}  // namespace koa
