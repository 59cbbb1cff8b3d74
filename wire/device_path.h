// The device names the system builds itself rather than takes from SetupAPI:
// the physical drive an inbox disk is reached by, and the SCSI ports on which
// the VROC driver is looked for and reached.
#pragma once

#include <cstdint>
#include <string>

namespace koa {

inline constexpr std::int32_t kFirstVrocPort = 0;
inline constexpr std::int32_t kLastVrocPort = 15;

// "\\.\PHYSICALDRIVE" followed by the device number in signed decimal.
[[nodiscard]] std::u16string physicalDrivePath(std::int32_t deviceNumber);

// "\\.\Scsi" followed by the port number in signed decimal and a colon.
[[nodiscard]] std::u16string vrocPortPath(std::int32_t port);

}  // namespace koa
