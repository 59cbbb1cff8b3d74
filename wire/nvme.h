// What the system uses of NVMe itself, whichever driver carries it: the admin
// opcodes, the Identify Controller fields (4,096 bytes, as the NVMe base
// specification lays them out) and the firmware update granularity read from
// them.
//
//   OFFSET SIZE FIELD
//        0    2 VID, PCI vendor id
//        4   20 SN, serial number (ASCII, blank padded)
//       24   40 MN, model number
//       64    8 FR, firmware revision
//       80    4 VER: byte 80 tertiary, byte 81 minor, bytes 82-83 major
//      319    1 FWUG, firmware update granularity in 4 KiB units
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byte_order.h"

namespace koa::nvme {

// ---- Admin commands ----
inline constexpr std::uint8_t kOpcodeIdentify = 0x06;
inline constexpr std::uint8_t kOpcodeFirmwareCommit = 0x10;
inline constexpr std::uint8_t kOpcodeFirmwareImageDownload = 0x11;
// Identify CDW10.CNS 01h: the Identify Controller data structure.
inline constexpr std::uint32_t kCnsIdentifyController = 1;

// ---- Identify Controller data ----
inline constexpr std::size_t kIdentifyLength = 4096;
inline constexpr std::size_t kVendorIdOffset = 0;
inline constexpr std::size_t kSerialNumberOffset = 4;
inline constexpr std::size_t kSerialNumberLength = 20;
inline constexpr std::size_t kModelNumberOffset = 24;
inline constexpr std::size_t kModelNumberLength = 40;
inline constexpr std::size_t kFirmwareRevisionOffset = 64;
inline constexpr std::size_t kFirmwareRevisionLength = 8;
inline constexpr std::size_t kMinorVersionOffset = 81;
inline constexpr std::size_t kMajorVersionOffset = 82;
inline constexpr std::size_t kFwugOffset = 319;
static_assert(kFwugOffset < kIdentifyLength);

}  // namespace koa::nvme

namespace koa {

// The granularity a drive is given, in units of 4096 bytes. FWUG 0 and FWUG
// 0xFF both give 1: 0 means the drive states nothing and 0xFF is the NVMe
// base specification's mark for "no restriction", not 255 units of 4 KiB.
// FWUG exists from version 1.3 on; versions are compared as versions, so 2.0
// and later count as at least 1.3.
[[nodiscard]] constexpr std::int32_t updateGranularityFor(std::uint16_t majorVersion,
                                                          std::uint8_t minorVersion,
                                                          std::uint8_t fwug) {
  const bool reportsFwug = majorVersion > 1 || (majorVersion == 1 && minorVersion >= 3);
  if (!reportsFwug || fwug == 0 || fwug == 0xFF) return 1;
  return fwug;
}

// The same rule read from nvme::kIdentifyLength bytes of Identify Controller
// data. Every identify query that sets a granularity reads it this way.
[[nodiscard]] inline std::int32_t updateGranularityOf(const std::uint8_t* identifyData) {
  return updateGranularityFor(get16(identifyData, nvme::kMajorVersionOffset),
                              get8(identifyData, nvme::kMinorVersionOffset),
                              get8(identifyData, nvme::kFwugOffset));
}

}  // namespace koa
