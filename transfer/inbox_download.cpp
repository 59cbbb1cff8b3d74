#include "transfer/inbox_download.h"

#include <string>

#include "report/console.h"
#include "report/number_text.h"
#include "transfer/firmware_image.h"
#include "transfer/inbox_requests.h"
#include "wire/in_place_ioctl.h"
#include "wire/piece_walk.h"

namespace koa::inbox {

void writeStatusLine(std::u16string_view text, std::uint64_t number) {
  console::wideLine(std::u16string(text) + widen(hexLower(number)));
}

bool downloadImage(const UniqueHandle& drive, RequestBuffer& buffer, std::uint32_t pieceSize,
                   std::uint32_t imageSize) {
  Platform& platform = currentPlatform();
  return walkPieces(imageSize, pieceSize, [&](const Piece& piece) {
    buffer.zero(firmwareRequestLength(piece.length));
    const std::uint32_t requestLength = buildDownload(buffer, piece.offset, imageBuffer + piece.offset, piece.length);
    if (!sendInPlace(drive.get(), IOCTL_SCSI_MINIPORT, buffer, requestLength, requestLength)) {
      writeStatusLine(u"DeviceIO failed. Function: 0x", platform.GetLastError());
      return false;
    }
    if (const std::uint32_t status = srb::returnCode(buffer); status != 0) {
      writeStatusLine(u"DeviceIO failed. ReturnCode: 0x", status);
      return false;
    }
    return true;
  });
}

}  // namespace koa::inbox
