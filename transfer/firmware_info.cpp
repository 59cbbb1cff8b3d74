#include "transfer/firmware_info.h"

#include "wire/byte_order.h"
#include "transfer/inbox_requests.h"

namespace koa::inbox {

FirmwareInfo readFirmwareInfo(const RequestBuffer& buffer) {
  FirmwareInfo info;
  const std::uint8_t* bytes = buffer.data();
  info.dataBufferOffset = get32(bytes, kDataBufferOffsetOffset);
  const std::uint64_t base = info.dataBufferOffset;
  if (!buffer.holds(base, kInfoV1SlotsOffset)) return info;

  info.version = get32(bytes, base + kInfoVersionOffset);
  std::size_t slotsOffset = 0;
  std::size_t slotLength = 0;
  // Some drivers leave Version 0; Microsoft's own sample never reads the
  // field. Such an answer is the original layout, as version 1 is.
  if (info.version == kInfoVersion1 || info.version == 0) {
    slotsOffset = kInfoV1SlotsOffset, slotLength = kInfoV1SlotLength;
  } else if (info.version == kInfoVersion2) {
    slotsOffset = kInfoV2SlotsOffset, slotLength = kInfoV2SlotLength;
  } else {
    info.reading = FirmwareInfo::Reading::UnknownVersion;
    return info;
  }
  if (!buffer.holds(base, slotsOffset)) return info;

  info.upgradeSupport = get8(bytes, base + kInfoUpgradeSupportOffset);
  info.slotCount = get8(bytes, base + kInfoSlotCountOffset);
  info.activeSlot = get8(bytes, base + kInfoActiveSlotOffset);
  info.pendingActivateSlot = get8(bytes, base + kInfoPendingActivateSlotOffset);
  if (!buffer.holds(base + slotsOffset, std::uint64_t{info.slotCount} * slotLength)) {
    info.reading = FirmwareInfo::Reading::SlotsOutside;
    return info;
  }
  for (std::size_t i = 0; i < info.slotCount; ++i) {
    const std::uint64_t entry = base + slotsOffset + i * slotLength;
    std::string revision;
    for (std::size_t at = kSlotRevisionOffset; at < slotLength && bytes[entry + at] != 0; ++at)
      revision.push_back(static_cast<char>(bytes[entry + at]));
    info.slots.push_back(
        {get8(bytes, entry + kSlotNumberOffset), get8(bytes, entry + kSlotReadOnlyOffset) != 0, std::move(revision)});
  }
  info.reading = FirmwareInfo::Reading::Read;
  return info;
}

std::optional<std::uint8_t> chooseSlot(const FirmwareInfo& info) {
  if (info.upgradeSupport == 0 || info.slotCount == 0) return std::nullopt;
  for (const FirmwareSlot& slot : info.slots)
    if (!slot.readOnly) return slot.slotNumber;
  return std::nullopt;
}

}  // namespace koa::inbox
