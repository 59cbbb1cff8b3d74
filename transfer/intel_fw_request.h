// The IRST firmware requests ("IntelFw "): an SRB_IO_CONTROL header, a
// four-byte drive address, a FIRMWARE_REQUEST_BLOCK, then a download or an
// activate block. Both requests share the first 56 bytes:
//
//   OFFSET SIZE DESCRIPTION
//        0   28 SRB_IO_CONTROL: "IntelFw " (no NUL), timeout 30, control
//               code 0xF0000040, Length = request length - 28
//       28    4 drive address (wire/irst_drive_address.h), path id from the target
//       32   24 FIRMWARE_REQUEST_BLOCK (wire/firmware_request_block.h):
//               Function 2 download, 3 activate; DataBufferOffset 56,
//               DataBufferLength = request length - 56
//
// Download (88 + piece length bytes), STORAGE_FIRMWARE_DOWNLOAD_V2:
//       56 Version 2, 60 Size 32, 64 Offset of the piece in the image,
//       72 BufferSize = piece length, 80 Slot 0xFF, 84 ImageSize 0,
//       88 the piece's image bytes
//
// Activate (68 bytes), STORAGE_FIRMWARE_ACTIVATE:
//       56 Version 1, 60 Size 12, 64 slot to activate: 2
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/firmware_request_block.h"
#include "wire/irst_drive_address.h"
#include "wire/piece_walk.h"

namespace koa::intel_fw {

inline constexpr char kSignature[9] = "IntelFw ";
inline constexpr std::uint32_t kTimeoutSeconds = 30;
inline constexpr std::uint32_t kControlCode = 0xF0000040;

inline constexpr std::size_t kRequestBlockOffset = irst::kDriveAddressOffset + irst::kDriveAddressLength;
inline constexpr std::size_t kDataBufferOffset = firmware_block::dataOffset(kRequestBlockOffset);

inline constexpr std::size_t kDownloadDataOffset = kDataBufferOffset + firmware_block::kDownloadV2ImageOffset;
inline constexpr std::uint8_t kDownloadSlotNone = 0xFF;
inline constexpr std::uint8_t kActivateSlot = 2;
inline constexpr std::size_t kActivateRequestSize = kDataBufferOffset + firmware_block::kActivateLength;

static_assert(kRequestBlockOffset == 32);
static_assert(kDataBufferOffset == 56);
static_assert(kDownloadDataOffset == 88);
static_assert(kActivateRequestSize == 68);

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
