#include "sim/inbox_firmware.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "platform/win_types.h"
#include "sim/inbox_wire.h"
#include "sim/sim_bytes.h"

namespace koa::sim {

using namespace inboxwire;
using namespace firmware;

namespace {

// Writes the STORAGE_FIRMWARE_INFO (or _V2) at the start of the function's
// data.
void writeFirmwareInfo(const NvmeDrive& drive, const FirmwareInfoAnswer& answer, std::span<std::uint8_t> data) {
  const FirmwareSlotInfo info = drive.firmwareSlotInfo();
  const bool v2 = answer.version == 2;
  const std::size_t slotsAt = v2 ? kInfoV2Slots : kInfoV1Slots;
  const std::size_t slotLength = v2 ? kInfoV2SlotLength : kInfoV1SlotLength;
  const std::size_t revisionLength = v2 ? kInfoV2RevisionLength : kInfoV1RevisionLength;
  std::vector<std::uint8_t> image(slotsAt + info.slots.size() * slotLength, 0);
  setLe32(image, kInfoVersion, answer.version);
  setLe32(image, kInfoSize, static_cast<std::uint32_t>(slotsAt + slotLength));  // sizeof, one slot
  setLe8(image, kInfoUpgradeSupport, info.upgradeSupport ? 1 : 0);
  setLe8(image, kInfoSlotCount, static_cast<std::uint8_t>(info.slots.size()));
  setLe8(image, kInfoActiveSlot, info.activeSlot);
  setLe8(image, kInfoPendingActivateSlot, info.pendingActivateSlot != 0 ? info.pendingActivateSlot : kNoSlot);
  if (v2) {
    setLe8(image, kInfoV2FirmwareShared, 1);
    // Without a granularity the driver still asks for whole 4 KiB units.
    setLe32(image, kInfoV2ImagePayloadAlignment,
            static_cast<std::uint32_t>(drive.downloadGranularity().value_or(kFirmwareGranularityUnit)));
    setLe32(image, kInfoV2ImagePayloadMaxSize, static_cast<std::uint32_t>(drive.expectedImageLength()));
  }
  for (std::size_t i = 0; i < info.slots.size(); ++i) {
    const std::size_t entry = slotsAt + i * slotLength;
    setLe8(image, entry + kSlotNumber, info.slots[i].number);
    setLe8(image, entry + kSlotReadOnly, info.slots[i].readOnly ? 1 : 0);
    setText(image, entry + kSlotRevision, revisionLength, info.slots[i].revision, 0);
  }
  std::copy(image.begin(), image.end(), data.begin());
}

std::uint32_t getInfo(const NvmeDrive& drive, const FirmwareInfoAnswer& answer, std::span<std::uint8_t> data) {
  // Nothing is sent with get info: the data area comes zero.
  if (!allZero(data, 0, data.size())) return kStatusInvalidParameter;
  const std::size_t slots = drive.firmwareSlotInfo().slots.size();
  const std::size_t needed = answer.version == 2 ? kInfoV2Slots + slots * kInfoV2SlotLength
                                                 : kInfoV1Slots + slots * kInfoV1SlotLength;
  if (data.size() < needed) return kStatusOutputBufferTooSmall;
  writeFirmwareInfo(drive, answer, data);
  return kStatusSuccess;
}

std::uint32_t download(NvmeDrive& drive, std::span<const std::uint8_t> data) {
  if (data.size() <= kDownloadImage) return kStatusInvalidParameter;
  if (le32(data, kDownloadVersion) != kDownloadStructVersion || le32(data, kDownloadSize) != kDownloadStructSize)
    return kStatusInvalidParameter;
  if (le64(data, kDownloadBufferSize) != data.size() - kDownloadImage) return kStatusInvalidParameter;
  return statusOf(drive.firmwareImageDownload(le64(data, kDownloadOffset), data.subspan(kDownloadImage)));
}

std::uint32_t activate(NvmeDrive& drive, std::span<const std::uint8_t> data) {
  if (data.size() < kActivateBytes) return kStatusInvalidParameter;
  if (le32(data, kActivateVersion) != kActivateStructVersion || le32(data, kActivateSize) != kActivateBytes)
    return kStatusInvalidParameter;
  if (!allZero(data, kActivateReserved, data.size())) return kStatusInvalidParameter;
  // As the inbox driver does: replace and activate at once when the
  // controller can (Identify FRMW bit 4), otherwise replace and let the next
  // reset activate the image.
  const bool withoutReset = (drive.identify()[kIdentifyFrmwAt] & kFrmwActivationWithoutReset) != 0;
  return commitStatusOf(drive, drive.firmwareCommit(le8(data, kActivateSlot), withoutReset
                                                                                   ? kCommitReplaceActivateNow
                                                                                   : kCommitReplaceActivateAtReset));
}

// Whether the header names the driver's firmware interface: its signature
// and control code.
bool namesFirmwareInterface(std::span<const std::uint8_t> request) {
  return std::memcmp(request.data() + kSignatureAt, kFirmwareSignature, sizeof kFirmwareSignature) == 0 &&
         le32(request, kControlCodeAt) == kIoctlScsiMiniportFirmware;
}

}  // namespace

std::uint32_t firmwareFunction(std::span<const std::uint8_t> input) {
  if (input.size() < kFunctionData || !namesFirmwareInterface(input)) return 0;
  return le32(input, kBlockAt + kFunction);
}

IoResult answerFirmwareRequest(NvmeDrive& drive, const FirmwareInfoAnswer& infoAnswer,
                               std::vector<std::uint8_t>& buffer, std::uint32_t inSize, std::uint32_t outSize) {
  if (!srb::portTakesInPlace(buffer, inSize, outSize)) return ioFailure(ERROR_INVALID_PARAMETER);
  const std::span<std::uint8_t> request(buffer.data(), inSize);
  if (le32(request, kTimeoutAt) != kFirmwareTimeout || le32(request, kReturnCodeAt) != 0)
    return ioFailure(ERROR_INVALID_PARAMETER);
  if (!namesFirmwareInterface(request)) return ioFailure(ERROR_INVALID_FUNCTION);
  if (inSize < kFunctionData) return ioFailure(ERROR_INVALID_PARAMETER);

  std::uint32_t status = kStatusInvalidParameter;
  const std::span<std::uint8_t> data = request.subspan(kFunctionData);
  if (blockWellFormed(request, kBlockAt)) {
    switch (le32(request, kBlockAt + kFunction)) {
      case kFunctionGetInfo: status = getInfo(drive, infoAnswer, data); break;
      case kFunctionDownload: status = download(drive, data); break;
      case kFunctionActivate: status = activate(drive, data); break;
      default: status = kStatusIllegalRequest; break;
    }
  }
  setLe32(request, kReturnCodeAt, status);
  return ioSuccess(inSize);
}

}  // namespace koa::sim
