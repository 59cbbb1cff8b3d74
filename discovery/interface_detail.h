// The device path of a device interface (SP_DEVICE_INTERFACE_DETAIL_DATA_W)
// and the device information element it belongs to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace koa {

struct InterfaceDetail {
  std::u16string devicePath;
  SpDevInfoData device{};  // the element the detail call returned
};

// How each walk asks for a detail; every buffer is exactly the reported size,
// zero-filled, with cbSize 8, and holds at least cbSize.
enum class DetailWalk {
  // The maker's NVMe disks: every call also asks for the element; a size
  // query that must fail, then, while ERROR_INSUFFICIENT_BUFFER and the size
  // named grows, another call.
  InboxDisks,
  // The disks below the Intel controller: a size query without the element
  // that must fail; then, while ERROR_INSUFFICIENT_BUFFER, another call that
  // also asks for the element.
  IntelDisks,
  // The Intel controller probe: the size query (without the element) must
  // name a size and fail only for want of a buffer; one more call, with the
  // element, fills it.
  ControllerProbe,
};

// The detail of interface as walk asks for it; nullopt when no call filled a
// buffer.
std::optional<InterfaceDetail> readInterfaceDetail(DevInfoSet set, const SpDeviceInterfaceData& interface,
                                                   DetailWalk walk);

}  // namespace koa
