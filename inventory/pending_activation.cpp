#include "inventory/pending_activation.h"

#include "discovery/intel_nvm_request.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "transfer/firmware_info.h"
#include "transfer/inbox_requests.h"
#include "wire/device_path.h"
#include "wire/firmware_slot_log.h"
#include "wire/in_place_ioctl.h"
#include "wire/nvme_raid_request.h"
#include "wire/piece_walk.h"
#include "wire/srb_io_control.h"

namespace koa {
namespace {

// Opened as the identify queries of the route open it, never exclusively:
// looking must not keep an update or another program from the device.
UniqueHandle openShared(const std::u16string& path) {
  return UniqueHandle(currentPlatform().CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL));
}

std::u16string widenAscii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

PendingActivation fromSlotLog(const std::uint8_t* log) {
  const nvme::FirmwareSlotLog slots = nvme::readFirmwareSlotLog(log);
  PendingActivation pending;
  pending.known = true;
  pending.activeSlot = slots.activeSlot;
  pending.nextSlot = slots.nextSlot;
  if (slots.nextSlot != 0) pending.nextRevision = widenAscii(slots.revisions[slots.nextSlot]);
  return pending;
}

PendingActivation readInbox(const DriveRecord& drive) {
  const UniqueHandle handle(currentPlatform().CreateFileW(drive.devicePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0));
  if (!handle.valid()) return {};
  // The get-info request exactly as the inbox path sends it for this drive.
  RequestBuffer request(inbox::firmwareRequestLength(pieceSizeFor(drive.updateGranularity)));
  if (!request.ok()) return {};
  inbox::buildGetInfo(request);
  if (!sendInPlace(handle.get(), IOCTL_SCSI_MINIPORT, request) || srb::returnCode(request) != 0) return {};
  const inbox::FirmwareInfo info = inbox::readFirmwareInfo(request);
  if (info.reading != inbox::FirmwareInfo::Reading::Read) return {};
  PendingActivation pending;
  pending.known = true;
  pending.activeSlot = info.activeSlot;
  if (info.pendingActivateSlot == inbox::kNoPendingSlot) return pending;
  pending.nextSlot = info.pendingActivateSlot;
  for (const inbox::FirmwareSlot& slot : info.slots)
    if (slot.slotNumber == info.pendingActivateSlot) pending.nextRevision = widenAscii(slot.revision);
  return pending;
}

PendingActivation readIrst(const DriveRecord& drive) {
  RequestBuffer request(intel_nvm::kRequestSize);
  if (!request.ok()) return {};
  intel_nvm::writeIdentifyRequest(request, drive.pathId);
  nvme::writeFirmwareSlotLogCommand(request.data() + intel_nvm::kCommandOffset);
  const UniqueHandle controller = openShared(drive.devicePath);
  if (!controller.valid()) return {};
  if (!sendInPlace(controller.get(), IOCTL_SCSI_MINIPORT, request) || srb::returnCode(request) != 0) return {};
  return fromSlotLog(request.data() + intel_nvm::kDataOffset);
}

PendingActivation readVroc(const DriveRecord& drive, std::int32_t vrocPort) {
  if (vrocPort < 0) return {};
  RequestBuffer request(nvme_raid::kIdentifyRequestLength);
  if (!request.ok()) return {};
  nvme_raid::buildIdentify(request, drive.vrocDiskId);
  nvme::writeFirmwareSlotLogCommand(request.data() + nvme_raid::kCommandOffset);
  const UniqueHandle port = openShared(vrocPortPath(vrocPort));
  if (!port.valid()) return {};
  if (!sendInPlace(port.get(), IOCTL_SCSI_MINIPORT, request) || srb::returnCode(request) != 0 ||
      nvme_raid::completionDword3(request) >= nvme_raid::kFirstFailingDword3)
    return {};
  return fromSlotLog(request.data() + nvme_raid::kDataOffset);
}

}  // namespace

PendingActivation readPendingActivation(const DriveRecord& drive, std::int32_t vrocPort) {
  switch (drive.driverKind) {
    case DriverKind::Inbox:
      return readInbox(drive);
    case DriverKind::IrstRaid:
    case DriverKind::IrstNonRaid:
      return readIrst(drive);
    case DriverKind::VrocRaid:
    case DriverKind::VrocNonRaid:
      return readVroc(drive, vrocPort);
  }
  return {};
}

}  // namespace koa
