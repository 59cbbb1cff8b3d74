// The inbox NVMe driver's request layouts as the simulated driver checks
// them: IOCTL_STORAGE_QUERY_PROPERTY for Identify Controller, and the
// miniport firmware requests (SRB_IO_CONTROL "FIRMWARE", a
// FIRMWARE_REQUEST_BLOCK and the function's data). Written from the request
// tables on their own, never from the system's builders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/srb_io_control_layout.h"

namespace koa::sim::inboxwire {

inline constexpr std::uint32_t kIoctlStorageGetDeviceNumber = 0x2D1080;
inline constexpr std::uint32_t kIoctlStorageQueryProperty = 0x2D1400;
inline constexpr std::uint32_t kIoctlScsiMiniportFirmware = 0x1B0780;

// ---- STORAGE_PROPERTY_QUERY + STORAGE_PROTOCOL_SPECIFIC_DATA ----
inline constexpr std::uint32_t kQueryLength = 4144;
inline constexpr std::size_t kQPropertyId = 0;
inline constexpr std::size_t kQQueryType = 4;
inline constexpr std::size_t kQProtocolType = 8;
inline constexpr std::size_t kQDataType = 12;
inline constexpr std::size_t kQRequestValue = 16;
inline constexpr std::size_t kQRequestSubValue = 20;
inline constexpr std::size_t kQProtocolDataOffset = 24;
inline constexpr std::size_t kQProtocolDataLength = 28;
inline constexpr std::size_t kQHeaderEnd = 48;  // 32 to 47: rest of the protocol header
inline constexpr std::size_t kQIdentifyData = 48;
// The answer is a STORAGE_PROTOCOL_DATA_DESCRIPTOR: Version and Size (48)
// in place of PropertyId and QueryType.
inline constexpr std::size_t kDescriptorVersion = 0;
inline constexpr std::size_t kDescriptorSize = 4;
inline constexpr std::uint32_t kDescriptorLength = 48;

// ---- SRB_IO_CONTROL (sim/srb_io_control_layout.h) ----
using namespace srb;
inline constexpr std::uint32_t kFirmwareTimeout = 30;

// ---- FIRMWARE_REQUEST_BLOCK ----
inline constexpr std::size_t kBlockVersion = 28;
inline constexpr std::size_t kBlockSize = 32;
inline constexpr std::size_t kFunction = 36;
inline constexpr std::size_t kFlags = 40;
inline constexpr std::size_t kDataBufferOffset = 44;
inline constexpr std::size_t kDataBufferLength = 48;
inline constexpr std::size_t kFunctionData = 52;
inline constexpr std::uint32_t kFunctionGetInfo = 1;
inline constexpr std::uint32_t kFunctionDownload = 2;
inline constexpr std::uint32_t kFunctionActivate = 3;
inline constexpr std::uint32_t kFlagController = 1;

// ---- STORAGE_FIRMWARE_DOWNLOAD at 52 ----
inline constexpr std::size_t kDownloadVersion = 52;
inline constexpr std::size_t kDownloadSize = 56;
inline constexpr std::size_t kDownloadOffset = 60;
inline constexpr std::size_t kDownloadBufferSize = 68;
inline constexpr std::size_t kDownloadImage = 76;

// ---- STORAGE_FIRMWARE_ACTIVATE at 52 ----
inline constexpr std::size_t kActivateVersion = 52;
inline constexpr std::size_t kActivateSize = 56;
inline constexpr std::size_t kActivateSlot = 60;
inline constexpr std::size_t kActivateEnd = 64;

// ---- STORAGE_FIRMWARE_INFO (version 1) / _V2, from the info's start ----
inline constexpr std::size_t kInfoVersion = 0;
inline constexpr std::size_t kInfoSize = 4;
inline constexpr std::size_t kInfoUpgradeSupport = 8;
inline constexpr std::size_t kInfoSlotCount = 9;
inline constexpr std::size_t kInfoActiveSlot = 10;
inline constexpr std::size_t kInfoPendingActivateSlot = 11;
inline constexpr std::size_t kInfoV2FirmwareShared = 12;
inline constexpr std::size_t kInfoV2ImagePayloadAlignment = 16;
inline constexpr std::size_t kInfoV2ImagePayloadMaxSize = 20;
inline constexpr std::size_t kInfoV1Slots = 16;
inline constexpr std::size_t kInfoV1SlotLength = 16;
inline constexpr std::size_t kInfoV1RevisionLength = 8;
inline constexpr std::size_t kInfoV2Slots = 24;
inline constexpr std::size_t kInfoV2SlotLength = 24;
inline constexpr std::size_t kInfoV2RevisionLength = 16;
inline constexpr std::size_t kSlotNumber = 0;
inline constexpr std::size_t kSlotReadOnly = 1;
inline constexpr std::size_t kSlotRevision = 8;
inline constexpr std::uint8_t kNoSlot = 0xFF;  // STORAGE_FIRMWARE_INFO_INVALID_SLOT

// ---- Firmware status (ntddscsi.h), in ReturnCode ----
inline constexpr std::uint32_t kStatusSuccess = 0x0;
inline constexpr std::uint32_t kStatusError = 0x1;
inline constexpr std::uint32_t kStatusIllegalRequest = 0x2;
inline constexpr std::uint32_t kStatusInvalidParameter = 0x3;
inline constexpr std::uint32_t kStatusOutputBufferTooSmall = 0x5;
inline constexpr std::uint32_t kStatusInvalidSlot = 0x6;
inline constexpr std::uint32_t kStatusInvalidImage = 0x7;
inline constexpr std::uint32_t kStatusPowerCycleRequired = 0x20;

}  // namespace koa::sim::inboxwire
