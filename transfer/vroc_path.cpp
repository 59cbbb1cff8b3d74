#include "transfer/vroc_path.h"

#include <optional>
#include <string>

#include "discovery/vroc_port.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "report/console.h"
#include "report/number_text.h"
#include "transfer/nvme_raid_request.h"
#include "transfer/piece_walk.h"
#include "transfer/request_buffer.h"
#include "transfer/srb_io_control.h"
#include "transfer/target_display.h"

namespace koa {
namespace {

// One piece: true when the driver and the drive accepted it. Each failure is
// reported here, where it is met.
bool sendPiece(Handle port, RequestBuffer& request) {
  Platform& platform = currentPlatform();
  std::uint32_t bytesReturned = 0;
  // Only the header, the command and the completion entry come back.
  if (!platform.DeviceIoControl(port, IOCTL_SCSI_MINIPORT, /*inBuffer=*/request.data(), request.size32(),
                                /*outBuffer=*/request.data(), nvme_raid::kFirmwareReturnLength,
                                &bytesReturned)) {
    console::wide(u"  [ERROR] Firmware download IOCTL failed: 0x" + widen(hexUpper(platform.GetLastError())) +
                  u"\n");
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

std::uint32_t updateVrocDrive(const DriveRecord& target, const std::uint32_t& imageSize, std::int32_t vrocPort) {
  writeTargetDisplayBlock(target);
  Platform& platform = currentPlatform();
  const std::u16string path = vrocPortPath(vrocPort);
  UniqueHandle port(platform.CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, /*shareMode=*/0,
                                         /*creationDisposition=*/OPEN_EXISTING, /*flagsAndAttributes=*/0));
  if (!port.valid()) {
    console::narrow("  [ERROR] Failed to get disk handle: 0x" + hexLower(platform.GetLastError()));
    console::narrowLineEnd();
    console::narrowLineEnd();
    return kVrocNotReachedOrRefused;
  }
  if (downloadVroc(port.get(), target, imageSize) != kVrocDownloaded) return kVrocFailed;
  return activateVroc(port.get(), target.vrocDiskId);
}

std::uint32_t downloadVroc(Handle port, const DriveRecord& target, const std::uint32_t& imageSize) {
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
        nvme_raid::buildFirmwareImageDownload(*request, target.vrocDiskId, piece);
        return sendPiece(port, *request);
      });
  console::narrowLineEnd();
  console::narrow(downloaded ? "  [PASS] Firmware download succeeded." : "  [FAIL] Firmware download failed.");
  console::narrowLineEnd();
  return downloaded ? kVrocDownloaded : kVrocFailed;
}

}  // namespace koa
