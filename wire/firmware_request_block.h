// The Windows miniport firmware interface (ntddscsi.h, ntddstor.h), which the
// inbox driver ("FIRMWARE") and the IRST driver ("IntelFw ") both speak: a
// FIRMWARE_REQUEST_BLOCK at a base offset that the driver's header fixes (28
// on the inbox driver, 32 on IRST, whose drive address comes first), then the
// function's data right after it.
//
//   OFFSET SIZE FIELD (from the block's base)
//        0    4 Version            1 (FIRMWARE_REQUEST_BLOCK_STRUCTURE_VERSION)
//        4    4 Size               24
//        8    4 Function           1 get info, 2 download, 3 activate
//       12    4 Flags              1 (FIRMWARE_REQUEST_FLAG_CONTROLLER)
//       16    4 DataBufferOffset   base + 24, counted from the start of the request
//       20    4 DataBufferLength   request length - (base + 24)
//
// Function data, from DataBufferOffset:
//
//   STORAGE_FIRMWARE_DOWNLOAD      0 Version 1 (4), 4 Size 24 (4), 8 Offset (8),
//                                  16 BufferSize (8), 24 the piece's image bytes
//   STORAGE_FIRMWARE_DOWNLOAD_V2   0 Version 2 (4), 4 Size 32 (4), 8 Offset (8),
//                                  16 BufferSize (8), 24 Slot (1), 25 reserved (3),
//                                  28 ImageSize (4), 32 the piece's image bytes
//   STORAGE_FIRMWARE_ACTIVATE      0 Version 1 (4), 4 Size 12 (4),
//                                  8 SlotToActivate (1), 9 reserved (3)
//
// Each driver answers in the SRB_IO_CONTROL ReturnCode with a firmware status.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/piece_walk.h"

namespace koa::firmware_block {

inline constexpr std::size_t kVersionOffset = 0;
inline constexpr std::size_t kSizeOffset = 4;
inline constexpr std::size_t kFunctionOffset = 8;
inline constexpr std::size_t kFlagsOffset = 12;
inline constexpr std::size_t kDataBufferOffsetOffset = 16;
inline constexpr std::size_t kDataBufferLengthOffset = 20;
inline constexpr std::uint32_t kLength = 24;

inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::uint32_t kFunctionGetInfo = 1;
inline constexpr std::uint32_t kFunctionDownload = 2;
inline constexpr std::uint32_t kFunctionActivate = 3;
inline constexpr std::uint32_t kFlagController = 1;

// Where the function's data starts in a request whose block is at blockOffset.
[[nodiscard]] constexpr std::size_t dataOffset(std::size_t blockOffset) { return blockOffset + kLength; }

// Offsets within the function's data.
inline constexpr std::size_t kDownloadImageOffset = 24;       // STORAGE_FIRMWARE_DOWNLOAD
inline constexpr std::size_t kDownloadV2SlotOffset = 24;
inline constexpr std::size_t kDownloadV2ImageSizeOffset = 28;
inline constexpr std::size_t kDownloadV2ImageOffset = 32;     // STORAGE_FIRMWARE_DOWNLOAD_V2
inline constexpr std::size_t kActivateSlotOffset = 8;
inline constexpr std::uint32_t kActivateLength = 12;

// FIRMWARE_STATUS_* in the ReturnCode of the answer.
inline constexpr std::uint32_t kStatusSuccess = 0x00;
inline constexpr std::uint32_t kStatusError = 0x01;
inline constexpr std::uint32_t kStatusIllegalRequest = 0x02;
inline constexpr std::uint32_t kStatusInvalidParameter = 0x03;
inline constexpr std::uint32_t kStatusInputBufferTooBig = 0x04;
inline constexpr std::uint32_t kStatusInvalidSlot = 0x06;
inline constexpr std::uint32_t kStatusInvalidImage = 0x07;
inline constexpr std::uint32_t kStatusControllerError = 0x10;
// The drive holds the new image but runs it only after a power cycle.
inline constexpr std::uint32_t kStatusPowerCycleRequired = 0x20;

// Writes the block at blockOffset of a request of requestLength bytes; the
// data buffer is what follows the block up to the end of the request.
void writeBlock(std::uint8_t* request, std::size_t blockOffset, std::uint32_t requestLength,
                std::uint32_t function);

// The function data at dataOffset. The download writers copy piece.length
// bytes from pieceBytes after their header.
void writeDownload(std::uint8_t* request, std::size_t dataOffset, Piece piece, const std::uint8_t* pieceBytes);
void writeDownloadV2(std::uint8_t* request, std::size_t dataOffset, Piece piece, const std::uint8_t* pieceBytes,
                     std::uint8_t slot);
void writeActivate(std::uint8_t* request, std::size_t dataOffset, std::uint8_t slotToActivate);

}  // namespace koa::firmware_block
