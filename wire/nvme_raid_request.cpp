#include "wire/nvme_raid_request.h"

#include <cstring>

#include "wire/byte_order.h"
#include "wire/srb_io_control.h"

namespace koa::nvme_raid {
namespace {

void writeFirmwareTail(std::uint8_t* b, std::uint32_t dataLength) {
  put32(b, kDataDirectionOffset, kHostToDevice);
  put32(b, kQueueIdOffset, 0);
  put32(b, kDataLengthOffset, dataLength);
  put32(b, kMetadataLengthOffset, 0);
  put32(b, kReturnBufferLengthOffset, kFirmwareReturnLength);
}

std::uint32_t target(std::int32_t vrocDiskId) { return static_cast<std::uint32_t>(vrocDiskId); }

}  // namespace

void writeHeader(RequestBuffer& request, std::uint32_t timeout, std::uint32_t controlCode,
                 std::uint32_t returnCode) {
  srb::writeHeader(request, kSignature, timeout, controlCode, returnCode);
}

void buildIdentify(RequestBuffer& request, std::int32_t vrocDiskId) {
  writeHeader(request, kIdentifyTimeout, kControlCode, target(vrocDiskId));
  std::uint8_t* b = request.data();
  put32(b, commandDwordOffset(0), nvme::kOpcodeIdentify);
  put32(b, commandDwordOffset(10), nvme::kCnsIdentifyController);
  put32(b, kDataDirectionOffset, kDeviceToHost);
  put32(b, kReturnBufferLengthOffset, static_cast<std::uint32_t>(kIdentifyRequestLength));
  std::memset(b + kDataOffset, kIdentifyFill, kIdentifyDataLength);
}

void buildFirmwareImageDownload(RequestBuffer& request, std::int32_t vrocDiskId, Piece piece,
                                const std::uint8_t* image) {
  writeHeader(request, kFirmwareTimeout, kControlCode, target(vrocDiskId));
  std::uint8_t* b = request.data();
  put8(b, commandDwordOffset(0), nvme::kOpcodeFirmwareImageDownload);
  // NUMD is zero-based and OFST counts dwords; pieces are whole dwords.
  put32(b, commandDwordOffset(10), piece.length / 4 - 1);
  put32(b, commandDwordOffset(11), piece.offset / 4);
  writeFirmwareTail(b, piece.length);
  putBytes(b, kDataOffset, image + piece.offset, piece.length);
}

void buildFirmwareCommit(RequestBuffer& request, std::int32_t vrocDiskId) {
  writeHeader(request, kFirmwareTimeout, kControlCode, target(vrocDiskId));
  std::uint8_t* b = request.data();
  put8(b, commandDwordOffset(0), nvme::kOpcodeFirmwareCommit);
  put32(b, commandDwordOffset(10), kCommitSlot2ActivateAtReset);
  writeFirmwareTail(b, 0);
}

}  // namespace koa::nvme_raid
