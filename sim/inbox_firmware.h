// The inbox NVMe driver's miniport firmware interface (IOCTL_SCSI_MINIPORT,
// "FIRMWARE"): get info, download and activate, mapped onto the drive's
// NVMe Firmware Image Download and Firmware Commit.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/nvme_drive.h"
#include "sim/sim_device.h"

namespace koa::sim {

// How this driver answers get info. By default the answer is a version 1
// STORAGE_FIRMWARE_INFO at the request's DataBufferOffset; a description
// may ask for version 2, or for a driver whose answer is damaged (an
// unknown Version, a DataBufferOffset or SlotCount that points outside the
// buffer), to show how the updater copes.
struct FirmwareInfoAnswer {
  std::uint32_t version = 1;
  std::optional<std::uint32_t> dataBufferOffset;
  std::optional<std::uint8_t> slotCount;
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
