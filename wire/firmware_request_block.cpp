#include "wire/firmware_request_block.h"

#include "wire/byte_order.h"

namespace koa::firmware_block {
namespace {

// STORAGE_FIRMWARE_DOWNLOAD and _V2 share their first 24 bytes.
constexpr std::size_t kDownloadVersionOffset = 0;
constexpr std::size_t kDownloadSizeOffset = 4;
constexpr std::size_t kDownloadOffsetOffset = 8;
constexpr std::size_t kDownloadBufferSizeOffset = 16;
constexpr std::uint32_t kDownloadVersion = 1;
constexpr std::uint32_t kDownloadV2Version = 2;
constexpr std::size_t kActivateVersionOffset = 0;
constexpr std::size_t kActivateSizeOffset = 4;
constexpr std::uint32_t kActivateVersion = 1;

// Size, the structure's own length, is also where its image bytes begin.
void writeDownloadHeader(std::uint8_t* request, std::size_t dataOffset, std::uint32_t version,
                         std::size_t size, Piece piece) {
  put32(request, dataOffset + kDownloadVersionOffset, version);
  put32(request, dataOffset + kDownloadSizeOffset, static_cast<std::uint32_t>(size));
  put64(request, dataOffset + kDownloadOffsetOffset, piece.offset);
  put64(request, dataOffset + kDownloadBufferSizeOffset, piece.length);
}

}  // namespace

void writeBlock(std::uint8_t* request, std::size_t blockOffset, std::uint32_t requestLength,
                std::uint32_t function) {
  const auto data = static_cast<std::uint32_t>(dataOffset(blockOffset));
  put32(request, blockOffset + kVersionOffset, kVersion);
  put32(request, blockOffset + kSizeOffset, kLength);
  put32(request, blockOffset + kFunctionOffset, function);
  put32(request, blockOffset + kFlagsOffset, kFlagController);
  put32(request, blockOffset + kDataBufferOffsetOffset, data);
  put32(request, blockOffset + kDataBufferLengthOffset, requestLength - data);
}

void writeDownload(std::uint8_t* request, std::size_t dataOffset, Piece piece, const std::uint8_t* pieceBytes) {
  writeDownloadHeader(request, dataOffset, kDownloadVersion, kDownloadImageOffset, piece);
  putBytes(request, dataOffset + kDownloadImageOffset, pieceBytes, piece.length);
}

void writeDownloadV2(std::uint8_t* request, std::size_t dataOffset, Piece piece, const std::uint8_t* pieceBytes,
                     std::uint8_t slot) {
  writeDownloadHeader(request, dataOffset, kDownloadV2Version, kDownloadV2ImageOffset, piece);
  put8(request, dataOffset + kDownloadV2SlotOffset, slot);
  put32(request, dataOffset + kDownloadV2ImageSizeOffset, 0);
  putBytes(request, dataOffset + kDownloadV2ImageOffset, pieceBytes, piece.length);
}

void writeActivate(std::uint8_t* request, std::size_t dataOffset, std::uint8_t slotToActivate) {
  put32(request, dataOffset + kActivateVersionOffset, kActivateVersion);
  put32(request, dataOffset + kActivateSizeOffset, kActivateLength);
  put8(request, dataOffset + kActivateSlotOffset, slotToActivate);
}

}  // namespace koa::firmware_block
