// The VROC driver's "NvmeRAID" requests. Every one of them is an
// SRB_IO_CONTROL with the signature "NvmeRAID" and a control code of its own;
// the VROC walk's list requests (discovery/vroc_requests.h) add a short
// payload, and the NVMe pass-through (control code 0xE0002000), laid out like
// the NVME_PASS_THROUGH_IOCTL of the OpenFabrics NVMe driver interface,
// carries the Identify Controller of the VROC walk and the Firmware Image
// Download and Firmware Commit of the VROC path:
//
//   OFFSET SIZE DESCRIPTION
//        0   28 SRB_IO_CONTROL; ReturnCode carries the target's vrocDiskId on
//                 input and the driver's status (0, or 1 to 15) on output
//       28   24 six vendor-specific dwords, 0
//       52   64 NVMe command dwords 0 to 15 (dword n at 52 + 4n)
//      116   16 completion entry dwords 0 to 3 (dword n at 116 + 4n)
//      132    4 data direction: 1 host to device, 2 device to host
//      136    4 queue id, 0 (admin queue)
//      140    4 data length (host to device)
//      144    4 metadata length, 0
//      148    4 return buffer length
//      152    - data
//
// Completion dword 3 holds the NVMe status field in bits 31 to 17 (bit 16 is
// the phase tag, bits 15 to 0 the command identifier).
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byte_order.h"
#include "wire/nvme.h"
#include "wire/piece_walk.h"
#include "wire/request_buffer.h"

namespace koa::nvme_raid {

inline constexpr char kSignature[] = "NvmeRAID";
// Timeouts in seconds: the list requests and the Identify, the firmware commands.
inline constexpr std::uint32_t kListTimeout = 40;
inline constexpr std::uint32_t kIdentifyTimeout = 40;
inline constexpr std::uint32_t kFirmwareTimeout = 30;

// Writes the SRB_IO_CONTROL of a request as long as its buffer. The driver
// reads the target disk of a pass-through command from ReturnCode; every
// other request sends 0 there.
void writeHeader(RequestBuffer& request, std::uint32_t timeout, std::uint32_t controlCode,
                 std::uint32_t returnCode = 0);

// ---- The NVMe pass-through ----
inline constexpr std::uint32_t kControlCode = 0xE0002000;

inline constexpr std::size_t kCommandOffset = 52;
inline constexpr std::size_t kCommandDwordLength = 4;
inline constexpr std::size_t commandDwordOffset(std::size_t n) { return kCommandOffset + 4 * n; }
inline constexpr std::size_t kCompletionOffset = 116;
inline constexpr std::size_t completionDwordOffset(std::size_t n) { return kCompletionOffset + 4 * n; }
inline constexpr std::size_t kDataDirectionOffset = 132;
inline constexpr std::size_t kQueueIdOffset = 136;
inline constexpr std::size_t kDataLengthOffset = 140;
inline constexpr std::size_t kMetadataLengthOffset = 144;
inline constexpr std::size_t kReturnBufferLengthOffset = 148;
inline constexpr std::size_t kDataOffset = 152;

inline constexpr std::uint32_t kHostToDevice = 1;
inline constexpr std::uint32_t kDeviceToHost = 2;

// Firmware slot 2 (bits 2 to 0), commit action 1 (bits 5 to 3): the image
// replaces slot 2 and is activated at the next controller reset.
inline constexpr std::uint32_t kCommitSlot2ActivateAtReset = 0x0000000A;

inline constexpr std::size_t kIdentifyDataLength = nvme::kIdentifyLength;
inline constexpr std::uint8_t kIdentifyFill = 0x55;
inline constexpr std::size_t kIdentifyRequestLength = 4252;
inline constexpr std::size_t kDownloadOverhead = 160;
inline constexpr std::size_t kCommitRequestLength = 153;
// What the driver writes back after a firmware command: the header, the
// command and the completion entry all lie inside it.
inline constexpr std::uint32_t kFirmwareReturnLength = 153;

static_assert(commandDwordOffset(10) == 92);
static_assert(commandDwordOffset(11) == 96);
static_assert(completionDwordOffset(3) == 128);
static_assert(kDataOffset + kIdentifyDataLength + 4 == kIdentifyRequestLength);
static_assert(kCommitRequestLength - 28 == 125);
static_assert(completionDwordOffset(3) + 4 <= kFirmwareReturnLength);

// A status at or above this value in completion dword 3 is a nonzero status.
inline constexpr std::uint32_t kFirstFailingDword3 = 0x20000;
inline constexpr unsigned kStatusShift = 17;

// The download request for one piece is this long.
inline constexpr std::size_t downloadRequestLength(std::uint32_t pieceLength) {
  return kDownloadOverhead + pieceLength;
}

// Each builder expects a zero-filled buffer of exactly the request's length.

// Identify Controller for disk vrocDiskId; the data area is filled with 0x55
// so that a drive that wrote nothing is seen as such.
void buildIdentify(RequestBuffer& request, std::int32_t vrocDiskId);

// Firmware Image Download of piece (NUMD and data length follow the piece's
// length, OFST its offset) with the piece's bytes from image. The buffer is
// downloadRequestLength(piece.length) long.
void buildFirmwareImageDownload(RequestBuffer& request, std::int32_t vrocDiskId, Piece piece,
                                const std::uint8_t* image);

// Firmware Commit of slot 2 with commit action 1.
void buildFirmwareCommit(RequestBuffer& request, std::int32_t vrocDiskId);

[[nodiscard]] inline std::uint32_t completionDword3(const RequestBuffer& request) {
  return get32(request.data(), completionDwordOffset(3));
}

}  // namespace koa::nvme_raid
