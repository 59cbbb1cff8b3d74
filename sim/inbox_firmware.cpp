#include "sim/inbox_firmware.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "platform/win_types.h"
#include "sim/inbox_wire.h"
#include "sim/sim_bytes.h"

namespace koa::sim {

using namespace inboxwire;

namespace {

constexpr std::uint64_t kGranuleUnit = 4096;
// Identify Controller FRMW, bit 4: the controller activates firmware
// without a reset.
constexpr std::size_t kIdentifyFrmw = 260;
constexpr std::uint8_t kFrmwActivationWithoutReset = 0x10;

bool allZero(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t to) {
  return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                     bytes.begin() + static_cast<std::ptrdiff_t>(to), [](std::uint8_t b) { return b == 0; });
}

// What the driver reports for an NVMe completion status of a firmware
// command.
std::uint32_t firmwareStatusOf(std::uint16_t nvmeStatus) {
  switch (nvmeStatus) {
    case kNvmeSuccess:
      return kStatusSuccess;
    case kNvmeInvalidOpcode:
      return kStatusIllegalRequest;
    case kNvmeInvalidField:
    case kNvmeOverlappingRange:
      return kStatusInvalidParameter;
    case kNvmeInvalidFirmwareSlot:
      return kStatusInvalidSlot;
    case kNvmeInvalidFirmwareImage:
      return kStatusInvalidImage;
    case kNvmeActivationRequiresConventionalReset:
    case kNvmeActivationRequiresSubsystemReset:
    case kNvmeActivationRequiresControllerReset:
      return kStatusPowerCycleRequired;
    default:
      return kStatusError;
  }
}

// Writes the STORAGE_FIRMWARE_INFO (or _V2) at DataBufferOffset.
void writeFirmwareInfo(const NvmeDrive& drive, const FirmwareInfoAnswer& answer, std::span<std::uint8_t> request) {
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
    const std::uint8_t fwug = drive.fwug();
    setLe32(image, kInfoV2ImagePayloadAlignment,
            static_cast<std::uint32_t>((fwug == 0 || fwug == 0xFF ? 1 : fwug) * kGranuleUnit));
    setLe32(image, kInfoV2ImagePayloadMaxSize, static_cast<std::uint32_t>(drive.expectedImageLength()));
  }
  for (std::size_t i = 0; i < info.slots.size(); ++i) {
    const std::size_t entry = slotsAt + i * slotLength;
    setLe8(image, entry + kSlotNumber, info.slots[i].number);
    setLe8(image, entry + kSlotReadOnly, info.slots[i].readOnly ? 1 : 0);
    setText(image, entry + kSlotRevision, revisionLength, info.slots[i].revision, 0);
  }
  std::copy(image.begin(), image.end(), request.begin() + static_cast<std::ptrdiff_t>(kFunctionData));
}

std::uint32_t getInfo(const NvmeDrive& drive, const FirmwareInfoAnswer& answer, std::span<std::uint8_t> request) {
  // Nothing is sent with get info: the data area comes zero.
  if (!allZero(request, kFunctionData, request.size())) return kStatusInvalidParameter;
  const std::size_t slots = drive.firmwareSlotInfo().slots.size();
  const std::size_t needed = answer.version == 2 ? kInfoV2Slots + slots * kInfoV2SlotLength
                                                 : kInfoV1Slots + slots * kInfoV1SlotLength;
  if (request.size() - kFunctionData < needed) return kStatusOutputBufferTooSmall;
  writeFirmwareInfo(drive, answer, request);
  return kStatusSuccess;
}

std::uint32_t download(NvmeDrive& drive, std::span<std::uint8_t> request) {
  if (request.size() <= kDownloadImage) return kStatusInvalidParameter;
  if (le32(request, kDownloadVersion) != 1 || le32(request, kDownloadSize) != 24) return kStatusInvalidParameter;
  const std::uint64_t bufferSize = le64(request, kDownloadBufferSize);
  if (bufferSize != request.size() - kDownloadImage) return kStatusInvalidParameter;
  const std::uint64_t offset = le64(request, kDownloadOffset);
  return firmwareStatusOf(drive.firmwareImageDownload(offset, request.subspan(kDownloadImage)));
}

