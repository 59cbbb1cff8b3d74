#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/device_property.h"
#include "platform/unique_handle.h"
#include "transfer/byte_order.h"
#include "update/drive_discovery.h"

namespace koa {
namespace {

// Compared case-sensitively: the maker's PCI vendor identifier as the parent's
// instance identifier spells it, and the NVMe mark in a hardware identifier.
constexpr std::u16string_view kMakerVendorId = u"VEN_D5A7";
constexpr std::u16string_view kNvmeMark = u"NVMe";

constexpr std::uint32_t kSpDevInfoDataSize = 32;
constexpr std::uint32_t kSpDeviceInterfaceDataSize = 32;

// STORAGE_DEVICE_NUMBER: DeviceType, DeviceNumber, PartitionNumber.
constexpr std::uint32_t kStorageDeviceNumberLength = 12;
constexpr std::size_t kDeviceNumberOffset = 4;

struct ByteBuffer {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::uint32_t size = 0;
};

// The disk's hardware identifiers (a multi-string), read with the growing
// buffer of readDeviceProperty. Empty when they cannot be read, or when the
// reported size is 0.
ByteBuffer readHardwareIds(DevInfoSet set, const SpDevInfoData& device) {
  Platform& platform = currentPlatform();
  std::uint32_t type = 0;
  std::uint32_t required = 0;
  ByteBuffer buffer;
  if (platform.SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type,
                                                 /*propertyBuffer=*/nullptr, /*propertyBufferSize=*/0,
                                                 &required))
    return {};
  bool read = false;
  while (!read && platform.GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    if (buffer.bytes && required <= buffer.size) return {};
    const std::uint64_t doubled = std::uint64_t{required} * 2;
    if (doubled > UINT32_MAX) return {};
    buffer.size = static_cast<std::uint32_t>(doubled);
    buffer.bytes.reset(new (std::nothrow) std::uint8_t[buffer.size]());
    if (!buffer.bytes) return {};
    read = platform.SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type,
                                                      buffer.bytes.get(), buffer.size, &required);
  }
  if (!read || required == 0) return {};
  return buffer;
}

// The strings of a multi-string, in order, never reading past its buffer.
std::vector<std::u16string> multiStringEntries(const ByteBuffer& buffer) {
  std::vector<std::u16string> entries;
  std::u16string current;
  for (std::uint32_t i = 0; i + 1 < buffer.size; i += 2) {
    const auto unit = static_cast<char16_t>(get16(buffer.bytes.get(), i));
    if (unit != 0) {
      current.push_back(unit);
      continue;
    }
    if (current.empty()) break;  // the empty string that ends the list
    entries.push_back(std::move(current));
    current.clear();
  }
  if (!current.empty()) entries.push_back(std::move(current));
  return entries;
}

// The device path of the disk interface at memberIndex; none when there is
// no such interface or its detail cannot be read.
std::optional<std::u16string> interfacePath(DevInfoSet set, std::uint32_t memberIndex) {
  Platform& platform = currentPlatform();
  SpDeviceInterfaceData interfaceData{};
  interfaceData.cbSize = kSpDeviceInterfaceDataSize;
  if (!platform.SetupDiEnumDeviceInterfaces(set, /*deviceInfoData=*/nullptr, &GUID_DEVINTERFACE_DISK,
                                            memberIndex, &interfaceData))
    return std::nullopt;

  SpDevInfoData deviceData{};
  deviceData.cbSize = kSpDevInfoDataSize;
  std::uint32_t required = 0;
  if (platform.SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, /*detail=*/nullptr, /*detailSize=*/0,
                                                &required, &deviceData))
    return std::nullopt;
  ByteBuffer detail;
  bool read = false;
  while (!read && platform.GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    if (detail.bytes && required <= detail.size) return std::nullopt;
    detail.size = required;
    detail.bytes.reset(new (std::nothrow) std::uint8_t[detail.size]());
    if (!detail.bytes || detail.size < kInterfaceDetailPathOffset) return std::nullopt;
    put32(detail.bytes.get(), 0, kInterfaceDetailCbSize);
    read = platform.SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail.bytes.get(), detail.size,
                                                     &required, &deviceData);
  }
  // A detail call that failed for another reason left no path to open.
  if (!read) return std::nullopt;

  std::u16string path;
  for (std::uint32_t i = kInterfaceDetailPathOffset; i + 1 < detail.size; i += 2) {
    const auto unit = static_cast<char16_t>(get16(detail.bytes.get(), i));
    if (unit == 0) break;
    path.push_back(unit);
  }
  return path;
}

// "\\.\PHYSICALDRIVE%d", the device number in decimal.
std::u16string physicalDrivePath(std::int32_t deviceNumber) {
  std::u16string path = u"\\\\.\\PHYSICALDRIVE";
  for (char digit : std::to_string(deviceNumber)) path.push_back(static_cast<char16_t>(digit));
  return path;
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
  device.cbSize = kSpDevInfoDataSize;
  for (std::uint32_t index = 0; platform.SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
    std::u16string parent;
    (void)readDeviceProperty(set.get(), device, DEVPKEY_Device_Parent, parent);
    if (parent.find(kMakerVendorId) == std::u16string::npos) continue;

    const ByteBuffer hardwareIds = readHardwareIds(set.get(), device);
    if (!hardwareIds.bytes) continue;
    for (const std::u16string& hardwareId : multiStringEntries(hardwareIds)) {
      if (hardwareId.find(kNvmeMark) == std::u16string::npos) continue;
      std::u16string instanceId;
      if (!readDeviceProperty(set.get(), device, DEVPKEY_Device_InstanceId, instanceId)) continue;
      const std::optional<std::u16string> path = interfacePath(set.get(), index);
      if (!path) continue;
      // An open that fails ends the whole walk; a disk without a device
      // number is only left out. Either way, one record per device at most.
      if (probeDisk(*path, candidates) == Probe::NotOpened) return false;
      break;
    }
  }
  return true;
}

}  // namespace koa
