#include "platform/platform.h"
#include "report/console.h"
#include "report/number_text.h"
#include "transfer/firmware_image.h"
#include "transfer/intel_fw_request.h"
#include "transfer/irst_path.h"
#include "wire/in_place_ioctl.h"
#include "wire/piece_walk.h"
#include "wire/request_buffer.h"
#include "wire/srb_io_control.h"

namespace koa {
namespace {

// Sends one piece; reports and returns false when the driver refuses it.
bool sendPiece(Handle device, RequestBuffer& buffer, std::uint8_t pathId, Piece piece) {
  const std::size_t requestSize = intel_fw::downloadRequestSize(piece.length);
  buffer.zero(requestSize);
  intel_fw::writeDownloadRequest(buffer.data(), pathId, piece, imageBuffer);

  const auto size = static_cast<std::uint32_t>(requestSize);
  if (!sendInPlace(device, IOCTL_SCSI_MINIPORT, buffer, size, size)) {
    console::wide(u"  [ERROR] Firmware download IOCTL failed: 0x" +
                  widen(hexUpper(currentPlatform().GetLastError())) + u"\n");
    return false;
  }
  const auto status = static_cast<std::int32_t>(srb::returnCode(buffer));
  if (status != 0) {
    console::wide(u"  [ERROR] Firmware download failed: srbControl->ReturnCode " +
                  widen(decimal(status)) + u"\n");
    return false;
  }
  return true;
}

}  // namespace

ResultCode downloadIrst(Handle device, const DriveRecord& target, const std::uint32_t& imageSize) {
  const std::uint32_t pieceSize = pieceSizeFor(target.updateGranularity);
  const auto pathId = static_cast<std::uint8_t>(target.pathId & 0xFF);

  // One buffer for the whole download, sized for a whole piece; a shorter
  // last piece is sent from its beginning, as long as its own request.
  RequestBuffer buffer(intel_fw::downloadRequestSize(pieceSize));
  const bool sent = buffer.ok() && walkPieces(imageSize, pieceSize, [&](Piece piece) {
                      return sendPiece(device, buffer, pathId, piece);
                    });

  console::narrowLineEnd();
  console::narrowLine(sent ? "  [PASS] Firmware download succeeded." : "  [FAIL] Firmware download failed.");
  return sent ? result::kSucceeded : result::kFailed;
}

}  // namespace koa
