// The inbox NVMe driver's miniport firmware interface (IOCTL_SCSI_MINIPORT,
// "FIRMWARE"): get info, download and activate, mapped onto the drive's
// NVMe Firmware Image Download and Firmware Commit.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/nvme_drive.h"
#include "sim/sim_device.h"

namespace koa::sim {

// How this driver answers get info: a STORAGE_FIRMWARE_INFO of version 1
// (the default) or a STORAGE_FIRMWARE_INFO_V2, at the request's
// DataBufferOffset. (A damaged answer is a "patch" fault, not a driver.)
struct FirmwareInfoAnswer {
  std::uint32_t version = 1;
};

// One IOCTL_SCSI_MINIPORT request on the disk. A request whose header the
// port driver cannot take fails the call (ERROR_INVALID_PARAMETER), one
// whose signature or control code the driver does not serve fails with
// ERROR_INVALID_FUNCTION; a firmware request the driver takes but finds
// malformed succeeds with a firmware status in ReturnCode.
[[nodiscard]] IoResult answerFirmwareRequest(NvmeDrive& drive, const FirmwareInfoAnswer& infoAnswer,
                                             std::vector<std::uint8_t>& buffer, std::uint32_t inSize,
                                             std::uint32_t outSize);

// The function of a well-formed-enough FIRMWARE request, 0 when it is not one.
[[nodiscard]] std::uint32_t firmwareFunction(std::span<const std::uint8_t> input);

}  // namespace koa::sim
