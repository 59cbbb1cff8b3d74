// Reading a drive's Identify Controller data (wire/nvme.h) into its record,
// for the inbox identify query.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/drive_record.h"

namespace koa::identify {

// The characters of a text field up to its first NUL byte, at most length;
// blanks stay. Each byte is read as a signed character and widened, so a
// byte above 0x7F becomes 0xFF80 to 0xFFFF: the log, which keeps the low
// byte of each unit, still shows the drive's own byte.
std::u16string fieldText(const std::uint8_t* identifyData, std::size_t offset, std::size_t length);

// Appends SN, MN and FR to serialNumber, modelNumber and firmwareRevision and
// sets updateGranularity by updateGranularityOf. identifyData holds
// nvme::kIdentifyLength bytes.
void fillFromIdentify(DriveRecord& record, const std::uint8_t* identifyData);

}  // namespace koa::identify
