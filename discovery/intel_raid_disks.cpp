#include <optional>

#include "discovery/device_property.h"
#include "discovery/intel_raid_controller.h"
#include "discovery/interface_detail.h"
#include "platform/unique_handle.h"
#include "update/drive_discovery.h"

namespace koa {

bool DriveDiscovery::enumerateIntelRaidDisks(const RaidController& controller) {
  Platform& platform = currentPlatform();
  UniqueDevInfoSet disks(platform.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, /*enumerator=*/nullptr,
                                                       DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!disks.valid()) return false;

  SpDevInfoData disk{};
  disk.cbSize = sizeof(SpDevInfoData);
  for (std::uint32_t index = 0; platform.SetupDiEnumDeviceInfo(disks.get(), index, &disk); ++index) {
    std::u16string parent;
    (void)readDeviceProperty(disks.get(), disk, DEVPKEY_Device_Parent, parent);
    if (!contains(parent, u"VEN_8086")) continue;
    std::u16string instanceId;
    if (!readDeviceProperty(disks.get(), disk, DEVPKEY_Device_InstanceId, instanceId)) continue;

    if (contains(instanceId, u"VEN_INTEL") && contains(instanceId, u"PROD_RAID")) {
      // A RAID volume: its members are asked for later, through the controller.
      candidates.push_back(makeCandidate(DriverKind::IrstRaid, controller.interfacePath, -1));
      continue;
    }

    SpDeviceInterfaceData interface{};
    interface.cbSize = sizeof(SpDeviceInterfaceData);
    if (!platform.SetupDiEnumDeviceInterfaces(disks.get(), /*deviceInfoData=*/nullptr,
                                              &GUID_DEVINTERFACE_DISK, index, &interface))
      continue;
    const std::optional<InterfaceDetail> detail = readInterfaceDetail(disks.get(), interface, DetailWalk::IntelDisks);
    if (!detail) continue;

    // Opened only to prove that the disk can be reached; nothing is sent.
    UniqueHandle handle(platform.CreateFileW(detail->devicePath.c_str(),
                                             /*desiredAccess=*/GENERIC_READ | GENERIC_WRITE,
                                             /*shareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             /*creationDisposition=*/OPEN_EXISTING,
                                             /*flagsAndAttributes=*/0));
    if (!handle.valid()) return false;
    candidates.push_back(makeCandidate(DriverKind::IrstNonRaid, controller.interfacePath,
                                       readBusNumber(detail->device.DevInst)));
  }
  return true;
}

}  // namespace koa
