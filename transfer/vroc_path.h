// Drives behind the Intel VROC driver: NVMe Firmware Image Download and
// Firmware Commit through the "NvmeRAID" pass-through on the SCSI port.
#pragma once

#include <cstdint>

#include "platform/win_types.h"
#include "update/drive_record.h"

namespace koa {

std::uint32_t updateVrocDrive(const DriveRecord& target, const std::uint32_t& imageSize,
                              std::int32_t vrocPort);

// 0 every piece accepted, 1 otherwise.
std::uint32_t downloadVroc(Handle port, const DriveRecord& target, const std::uint32_t& imageSize);

std::uint32_t activateVroc(Handle port, std::int32_t vrocDiskId);

}  // namespace koa
