#include "transfer/intel_fw_request.h"

#include "transfer/byte_order.h"
#include "transfer/srb_io_control.h"

namespace koa::intel_fw {
namespace {

// The header and request block of both requests. The length comes from the
// request, not from the buffer: a shorter last piece is sent from the
// download buffer sized for a whole piece.
void writeCommonPart(std::uint8_t* request, std::size_t requestSize, std::uint8_t pathId,
                     std::uint32_t function) {
  const auto length = static_cast<std::uint32_t>(requestSize);
  srb::writeHeader(request, length, kSignature, kTimeoutSeconds, kControlCode);
  put8(request, kDriveAddressOffset, kDriveAddressFirstByte);
  put8(request, kPathIdOffset, pathId);
  put32(request, kBlockVersionOffset, kBlockVersion);
  put32(request, kBlockSizeOffset, kBlockSize);
  put32(request, kFunctionOffset, function);
  put32(request, kFlagsOffset, kFlagController);
  put32(request, kDataBufferOffsetOffset, kDataBufferOffset);
  put32(request, kDataBufferLengthOffset, length - kDataBufferOffset);
}

}  // namespace

void writeDownloadRequest(std::uint8_t* request, std::uint8_t pathId, Piece piece,
                          const std::uint8_t* image) {
  writeCommonPart(request, downloadRequestSize(piece.length), pathId, kFunctionDownload);
  put32(request, kDownloadVersionOffset, kDownloadVersion);
  put32(request, kDownloadSizeOffset, kDownloadSize);
  put64(request, kDownloadImageOffsetOffset, piece.offset);
  put64(request, kDownloadBufferSizeOffset, piece.length);
  put8(request, kDownloadSlotOffset, kDownloadSlotNone);
  put32(request, kDownloadImageSizeOffset, 0);
  putBytes(request, kDownloadDataOffset, image + piece.offset, piece.length);
}

void writeActivateRequest(std::uint8_t* request, std::uint8_t pathId) {
  writeCommonPart(request, kActivateRequestSize, pathId, kFunctionActivate);
  put32(request, kActivateVersionOffset, kActivateVersion);
  put32(request, kActivateSizeOffset, kActivateSize);
  put8(request, kActivateSlotOffset, kActivateSlot);
}

}  // namespace koa::intel_fw
