// Opening the device a transfer path reaches its target through: the drive
// itself on the inbox driver, the controller on IRST, the SCSI port on VROC.
#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_handle.h"

namespace koa {

// Opens path for reading and writing, synchronous, with shareMode (0: no
// other program may talk to the device while a drive behind it takes a new
// image). On failure writes "  [ERROR] Failed to get disk handle: 0x<error>"
// and an empty line on the narrow stream and returns an invalid handle.
[[nodiscard]] UniqueHandle openTargetDevice(const std::u16string& path, std::uint32_t shareMode);

}  // namespace koa
