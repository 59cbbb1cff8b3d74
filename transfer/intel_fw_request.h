// The IRST firmware requests ("IntelFw "): an SRB_IO_CONTROL header, a
// four-byte drive address, a FIRMWARE_REQUEST_BLOCK, then a download or an
// activate block. Both requests share the first 56 bytes:
//
//   OFFSET SIZE DESCRIPTION
//        0   28 SRB_IO_CONTROL: "IntelFw " (no NUL), timeout 30, control
//               code 0xF0000040, Length = request length - 28
//       28    1 drive address, first byte: 1
//       29    1 drive address, path id (low byte of the target's pathId)
//       30    2 drive address, rest: 0
//       32    4 request block Version 1
//       36    4 request block Size 24
//       40    4 Function: 2 download, 3 activate
//       44    4 Flags: 1 (FIRMWARE_REQUEST_FLAG_CONTROLLER)
//       48    4 DataBufferOffset 56
//       52    4 DataBufferLength = request length - 56
//
// Download (88 + piece length bytes):
//       56    4 Version 2
//       60    4 Size 32
//       64    8 Offset of the piece in the image
//       72    8 BufferSize = piece length
//       80    1 Slot 0xFF
//       81    3 reserved
//       84    4 ImageSize 0
//       88    n the piece's image bytes
//
// Activate (68 bytes):
//       56    4 Version 1
//       60    4 Size 12
//       64    1 slot to activate: 2
//       65    3 reserved
#pragma once

#include <cstddef>
#include <cstdint>

#include "transfer/piece_walk.h"

namespace koa::intel_fw {

inline constexpr char kSignature[9] = "IntelFw ";
inline constexpr std::uint32_t kTimeoutSeconds = 30;
inline constexpr std::uint32_t kControlCode = 0xF0000040;

inline constexpr std::size_t kDriveAddressOffset = 28;
inline constexpr std::uint8_t kDriveAddressFirstByte = 1;
inline constexpr std::size_t kPathIdOffset = 29;

inline constexpr std::size_t kBlockVersionOffset = 32;
inline constexpr std::size_t kBlockSizeOffset = 36;
inline constexpr std::size_t kFunctionOffset = 40;
inline constexpr std::size_t kFlagsOffset = 44;
inline constexpr std::size_t kDataBufferOffsetOffset = 48;
inline constexpr std::size_t kDataBufferLengthOffset = 52;
inline constexpr std::uint32_t kBlockVersion = 1;
inline constexpr std::uint32_t kBlockSize = 24;
inline constexpr std::uint32_t kFunctionDownload = 2;
inline constexpr std::uint32_t kFunctionActivate = 3;
inline constexpr std::uint32_t kFlagController = 1;
inline constexpr std::uint32_t kDataBufferOffset = 56;

inline constexpr std::size_t kDownloadVersionOffset = 56;
inline constexpr std::size_t kDownloadSizeOffset = 60;
inline constexpr std::size_t kDownloadImageOffsetOffset = 64;
inline constexpr std::size_t kDownloadBufferSizeOffset = 72;
inline constexpr std::size_t kDownloadSlotOffset = 80;
inline constexpr std::size_t kDownloadImageSizeOffset = 84;
inline constexpr std::size_t kDownloadDataOffset = 88;
inline constexpr std::uint32_t kDownloadVersion = 2;
inline constexpr std::uint32_t kDownloadSize = 32;
inline constexpr std::uint8_t kDownloadSlotNone = 0xFF;

inline constexpr std::size_t kActivateVersionOffset = 56;
inline constexpr std::size_t kActivateSizeOffset = 60;
inline constexpr std::size_t kActivateSlotOffset = 64;
inline constexpr std::uint32_t kActivateVersion = 1;
inline constexpr std::uint32_t kActivateSize = 12;
inline constexpr std::uint8_t kActivateSlot = 2;
inline constexpr std::size_t kActivateRequestSize = 68;

static_assert(kDownloadVersionOffset == kDataBufferOffset);
static_assert(kDownloadDataOffset == kDataBufferOffset + kDownloadSize);
static_assert(kActivateRequestSize == kDataBufferOffset + kActivateSize);

// The length of the download request that carries a piece of pieceLength bytes.
[[nodiscard]] constexpr std::size_t downloadRequestSize(std::uint32_t pieceLength) {
  return kDownloadDataOffset + pieceLength;
}

// Writes the download request for piece, with its bytes from image, into
// the first downloadRequestSize(piece.length) bytes of request, which the
// caller has zero-filled.
void writeDownloadRequest(std::uint8_t* request, std::uint8_t pathId, Piece piece,
                          const std::uint8_t* image);

// Writes the activation request (slot 2) into the kActivateRequestSize bytes
// of request, which the caller has zero-filled.
void writeActivateRequest(std::uint8_t* request, std::uint8_t pathId);

}  // namespace koa::intel_fw
