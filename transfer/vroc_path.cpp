#include "transfer/vroc_path.h"

#include <optional>
#include <string>

#include "platform/platform.h"
#include "report/console.h"
#include "report/number_text.h"
#include "transfer/firmware_image.h"
#include "transfer/target_device.h"
#include "transfer/target_display.h"
#include "wire/device_path.h"
#include "wire/in_place_ioctl.h"
#include "wire/nvme_raid_request.h"
#include "wire/piece_walk.h"
#include "wire/request_buffer.h"
#include "wire/srb_io_control.h"

namespace koa {
namespace {

// One piece: true when the driver and the drive accepted it. Each failure is
// reported here, where it is met.
bool sendPiece(Handle port, RequestBuffer& request) {
  // Only the header, the command and the completion entry come back.
  if (!sendInPlace(port, IOCTL_SCSI_MINIPORT, request, request.size32(), nvme_raid::kFirmwareReturnLength)) {
    console::wide(u"  [ERROR] Firmware download IOCTL failed: 0x" +
                  widen(hexUpper(currentPlatform().GetLastError())) + u"\n");
    return false;
  }
  const std::uint32_t returnCode = srb::returnCode(request);
  if (returnCode != 0) {
    console::wide(u"  [ERROR] Firmware download failed: srbControl->ReturnCode " +
                  widen(decimal(static_cast<std::int32_t>(returnCode))) + u"\n");
    return false;
  }
  const std::uint32_t dword3 = nvme_raid::completionDword3(request);
  if (dword3 >= nvme_raid::kFirstFailingDword3) {
    console::wide(u"  [ERROR] Firmware download failed: (nvmePassThroughIoctl->CplEntry[3]) >> 17: 0x" +
                  widen(hex08(dword3 >> nvme_raid::kStatusShift)) + u"\n");
    return false;
  }
  return true;
}

}  // namespace

ResultCode updateVrocDrive(const DriveRecord& target, const std::uint32_t& imageSize, std::int32_t vrocPort) {
  writeTargetDisplayBlock(target);
  const UniqueHandle port = openTargetDevice(vrocPortPath(vrocPort), /*shareMode=*/0);
  if (!port.valid()) return result::kNotReached;
  if (downloadVroc(port.get(), target, imageSize) != result::kSucceeded) return result::kFailed;
  return activateVroc(port.get(), target.vrocDiskId);
}

ResultCode downloadVroc(Handle port, const DriveRecord& target, const std::uint32_t& imageSize) {
  // One buffer for every piece of the drive's length; a shorter last piece
  // gets its own, because a request is exactly as long as its data.
  std::optional<RequestBuffer> request;
  const bool downloaded =
      walkPieces(imageSize, pieceSizeFor(target.updateGranularity), [&](const Piece& piece) {
        const std::size_t length = nvme_raid::downloadRequestLength(piece.length);
        if (request && request->size() == length) {
          request->zero();
        } else {
          request.emplace(length);
          if (!request->ok()) return false;
        }
        nvme_raid::buildFirmwareImageDownload(*request, target.vrocDiskId, piece, imageBuffer);
        return sendPiece(port, *request);
      });
  console::narrowLineEnd();
  console::narrowLine(downloaded ? "  [PASS] Firmware download succeeded." : "  [FAIL] Firmware download failed.");
  return downloaded ? result::kSucceeded : result::kFailed;
}

}  // namespace koa
