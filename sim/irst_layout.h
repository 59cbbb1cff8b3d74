// The requests the simulated IRST driver understands, as its own tables of
// offsets (the simulator never shares these with the updater it checks).
// All fields little-endian; offsets from the start of the request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/miniport_firmware.h"
#include "sim/srb_io_control_layout.h"

namespace koa::sim::irst {

// SRB_IO_CONTROL (sim/srb_io_control_layout.h).
using namespace srb;

// CSMI_SAS_RAID_CONFIG_BUFFER ("CSMIARY\0").
namespace csmi {
inline constexpr std::uint32_t kGetRaidConfig = 11;  // CC_CSMI_SAS_GET_RAID_CONFIG
inline constexpr std::size_t kRaidSetIndex = 28;
inline constexpr std::size_t kCapacity = 32;
inline constexpr std::size_t kStripeSize = 36;
inline constexpr std::size_t kRaidType = 40;
inline constexpr std::size_t kStatus = 41;
inline constexpr std::size_t kDriveCount = 43;
inline constexpr std::size_t kDrives = 64;
inline constexpr std::size_t kDriveEntryLength = 136;  // CSMI_SAS_RAID_DRIVES
inline constexpr std::size_t kEntryModel = 0;           // bModel[40]
inline constexpr std::size_t kEntryFirmware = 40;       // bFirmware[8]
inline constexpr std::size_t kEntrySerial = 48;         // bSerialNumber[40]
inline constexpr std::size_t kEntrySasAddress = 88;     // bSASAddress[8]
inline constexpr std::size_t kEntryDriveStatus = 104;
inline constexpr std::size_t kEntryDriveUsage = 105;
// The IRST driver keeps a member's path id in byte 2 of its SAS address.
inline constexpr std::size_t kEntryPathId = kEntrySasAddress + 2;

inline constexpr std::uint32_t kStatusSuccess = 0;           // CSMI_SAS_STATUS_SUCCESS
inline constexpr std::uint32_t kStatusBadControlCode = 2;    // CSMI_SAS_STATUS_BAD_CNTL_CODE
inline constexpr std::uint32_t kStatusInvalidParameter = 3;  // CSMI_SAS_STATUS_INVALID_PARAMETER
inline constexpr std::uint32_t kRaidSetOutOfRange = 1000;    // CSMI_SAS_RAID_SET_OUT_OF_RANGE
inline constexpr std::uint8_t kRaidType0 = 1;                // CSMI_SAS_RAID_TYPE_0
inline constexpr std::uint8_t kDriveUsageMember = 1;         // CSMI_SAS_DRIVE_CONFIG_MEMBER
}  // namespace csmi

// The drive address that "IntelNvm" and "IntelFw " requests carry after the
// header: a first byte of 1, the path id, two zero bytes.
inline constexpr std::size_t kAddressFirst = 28;
inline constexpr std::size_t kAddressPathId = 29;
inline constexpr std::size_t kAddressRest = 30;
inline constexpr std::uint8_t kAddressFirstValue = 1;

// "IntelNvm": NVMe pass-through of Identify Controller, and of Get Log Page
// for the Firmware Slot Information log in the same block.
namespace nvm {
inline constexpr std::uint32_t kControlCode = 0xF0002808;
inline constexpr std::size_t kCommand = 32;  // 16 dwords
inline constexpr std::size_t kCommandDwords = 16;
inline constexpr std::size_t kGap = 96;      // 20 zero bytes
inline constexpr std::size_t kGapLength = 20;
inline constexpr std::size_t kDataOffsetField = 116;
inline constexpr std::size_t kDataLengthField = 120;
inline constexpr std::size_t kData = 164;
inline constexpr std::size_t kDataLength = 4096;
inline constexpr std::uint32_t kOpcodeIdentify = 0x06;
inline constexpr std::uint32_t kCnsController = 0x01;
inline constexpr std::uint32_t kOpcodeGetLogPage = 0x02;
inline constexpr std::uint32_t kAllNamespaces = 0xFFFFFFFF;  // dword 1, NSID
// Dword 10: LID 03h (Firmware Slot Information), NUMDL 127 (512 bytes).
inline constexpr std::uint32_t kFirmwareSlotLogDword10 = 0x007F0003;
}  // namespace nvm

// "IntelFw ": the miniport firmware interface (sim/miniport_firmware.h)
// after the address: its FIRMWARE_REQUEST_BLOCK, then the function's data.
namespace fw {
inline constexpr std::uint32_t kControlCode = 0xF0000040;
inline constexpr std::size_t kBlockAt = 32;
inline constexpr std::size_t kData = kBlockAt + firmware::kBlockBytes;
}  // namespace fw

}  // namespace koa::sim::irst
