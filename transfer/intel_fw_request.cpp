#include "transfer/intel_fw_request.h"

#include "wire/byte_order.h"
#include "wire/srb_io_control.h"

namespace koa::intel_fw {
namespace {

// The header and request block of both requests. The length comes from the
// request, not from the buffer: a shorter last piece is sent from the
// download buffer sized for a whole piece.
void writeCommonPart(std::uint8_t* request, std::size_t requestSize, std::uint8_t pathId,
                     std::uint32_t function) {
  const auto length = static_cast<std::uint32_t>(requestSize);
  srb::writeHeader(request, length, kSignature, kTimeoutSeconds, kControlCode);
  irst::writeDriveAddress(request, pathId);
  firmware_block::writeBlock(request, kRequestBlockOffset, length, function);
}

}  // namespace

void writeDownloadRequest(std::uint8_t* request, std::uint8_t pathId, Piece piece,
                          const std::uint8_t* image) {
  writeCommonPart(request, downloadRequestSize(piece.length), pathId, firmware_block::kFunctionDownload);
  firmware_block::writeDownloadV2(request, kDataBufferOffset, piece, image + piece.offset, kDownloadSlotNone);
}

void writeActivateRequest(std::uint8_t* request, std::uint8_t pathId) {
  writeCommonPart(request, kActivateRequestSize, pathId, firmware_block::kFunctionActivate);
  firmware_block::writeActivate(request, kDataBufferOffset, kActivateSlot);
}

}  // namespace koa::intel_fw
