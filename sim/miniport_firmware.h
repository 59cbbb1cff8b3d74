// The Windows miniport firmware interface as the simulated drivers read it:
// the FIRMWARE_REQUEST_BLOCK, the function's data that follows it
// (STORAGE_FIRMWARE_DOWNLOAD, _V2, STORAGE_FIRMWARE_ACTIVATE) and the
// FIRMWARE_STATUS a driver answers with. The inbox NVMe driver carries it
// after a "FIRMWARE" SRB_IO_CONTROL header, the IRST driver after an
// "IntelFw " header and a drive address: each says where the block starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "sim/nvme_drive.h"

namespace koa::sim::firmware {

// ---- FIRMWARE_REQUEST_BLOCK, from where the request puts it ----
inline constexpr std::size_t kBlockVersion = 0;
inline constexpr std::size_t kBlockSize = 4;
inline constexpr std::size_t kFunction = 8;
inline constexpr std::size_t kFlags = 12;
inline constexpr std::size_t kDataBufferOffset = 16;
inline constexpr std::size_t kDataBufferLength = 20;
inline constexpr std::uint32_t kBlockBytes = 24;
inline constexpr std::uint32_t kBlockStructVersion = 1;  // FIRMWARE_REQUEST_BLOCK_STRUCTURE_VERSION
inline constexpr std::uint32_t kFunctionGetInfo = 1;     // FIRMWARE_FUNCTION_GET_INFO
inline constexpr std::uint32_t kFunctionDownload = 2;    // FIRMWARE_FUNCTION_DOWNLOAD
inline constexpr std::uint32_t kFunctionActivate = 3;    // FIRMWARE_FUNCTION_ACTIVATE
inline constexpr std::uint32_t kFlagController = 1;      // FIRMWARE_REQUEST_FLAG_CONTROLLER

// ---- STORAGE_FIRMWARE_DOWNLOAD and _V2, from the function's data ----
inline constexpr std::size_t kDownloadVersion = 0;
inline constexpr std::size_t kDownloadSize = 4;
inline constexpr std::size_t kDownloadOffset = 8;
inline constexpr std::size_t kDownloadBufferSize = 16;
inline constexpr std::size_t kDownloadImage = 24;  // version 1
inline constexpr std::uint32_t kDownloadStructVersion = 1;
inline constexpr std::uint32_t kDownloadStructSize = 24;
// Version 2 puts a slot and the image size before the image.
inline constexpr std::size_t kDownloadV2Slot = 24;
inline constexpr std::size_t kDownloadV2Reserved = 25;  // 3 bytes
inline constexpr std::size_t kDownloadV2ImageSize = 28;
inline constexpr std::size_t kDownloadV2Image = 32;
inline constexpr std::uint32_t kDownloadV2StructVersion = 2;
inline constexpr std::uint32_t kDownloadV2StructSize = 32;
inline constexpr std::uint8_t kNoSlot = 0xFF;  // STORAGE_FIRMWARE_INFO_INVALID_SLOT

// ---- STORAGE_FIRMWARE_ACTIVATE, from the function's data ----
inline constexpr std::size_t kActivateVersion = 0;
inline constexpr std::size_t kActivateSize = 4;
inline constexpr std::size_t kActivateSlot = 8;
inline constexpr std::size_t kActivateReserved = 9;  // 3 bytes
inline constexpr std::uint32_t kActivateBytes = 12;
inline constexpr std::uint32_t kActivateStructVersion = 1;

// ---- FIRMWARE_STATUS_*, in the SRB_IO_CONTROL ReturnCode ----
inline constexpr std::uint32_t kStatusSuccess = 0x00;
inline constexpr std::uint32_t kStatusError = 0x01;
inline constexpr std::uint32_t kStatusIllegalRequest = 0x02;
inline constexpr std::uint32_t kStatusInvalidParameter = 0x03;
inline constexpr std::uint32_t kStatusOutputBufferTooSmall = 0x05;
inline constexpr std::uint32_t kStatusInvalidSlot = 0x06;
inline constexpr std::uint32_t kStatusInvalidImage = 0x07;
inline constexpr std::uint32_t kStatusPowerCycleRequired = 0x20;

// Whether the block at `blockAt` is one both drivers take: version 1, size
// 24, the controller flag alone, and the function's data right after the
// block, to the end of the request.
[[nodiscard]] bool blockWellFormed(std::span<const std::uint8_t> request, std::size_t blockAt);

// The firmware status a driver reports for an NVMe completion status of
// Firmware Image Download or Firmware Commit.
[[nodiscard]] std::uint32_t statusOf(std::uint16_t nvmeStatus);

// The same for a Firmware Commit that may leave the activation pending:
// a success the drive activates only at its next reset needs a power cycle.
[[nodiscard]] std::uint32_t commitStatusOf(const NvmeDrive& drive, std::uint16_t nvmeStatus);

}  // namespace koa::sim::firmware
