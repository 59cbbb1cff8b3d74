#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/device_property.h"
#include "discovery/growing_read.h"
#include "discovery/interface_detail.h"
#include "platform/unique_handle.h"
#include "update/drive_discovery.h"
#include "wire/byte_order.h"
#include "wire/device_path.h"

namespace koa {
namespace {

// Compared case-sensitively: the maker's PCI vendor identifier as the parent's
// instance identifier spells it, and the NVMe mark in a hardware identifier.
constexpr std::u16string_view kMakerVendorId = u"VEN_D5A7";
constexpr std::u16string_view kNvmeMark = u"NVMe";

// STORAGE_DEVICE_NUMBER: DeviceType, DeviceNumber, PartitionNumber.
constexpr std::uint32_t kStorageDeviceNumberLength = 12;
constexpr std::size_t kDeviceNumberOffset = 4;

// The disk's hardware identifiers (a multi-string), read with the growing
// buffer of readDeviceProperty. None when they cannot be read, or when the
// reported size is 0.
std::optional<GrowingBuffer> readHardwareIds(DevInfoSet set, const SpDevInfoData& device) {
  Platform& platform = currentPlatform();
  std::uint32_t type = 0;
  std::optional<GrowingBuffer> buffer =
      readGrowing({GrowingRule::Allocation::TwiceReportedSize, GrowingRule::Retry::WhileTheSizeGrows},
                  [&](std::uint8_t* bytes, std::uint32_t size, std::uint32_t* required) {
                    return platform.SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type,
                                                                      bytes, size, required);
                  });
  if (buffer && buffer->reported == 0) return std::nullopt;
  return buffer;
}

// The strings of a multi-string, in order, never reading past its buffer.
std::vector<std::u16string> multiStringEntries(const GrowingBuffer& buffer) {
  std::vector<std::u16string> entries;
  std::size_t offset = 0;
  while (offset + 1 < buffer.size) {
    std::u16string entry = textUntilNul(buffer, offset);
    if (entry.empty()) break;  // the empty string that ends the list
    offset += sizeof(char16_t) * (entry.size() + 1);
    entries.push_back(std::move(entry));
  }
  return entries;
}

// The device path of the disk interface at memberIndex; none when there is
// no such interface or its detail cannot be read.
std::optional<std::u16string> interfacePath(DevInfoSet set, std::uint32_t memberIndex) {
  SpDeviceInterfaceData interfaceData{};
  interfaceData.cbSize = sizeof(SpDeviceInterfaceData);
  if (!currentPlatform().SetupDiEnumDeviceInterfaces(set, /*deviceInfoData=*/nullptr, &GUID_DEVINTERFACE_DISK,
                                                     memberIndex, &interfaceData))
    return std::nullopt;
  std::optional<InterfaceDetail> detail = readInterfaceDetail(set, interfaceData, DetailWalk::InboxDisks);
  if (!detail) return std::nullopt;
  return std::move(detail->devicePath);
}

enum class Probe { Appended, NoNumber, NotOpened };

// Opens the disk and asks for its device number; appends its record on an
// answer.
Probe probeDisk(const std::u16string& path, DriveList& candidates) {
  Platform& platform = currentPlatform();
  const UniqueHandle disk(platform.CreateFileW(path.c_str(),
                                               /*desiredAccess=*/GENERIC_READ | GENERIC_WRITE,
                                               /*shareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               /*creationDisposition=*/OPEN_EXISTING,
                                               /*flagsAndAttributes=*/0));
  if (!disk.valid()) return Probe::NotOpened;
  std::uint8_t number[kStorageDeviceNumberLength] = {};
  std::uint32_t bytesReturned = 0;
  if (!platform.DeviceIoControl(disk.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, /*inBuffer=*/nullptr,
                                /*inBufferSize=*/0, /*outBuffer=*/number,
                                /*outBufferSize=*/kStorageDeviceNumberLength, &bytesReturned))
    return Probe::NoNumber;
  const auto deviceNumber = static_cast<std::int32_t>(get32(number, kDeviceNumberOffset));
  candidates.push_back(makeCandidate(DriverKind::Inbox, physicalDrivePath(deviceNumber), /*pathId=*/-1));
  return Probe::Appended;
}

}  // namespace

bool DriveDiscovery::enumerateInboxDrives() {
  Platform& platform = currentPlatform();
  const UniqueDevInfoSet set(platform.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, /*enumerator=*/nullptr,
                                                           /*flags=*/DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set.valid()) return false;

  SpDevInfoData device{};
  device.cbSize = sizeof(SpDevInfoData);
  for (std::uint32_t index = 0; platform.SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
    std::u16string parent;
    (void)readDeviceProperty(set.get(), device, DEVPKEY_Device_Parent, parent);
    if (parent.find(kMakerVendorId) == std::u16string::npos) continue;

    const std::optional<GrowingBuffer> hardwareIds = readHardwareIds(set.get(), device);
    if (!hardwareIds) continue;
    bool nvme = false;
    bool appended = false;
    std::u16string instanceId;
    for (const std::u16string& hardwareId : multiStringEntries(*hardwareIds)) {
      if (hardwareId.find(kNvmeMark) == std::u16string::npos) continue;
      nvme = true;
      if (!readDeviceProperty(set.get(), device, DEVPKEY_Device_InstanceId, instanceId)) continue;
      const std::optional<std::u16string> path = interfacePath(set.get(), index);
      if (!path) continue;
      // An open that fails ends the whole walk; a disk without a device
      // number is only left out. Either way, one record per device at most.
      const Probe probe = probeDisk(*path, candidates);
      if (probe == Probe::NotOpened) return false;
      appended = probe == Probe::Appended;
      break;
    }
    if (nvme && !appended) inboxDisksLeftOut.push_back(instanceId);
  }
  return true;
}

}  // namespace koa
