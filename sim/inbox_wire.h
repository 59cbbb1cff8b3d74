// The inbox NVMe driver's request layouts as the simulated driver checks
// them: IOCTL_STORAGE_GET_DEVICE_NUMBER, IOCTL_STORAGE_QUERY_PROPERTY for
// Identify Controller, and the miniport firmware requests (SRB_IO_CONTROL
// "FIRMWARE", then the miniport firmware interface) with the get-info
// answer. Written from the request tables on their own, never from the
// system's builders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/miniport_firmware.h"
#include "sim/srb_io_control_layout.h"

namespace koa::sim::inboxwire {

inline constexpr std::uint32_t kIoctlStorageGetDeviceNumber = 0x2D1080;
inline constexpr std::uint32_t kIoctlStorageQueryProperty = 0x2D1400;
inline constexpr std::uint32_t kIoctlScsiMiniportFirmware = 0x1B0780;

// ---- STORAGE_DEVICE_NUMBER ----
inline constexpr std::uint32_t kDeviceNumberLength = 12;
inline constexpr std::size_t kDeviceType = 0;
inline constexpr std::size_t kDeviceNumber = 4;
inline constexpr std::size_t kPartitionNumber = 8;
inline constexpr std::uint32_t kFileDeviceDisk = 7;

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
inline constexpr std::size_t kQHeaderRest = 32;  // 32 to 47: rest of the protocol header
inline constexpr std::size_t kQIdentifyData = 48;
// The only query the storage stack serves here: NVMe Identify Controller.
inline constexpr std::uint32_t kStorageAdapterProtocolSpecificProperty = 49;
inline constexpr std::uint32_t kPropertyStandardQuery = 0;
inline constexpr std::uint32_t kProtocolTypeNvme = 3;
inline constexpr std::uint32_t kNvmeDataTypeIdentify = 1;
inline constexpr std::uint32_t kIdentifyController = 1;  // CNS 01h
inline constexpr std::uint32_t kProtocolDataOffset = 40;  // from the protocol data header at 8
// The answer is a STORAGE_PROTOCOL_DATA_DESCRIPTOR: Version and Size (48)
// in place of PropertyId and QueryType.
inline constexpr std::size_t kDescriptorVersion = 0;
inline constexpr std::size_t kDescriptorSize = 4;
inline constexpr std::uint32_t kDescriptorLength = 48;

// ---- SRB_IO_CONTROL (sim/srb_io_control_layout.h) ----
using namespace srb;
inline constexpr char kFirmwareSignature[8] = {'F', 'I', 'R', 'M', 'W', 'A', 'R', 'E'};
inline constexpr std::uint32_t kFirmwareTimeout = 30;

// ---- The FIRMWARE_REQUEST_BLOCK (sim/miniport_firmware.h) after the
// header, and the function's data after it ----
inline constexpr std::size_t kBlockAt = kHeaderBytes;
inline constexpr std::size_t kFunctionData = kBlockAt + firmware::kBlockBytes;

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

}  // namespace koa::sim::inboxwire
