#include "transfer/nvme_raid_request.h"

#include <cstring>

#include "transfer/byte_order.h"
#include "transfer/firmware_image.h"
#include "transfer/srb_io_control.h"

namespace koa::nvme_raid {
namespace {

void writeHeader(RequestBuffer& request, std::uint32_t timeout, std::int32_t vrocDiskId) {
  // The driver reads the target disk from the ReturnCode field.
  srb::writeHeader(request, kSignature, timeout, kControlCode, static_cast<std::uint32_t>(vrocDiskId));
}

void writeFirmwareTail(std::uint8_t* b, std::uint32_t dataLength) {
  put32(b, kDataDirectionOffset, kHostToDevice);
  put32(b, kQueueIdOffset, 0);
  put32(b, kDataLengthOffset, dataLength);
  put32(b, kMetadataLengthOffset, 0);
  put32(b, kReturnBufferLengthOffset, kFirmwareReturnLength);
}

}  // namespace

void buildIdentify(RequestBuffer& request, std::int32_t vrocDiskId) {
  writeHeader(request, kIdentifyTimeout, vrocDiskId);
  std::uint8_t* b = request.data();
  put32(b, commandDwordOffset(0), kOpcodeIdentify);
  put32(b, commandDwordOffset(10), kCnsIdentifyController);
  put32(b, kDataDirectionOffset, kDeviceToHost);
  put32(b, kReturnBufferLengthOffset, static_cast<std::uint32_t>(kIdentifyRequestLength));
  std::memset(b + kDataOffset, kIdentifyFill, kIdentifyDataLength);
}

void buildFirmwareImageDownload(RequestBuffer& request, std::int32_t vrocDiskId, Piece piece) {
  writeHeader(request, kFirmwareTimeout, vrocDiskId);
  std::uint8_t* b = request.data();
  put8(b, commandDwordOffset(0), kOpcodeFirmwareImageDownload);
  // NUMD is zero-based and OFST counts dwords; pieces are whole dwords.
  put32(b, commandDwordOffset(10), piece.length / 4 - 1);
  put32(b, commandDwordOffset(11), piece.offset / 4);
  writeFirmwareTail(b, piece.length);
  putBytes(b, kDataOffset, imageBuffer + piece.offset, piece.length);
}

void buildFirmwareCommit(RequestBuffer& request, std::int32_t vrocDiskId) {
  writeHeader(request, kFirmwareTimeout, vrocDiskId);
  std::uint8_t* b = request.data();
  put8(b, commandDwordOffset(0), kOpcodeFirmwareCommit);
  put32(b, commandDwordOffset(10), kCommitSlot2ActivateAtReset);
  writeFirmwareTail(b, 0);
}

}  // namespace koa::nvme_raid
