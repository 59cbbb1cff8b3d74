#include "transfer/inbox_path.h"

#include <optional>
#include <string>

#include "report/console.h"
#include "report/number_text.h"
#include "transfer/firmware_image.h"
#include "transfer/firmware_info.h"
#include "transfer/inbox_drive.h"
#include "transfer/inbox_requests.h"
#include "transfer/piece_walk.h"
#include "transfer/target_display.h"

namespace koa {
namespace {

constexpr std::int32_t kActivated = 0;
constexpr std::int32_t kActivatedAfterPowerCycle = 1602;
constexpr std::int32_t kRefused = 1;
constexpr std::int32_t kRequestFailed = 5;

// One status line on the wide stream: the text and a number in lower-case
// hexadecimal.
void statusLine(std::u16string_view text, std::uint64_t number) {
  console::wide(std::u16string(text) + widen(hexLower(number)));
  console::wideLineEnd();
}

// Get info and slot choice. The slot, or the result code to return.
struct SlotChoice {
  std::optional<std::uint8_t> slot;
  std::int32_t result = kRequestFailed;
};

SlotChoice chooseTargetSlot(const UniqueHandle& drive, RequestBuffer& buffer) {
  Platform& platform = currentPlatform();
  buffer.zero();
  inbox::buildGetInfo(buffer);
  if (!inbox::sendRequest(drive, IOCTL_SCSI_MINIPORT, buffer, buffer.size32())) {
    statusLine(u"Get device Information Failed: 0x", platform.GetLastError());
    return {};
  }
  if (const std::uint32_t status = srb::returnCode(buffer); status != 0) {
    statusLine(u"Get device info failed. ReturnCode: 0x", status);
    return {};
  }
  const inbox::FirmwareInfo info = inbox::readFirmwareInfo(buffer);
  switch (info.reading) {
    case inbox::FirmwareInfo::Reading::InfoOutside:
      statusLine(u"Get device info failed. DataBufferOffset out of range: 0x", info.dataBufferOffset);
      return {};
    case inbox::FirmwareInfo::Reading::UnknownVersion:
      statusLine(u"Get device info failed. Unsupported Version: 0x", info.version);
      return {};
    case inbox::FirmwareInfo::Reading::SlotsOutside:
      statusLine(u"Get device info failed. SlotCount out of range: 0x", info.slotCount);
      return {};
    case inbox::FirmwareInfo::Reading::Read:
      break;
  }
  const std::optional<std::uint8_t> slot = inbox::chooseSlot(info);
  if (!slot) return {std::nullopt, kRefused};  // no writable slot: nothing is written
  return {slot, kActivated};
}

// The bounded walk over the image; the first failed piece ends it. True when
// every piece was accepted.
bool download(const UniqueHandle& drive, RequestBuffer& buffer, std::uint32_t pieceSize,
              std::uint32_t imageSize) {
  Platform& platform = currentPlatform();
  return walkPieces(imageSize, pieceSize, [&](const Piece& piece) {
    buffer.zero();
    const std::uint32_t requestLength =
        inbox::buildDownload(buffer, piece.offset, imageBuffer + piece.offset, piece.length);
    if (!inbox::sendRequest(drive, IOCTL_SCSI_MINIPORT, buffer, requestLength)) {
      statusLine(u"DeviceIO failed. Function: 0x", platform.GetLastError());
      return false;
    }
    if (const std::uint32_t status = srb::returnCode(buffer); status != 0) {
      statusLine(u"DeviceIO failed. ReturnCode: 0x", status);
      return false;
    }
    return true;
  });
}

std::int32_t activate(const UniqueHandle& drive, RequestBuffer& buffer, std::uint8_t slot) {
  buffer.zero();
  inbox::buildActivate(buffer, slot);
  if (!inbox::sendRequest(drive, IOCTL_SCSI_MINIPORT, buffer, buffer.size32())) {
    statusLine(u"DeviceIO failed. activate failed: 0x", currentPlatform().GetLastError());
    return kRequestFailed;
  }
  const std::uint32_t status = srb::returnCode(buffer);
  if (status == 0) return kActivated;
  // The drive holds the new image but runs it only after a power cycle; the
  // caller must learn that a reboot is still needed.
  if (status == inbox::kFirmwareStatusPowerCycleRequired) return kActivatedAfterPowerCycle;
  return kRefused;
}

}  // namespace

std::int32_t updateInboxDrive(const DriveRecord& target, const std::uint32_t& imageSize) {
  writeTargetDisplayBlock(target);

  const std::uint32_t pieceSize = pieceSizeFor(target.updateGranularity);
  RequestBuffer buffer(inbox::firmwareRequestLength(pieceSize));
  if (!buffer.ok()) return kRequestFailed;

  const UniqueHandle drive = inbox::openDrive(target.devicePath);
  if (!drive.valid()) return kRequestFailed;

  const SlotChoice choice = chooseTargetSlot(drive, buffer);
  if (!choice.slot) return choice.result;
  if (!download(drive, buffer, pieceSize, imageSize)) return kRequestFailed;
  return activate(drive, buffer, *choice.slot);
}

}  // namespace koa
