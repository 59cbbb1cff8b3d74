#include "discovery/vroc_members.h"

#include <string>

#include "discovery/vroc_requests.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "report/console.h"
#include "report/number_text.h"
#include "wire/byte_order.h"
#include "wire/device_path.h"
#include "wire/in_place_ioctl.h"
#include "wire/nvme.h"
#include "wire/nvme_raid_request.h"
#include "wire/request_buffer.h"

namespace koa {
namespace {

constexpr std::int32_t kAllocationFailed = -1;

// One request of the walk: the bytes that came back, none when the call failed.
std::uint32_t send(Handle port, RequestBuffer& request) {
  return sendInPlace(port, IOCTL_SCSI_MINIPORT, request).value_or(0);
}

// The thread's last error is not cleared by a call that succeeds, so this
// line can show the error of an earlier call; it is written all the same.
void reportLastError() {
  const std::uint32_t error = currentPlatform().GetLastError();
  if (error != 0) console::narrow("dwError: " + decimal(error) + "\n");
}

std::u16string widenBytes(const std::uint8_t* bytes, std::size_t length) {
  return widen(std::string(bytes, bytes + length));
}

// Identifies the drive of entry through the pass-through and appends record,
// overwritten with what the entry and the Identify data give. A drive that
// answered nothing keeps the 0x55 fill as its serial number and revision.
void identifyAndAppend(Handle port, RequestBuffer& identify, const vroc::VrocDiskEntry& entry,
                       DriveRecord& record, DriveList& drives) {
  identify.zero();
  nvme_raid::buildIdentify(identify, entry.diskId);
  (void)send(port, identify);
  reportLastError();

  const std::uint8_t* data = identify.data() + nvme_raid::kDataOffset;
  record.firmwareRevision = widenBytes(data + nvme::kFirmwareRevisionOffset, nvme::kFirmwareRevisionLength);
  record.serialNumber = widenBytes(data + nvme::kSerialNumberOffset, nvme::kSerialNumberLength);
  record.pathId = entry.pathId;
  record.vrocDiskId = entry.diskId;
  record.modelNumber = widen(entry.model);
  record.pciVendorId = get16(data, nvme::kVendorIdOffset);
  drives.push_back(record);
}

std::int32_t listRaidMembers(Handle port, DriveRecord& record, DriveList& drives) {
  RequestBuffer information(vroc::kVolumeInformationLength);
  if (!information.ok()) return kAllocationFailed;
  vroc::buildVolumeInformation(information);
  (void)send(port, information);
  reportLastError();
  const std::uint32_t reported = get32(information.data(), vroc::kMemberCountOffset);
  console::narrow("Number of NVMe RAID volume member disks: " + decimal(reported) + "\n");

  const std::uint32_t requested = vroc::boundedMemberCount(reported);
  RequestBuffer list(vroc::memberListLength(requested));
  if (!list.ok()) return kAllocationFailed;
  vroc::buildMemberList(list, requested);
  const std::uint32_t answered = send(port, list);
  reportLastError();

  RequestBuffer identify(nvme_raid::kIdentifyRequestLength);
  if (!identify.ok()) return kAllocationFailed;
  const std::uint32_t entries = vroc::entriesInAnswer(list, vroc::kMemberEntriesOffset, requested, answered);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const vroc::VrocDiskEntry entry = vroc::readDiskEntry(list, vroc::kMemberEntriesOffset, i);
    console::narrow("\nSerial: " + entry.serial + "\nvrocDiskId:" +
                    hexLower(static_cast<std::uint32_t>(entry.diskId)) + "\n");
    record.driverKind = DriverKind::VrocRaid;
    console::wideLine(u"RaidVROC");
    identifyAndAppend(port, identify, entry, record, drives);
  }
  return 0;
}

std::int32_t listPassThroughDrives(Handle port, std::uint32_t requested, DriveRecord& record,
                                   DriveList& drives) {
  RequestBuffer list(vroc::passThroughListLength(requested));
  if (!list.ok()) return kAllocationFailed;
  vroc::buildPassThroughList(list, requested);
  const std::uint32_t answered = send(port, list);

  RequestBuffer identify(nvme_raid::kIdentifyRequestLength);
  if (!identify.ok()) return kAllocationFailed;
  const std::uint32_t entries =
      vroc::entriesInAnswer(list, vroc::kPassThroughEntriesOffset, requested, answered);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const vroc::VrocDiskEntry entry = vroc::readDiskEntry(list, vroc::kPassThroughEntriesOffset, i);
    record.driverKind = DriverKind::VrocNonRaid;
    console::wideLine(u"NonRaidVROC");
    identifyAndAppend(port, identify, entry, record, drives);
  }
  return 0;
}

}  // namespace

std::int32_t enumerateVrocMembers(DriveRecord candidate, DriveList& drives, std::int32_t& vrocPort) {
  Platform& platform = currentPlatform();
  for (std::int32_t port = kFirstVrocPort; port <= kLastVrocPort; ++port) {
    const std::u16string path = vrocPortPath(port);
    UniqueHandle handle(platform.CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                             /*shareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             /*creationDisposition=*/OPEN_EXISTING,
                                             /*flagsAndAttributes=*/FILE_ATTRIBUTE_NORMAL));
    if (!handle.valid()) continue;

    RequestBuffer count(vroc::kCountRequestLength);
    if (!count.ok()) return kAllocationFailed;
    // The count requests' own outcome is not looked at: a failed call leaves
    // the zero that was sent.
    vroc::buildVolumeCount(count);
    (void)send(handle.get(), count);
    std::int32_t result = 0;
    if (get32(count.data(), vroc::kCountOffset) != 0) {
      result = listRaidMembers(handle.get(), candidate, drives);
    } else {
      count.zero();
      vroc::buildPassThroughCount(count);
      (void)send(handle.get(), count);
      const auto reported = static_cast<std::int32_t>(get32(count.data(), vroc::kCountOffset));
      const std::uint32_t passThrough = vroc::boundedPassThroughCount(reported);
      if (passThrough == 0) continue;
      result = listPassThroughDrives(handle.get(), passThrough, candidate, drives);
    }
    if (result != 0) return result;
    vrocPort = port;
    return 0;
  }
  return 0;
}

}  // namespace koa
