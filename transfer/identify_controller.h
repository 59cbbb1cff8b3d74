// The fields the system reads from a drive's NVMe Identify Controller data
// (4,096 bytes, as the NVMe base specification lays them out):
//
//   OFFSET SIZE FIELD
//        4   20 SN, serial number (ASCII, blank padded)
//       24   40 MN, model number
//       64    8 FR, firmware revision
//       80    4 VER: byte 80 tertiary, byte 81 minor, bytes 82-83 major
//      319    1 FWUG, firmware update granularity in 4 KiB units
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/drive_record.h"

namespace koa::identify {

inline constexpr std::size_t kLength = 4096;
inline constexpr std::size_t kSerialNumberOffset = 4;
inline constexpr std::size_t kSerialNumberLength = 20;
inline constexpr std::size_t kModelNumberOffset = 24;
inline constexpr std::size_t kModelNumberLength = 40;
inline constexpr std::size_t kFirmwareRevisionOffset = 64;
inline constexpr std::size_t kFirmwareRevisionLength = 8;
inline constexpr std::size_t kMinorVersionOffset = 81;
inline constexpr std::size_t kMajorVersionOffset = 82;
inline constexpr std::size_t kFwugOffset = 319;
static_assert(kFwugOffset < kLength);

// The characters of a text field up to its first NUL byte, at most length.
// Each byte is read as a signed character and widened, as the Windows code
// this mirrors did (a byte above 0x7F becomes 0xFF80 to 0xFFFF); blanks stay.
std::u16string fieldText(const std::uint8_t* identifyData, std::size_t offset, std::size_t length);

// Appends SN, MN and FR to serialNumber, modelNumber and firmwareRevision and
// sets updateGranularity by updateGranularityFor. identifyData holds kLength
// bytes.
void fillFromIdentify(DriveRecord& record, const std::uint8_t* identifyData);

}  // namespace koa::identify