std::uint32_t activate(NvmeDrive& drive, std::span<std::uint8_t> request) {
  if (request.size() < kActivateEnd) return kStatusInvalidParameter;
  if (le32(request, kActivateVersion) != 1 || le32(request, kActivateSize) != 12) return kStatusInvalidParameter;
  if (!allZero(request, kActivateSlot + 1, request.size())) return kStatusInvalidParameter;
  // As the inbox driver does: replace and activate at once when the
  // controller can (Identify FRMW bit 4), otherwise replace and let the next
  // reset activate the image.
  const std::vector<std::uint8_t> identify = drive.identify();
  const bool withoutReset = (identify[kIdentifyFrmw] & kFrmwActivationWithoutReset) != 0;
  const std::uint16_t status =
      drive.firmwareCommit(le8(request, kActivateSlot), withoutReset ? kCommitReplaceActivateNow
                                                                     : kCommitReplaceActivateAtReset);
  if (status == kNvmeSuccess && drive.activationPending()) return kStatusPowerCycleRequired;
  return firmwareStatusOf(status);
}

}  // namespace

std::uint32_t firmwareFunction(std::span<const std::uint8_t> input) {
  if (input.size() < kFunctionData || std::memcmp(input.data() + kSignatureAt, "FIRMWARE", 8) != 0 ||
      le32(input, kControlCodeAt) != kIoctlScsiMiniportFirmware)
    return 0;
  return le32(input, kFunction);
}

IoResult answerFirmwareRequest(NvmeDrive& drive, const FirmwareInfoAnswer& infoAnswer,
                               std::vector<std::uint8_t>& buffer, std::uint32_t inSize, std::uint32_t outSize) {
  // The port driver's checks of the SRB_IO_CONTROL: the header and Length
  // must describe exactly the buffer that came in and goes out.
  if (inSize < kHeaderBytes || outSize != inSize) return ioFailure(ERROR_INVALID_PARAMETER);
  const std::span<std::uint8_t> request(buffer.data(), inSize);
  if (le32(request, kHeaderLengthAt) != kHeaderBytes ||
      le32(request, kLengthAt) != inSize - kHeaderBytes || le32(request, kTimeoutAt) != kFirmwareTimeout ||
      le32(request, kReturnCodeAt) != 0)
    return ioFailure(ERROR_INVALID_PARAMETER);
  if (std::memcmp(request.data() + kSignatureAt, "FIRMWARE", 8) != 0 ||
      le32(request, kControlCodeAt) != kIoctlScsiMiniportFirmware)
    return ioFailure(ERROR_INVALID_FUNCTION);
  if (inSize < kFunctionData) return ioFailure(ERROR_INVALID_PARAMETER);

  std::uint32_t status = kStatusInvalidParameter;
  const std::uint32_t function = le32(request, kFunction);
  const bool blockWellFormed = le32(request, kBlockVersion) == 1 && le32(request, kBlockSize) == 24 &&
                               le32(request, kFlags) == kFlagController &&
                               le32(request, kDataBufferOffset) == kFunctionData &&
                               le32(request, kDataBufferLength) == inSize - kFunctionData;
  if (blockWellFormed) {
    if (function == kFunctionGetInfo)
      status = getInfo(drive, infoAnswer, request);
    else if (function == kFunctionDownload)
      status = download(drive, request);
    else if (function == kFunctionActivate)
      status = activate(drive, request);
    else
      status = kStatusIllegalRequest;
  }
  setLe32(request, kReturnCodeAt, status);
  return ioSuccess(inSize);
}

}  // namespace koa::sim
