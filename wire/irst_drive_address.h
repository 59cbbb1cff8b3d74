// The drive address that follows the SRB_IO_CONTROL in the IRST driver's
// requests to a drive behind the controller ("IntelNvm" identify, "IntelFw "
// firmware requests):
//
//   OFFSET SIZE DESCRIPTION
//       28    1 1
//       29    1 the drive's path id (its low byte)
//       30    2 0
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byte_order.h"

namespace koa::irst {

inline constexpr std::size_t kDriveAddressOffset = 28;
inline constexpr std::size_t kDriveAddressLength = 4;
inline constexpr std::uint8_t kDriveAddressFirstByte = 1;
inline constexpr std::size_t kPathIdOffset = 29;

// Writes the address of the drive at pathId; only its low byte reaches the wire.
inline void writeDriveAddress(std::uint8_t* request, std::int64_t pathId) {
  put8(request, kDriveAddressOffset, kDriveAddressFirstByte);
  put8(request, kPathIdOffset, static_cast<std::uint8_t>(pathId & 0xFF));
}

}  // namespace koa::irst
