#include "transfer/inbox_path.h"

#include <optional>
#include <string>

#include "report/console.h"
#include "report/number_text.h"
#include "transfer/firmware_info.h"
#include "transfer/inbox_download.h"
#include "transfer/inbox_requests.h"
#include "transfer/target_device.h"
#include "transfer/target_display.h"
#include "wire/in_place_ioctl.h"
#include "wire/piece_walk.h"

namespace koa {
namespace {

// Get info and slot choice. The slot, or the result code to return.
struct SlotChoice {
  std::optional<std::uint8_t> slot;
  ResultCode result = result::kNotReached;
};

SlotChoice chooseTargetSlot(const UniqueHandle& drive, RequestBuffer& buffer) {
  Platform& platform = currentPlatform();
  buffer.zero();
  inbox::buildGetInfo(buffer);
  if (!sendInPlace(drive.get(), IOCTL_SCSI_MINIPORT, buffer)) {
    inbox::writeStatusLine(u"Get device Information Failed: 0x", platform.GetLastError());
    return {};
  }
  if (const std::uint32_t status = srb::returnCode(buffer); status != 0) {
    inbox::writeStatusLine(u"Get device info failed. ReturnCode: 0x", status);
    return {};
  }
  const inbox::FirmwareInfo info = inbox::readFirmwareInfo(buffer);
  switch (info.reading) {
    case inbox::FirmwareInfo::Reading::InfoOutside:
      inbox::writeStatusLine(u"Get device info failed. DataBufferOffset out of range: 0x", info.dataBufferOffset);
      return {};
    case inbox::FirmwareInfo::Reading::UnknownVersion:
      inbox::writeStatusLine(u"Get device info failed. Unsupported Version: 0x", info.version);
      return {};
    case inbox::FirmwareInfo::Reading::SlotsOutside:
      inbox::writeStatusLine(u"Get device info failed. SlotCount out of range: 0x", info.slotCount);
      return {};
    case inbox::FirmwareInfo::Reading::Read:
      break;
  }
  const std::optional<std::uint8_t> slot = inbox::chooseSlot(info);
  if (!slot) return {std::nullopt, result::kFailed};  // no writable slot: nothing is written
  return {slot, result::kSucceeded};
}

ResultCode activate(const UniqueHandle& drive, RequestBuffer& buffer, std::uint8_t slot) {
  buffer.zero();
  inbox::buildActivate(buffer, slot);
  if (!sendInPlace(drive.get(), IOCTL_SCSI_MINIPORT, buffer)) {
    inbox::writeStatusLine(u"DeviceIO failed. activate failed: 0x", currentPlatform().GetLastError());
    return result::kNotReached;
  }
  const std::uint32_t status = srb::returnCode(buffer);
  if (status == firmware_block::kStatusSuccess) return result::kSucceeded;
  // The drive holds the new image but runs it only after a power cycle; the
  // caller must learn that a reboot is still needed.
  if (status == firmware_block::kStatusPowerCycleRequired) return result::kRebootRequired;
  return result::kFailed;
}

}  // namespace

ResultCode updateInboxDrive(const DriveRecord& target, const std::uint32_t& imageSize) {
  writeTargetDisplayBlock(target);

  const std::uint32_t pieceSize = pieceSizeFor(target.updateGranularity);
  RequestBuffer buffer(inbox::firmwareRequestLength(pieceSize));
  if (!buffer.ok()) return result::kNotReached;

  const UniqueHandle drive =
      openTargetDevice(target.devicePath, /*shareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!drive.valid()) return result::kNotReached;

  const SlotChoice choice = chooseTargetSlot(drive, buffer);
  if (!choice.slot) return choice.result;
  if (!inbox::downloadImage(drive, buffer, pieceSize, imageSize)) return result::kNotReached;
  return activate(drive, buffer, *choice.slot);
}

}  // namespace koa
