// The VROC driver's interface as the simulated driver reads it: the
// SRB_IO_CONTROL header, the list requests, the 108-byte disk entries and the
// NVMe pass-through block. Written for the simulator alone; it shares nothing
// with the system's request builders, so that a mistake in one is caught by
// the other.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/srb_io_control_layout.h"

namespace koa::sim::vroc {

// SRB_IO_CONTROL (sim/srb_io_control_layout.h).
using namespace srb;
inline constexpr char kSignature[8] = {'N', 'v', 'm', 'e', 'R', 'A', 'I', 'D'};

// Control codes.
inline constexpr std::uint32_t kPassThrough = 0xE0002000;
inline constexpr std::uint32_t kVolumeCount = 0xE0002014;
inline constexpr std::uint32_t kVolumeInfo = 0xE0002018;
inline constexpr std::uint32_t kMemberList = 0xE000201C;
inline constexpr std::uint32_t kPassThroughCount = 0xE0002028;
inline constexpr std::uint32_t kPassThroughList = 0xE000202C;

// Timeouts the driver is used with, in seconds.
inline constexpr std::uint32_t kListTimeout = 40;
inline constexpr std::uint32_t kIdentifyTimeout = 40;
inline constexpr std::uint32_t kFirmwareTimeout = 30;

// List requests.
inline constexpr std::uint32_t kCountBytes = 32;        // count at 28
inline constexpr std::uint32_t kVolumeInfoBytes = 132;  // volume number in at 28, members out at 128
inline constexpr std::size_t kFirstPayloadAt = 28;
inline constexpr std::size_t kMemberCountAt = 128;
inline constexpr std::size_t kMemberListCapacityAt = 32;  // volume number at 28
inline constexpr std::size_t kMemberEntriesAt = 36;
inline constexpr std::uint32_t kMemberListExtra = 40;     // bytes besides the entries
inline constexpr std::size_t kPassThroughCapacityAt = 28;
inline constexpr std::size_t kPassThroughEntriesAt = 32;
inline constexpr std::uint32_t kPassThroughListExtra = 36;

// A disk entry.
inline constexpr std::uint32_t kEntryBytes = 108;
inline constexpr std::size_t kEntryDiskIdAt = 0;
inline constexpr std::size_t kEntryModelAt = 4;
inline constexpr std::size_t kEntryModelBytes = 40;
inline constexpr std::size_t kEntrySerialAt = 52;
inline constexpr std::size_t kEntrySerialBytes = 48;
inline constexpr std::size_t kEntryPathIdAt = 100;

// The NVMe pass-through block (the OpenFabrics NVMe driver's
// NVME_PASS_THROUGH_IOCTL after the header).
inline constexpr std::size_t kVendorSpecificAt = 28;   // 6 dwords
inline constexpr std::size_t kCommandAt = 52;          // 16 dwords
inline constexpr std::size_t kCompletionAt = 116;      // 4 dwords
inline constexpr std::size_t kDirectionAt = 132;
inline constexpr std::size_t kQueueIdAt = 136;
inline constexpr std::size_t kDataBytesAt = 140;
inline constexpr std::size_t kMetaBytesAt = 144;
inline constexpr std::size_t kReturnBytesAt = 148;
inline constexpr std::size_t kDataAt = 152;
inline constexpr std::uint32_t kPassThroughExtra = 160;  // bytes besides a download's data
inline constexpr std::uint32_t kIdentifyBytes = 4252;
inline constexpr std::uint32_t kCommitBytes = 153;
inline constexpr std::uint32_t kFirmwareReturnBytes = 153;
inline constexpr std::uint32_t kHostToDevice = 1;
inline constexpr std::uint32_t kDeviceToHost = 2;

inline constexpr std::size_t commandDword(std::size_t n) { return kCommandAt + 4 * n; }
inline constexpr std::size_t completionDword(std::size_t n) { return kCompletionAt + 4 * n; }

inline constexpr std::uint8_t kAdminGetLogPage = 0x02;
inline constexpr std::uint8_t kAdminIdentify = 0x06;
inline constexpr std::uint8_t kAdminFirmwareCommit = 0x10;
inline constexpr std::uint8_t kAdminFirmwareImageDownload = 0x11;
inline constexpr std::uint32_t kCnsController = 1;
inline constexpr std::uint32_t kAllNamespaces = 0xFFFFFFFF;
// Get Log Page dword 10: LID 03h (Firmware Slot Information), NUMDL 127.
inline constexpr std::uint32_t kFirmwareSlotLogDword10 = 0x007F0003;

// The driver's own status codes in ReturnCode.
enum DriverStatus : std::uint32_t {
  kSuccess = 0,
  kInvalidIoctlCode = 1,
  kInvalidSignature = 2,
  kInsufficientInBuffer = 3,
  kInsufficientOutBuffer = 4,
  kUnsupportedAdminCmd = 5,
  kUnsupportedNvmCmd = 6,
  kInvalidAdminVendorSpecificOpcode = 7,
  kInvalidNvmVendorSpecificOpcode = 8,
  kAdminVendorSpecificNotSupported = 9,
  kNvmVendorSpecificNotSupported = 10,
  kInvalidDirectionSpecified = 11,
  kInvalidMetaBufferLength = 12,
  kPrpTranslationError = 13,
  kInvalidPathTargetId = 14,
  kFormatNvmPending = 15,
};

// Completion dword 3: status in bits 31 to 17, phase tag bit 16, command
// identifier bits 15 to 0.
inline constexpr unsigned kStatusShift = 17;
inline constexpr std::uint32_t kPhaseTag = 1u << 16;

static_assert(commandDword(10) == 92 && commandDword(11) == 96);
static_assert(completionDword(3) == 128);
static_assert(kDataAt + 4096 + 4 == kIdentifyBytes);
static_assert(kEntrySerialAt + kEntrySerialBytes == kEntryPathIdAt);

}  // namespace koa::sim::vroc
