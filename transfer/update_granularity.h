// The firmware update granularity a drive is given, from its NVMe Identify
// Controller data. The inbox and the IRST identify queries both use this rule.
#pragma once

#include <cstdint>

namespace koa {

// FWUG 0 and FWUG 0xFF both give 1: 0 means the drive states nothing and
// 0xFF is the NVMe base specification's mark for "no restriction", not 255
// units of 4 KiB. FWUG exists from version 1.3 on; versions are compared as
// versions, so 2.0 and later count as at least 1.3.
[[nodiscard]] constexpr std::int32_t updateGranularityFor(std::uint16_t majorVersion,
                                                          std::uint8_t minorVersion,
                                                          std::uint8_t fwug) {
  const bool reportsFwug = majorVersion > 1 || (majorVersion == 1 && minorVersion >= 3);
  if (!reportsFwug || fwug == 0 || fwug == 0xFF) return 1;
  return fwug;
}

}  // namespace koa
