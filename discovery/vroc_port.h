// The SCSI port paths on which the VROC driver is looked for and reached.
#pragma once

#include <cstdint>
#include <string>

#include "report/number_text.h"

namespace koa {

inline constexpr std::int32_t kFirstVrocPort = 0;
inline constexpr std::int32_t kLastVrocPort = 15;

// "\\.\Scsi" followed by the port number in signed decimal and a colon.
inline std::u16string vrocPortPath(std::int32_t port) {
  return u"\\\\.\\Scsi" + widen(decimal(port)) + u":";
}

}  // namespace koa
