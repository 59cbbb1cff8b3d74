#include "discovery/intel_raid_controller.h"

#include <optional>

#include "discovery/device_property.h"
#include "discovery/interface_detail.h"
#include "platform/unique_handle.h"

namespace koa {
namespace {

constexpr std::uint32_t kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

std::u16string upperCased(std::u16string text) {
  for (char16_t& unit : text)
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
  return text;
}

// An Intel controller whose driver calls it an RST or RAID controller; the
// words are matched in their own case.
bool isRaidDriver(const std::u16string& description) {
  return contains(description, u"Intel") && contains(description, u"Controller") &&
         (contains(description, u"RST") || contains(description, u"RAID"));
}

}  // namespace

bool findIntelRaidController(RaidController& controller) {
  Platform& platform = currentPlatform();
  UniqueDevInfoSet ports(platform.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_STORAGEPORT,
                                                       /*enumerator=*/nullptr, kPresentInterfaces));
  if (!ports.valid()) return false;

  SpDevInfoData element{};
  element.cbSize = sizeof(SpDevInfoData);
  if (!platform.SetupDiEnumDeviceInfo(ports.get(), 0, &element)) return false;

  std::optional<InterfaceDetail> found;
  for (std::uint32_t k = 0; !found; ++k) {
    SpDeviceInterfaceData interface{};
    interface.cbSize = sizeof(SpDeviceInterfaceData);
    if (platform.SetupDiEnumDeviceInterfaces(ports.get(), /*deviceInfoData=*/nullptr,
                                             &GUID_DEVINTERFACE_STORAGEPORT, k, &interface)) {
      std::optional<InterfaceDetail> port =
          readInterfaceDetail(ports.get(), interface, DetailWalk::ControllerProbe);
      if (!port) return false;
      if (contains(upperCased(port->devicePath), u"VEN_8086")) {
        const std::optional<std::u16string> description =
            readDevicePropertyText(ports.get(), port->device, DEVPKEY_Device_DriverDesc);
        if (description && isRaidDriver(*description)) found = std::move(port);
      }
    }
    // The walk is bounded by the set's device elements, as the port
    // interfaces are listed in the same order.
    if (!found && !platform.SetupDiEnumDeviceInfo(ports.get(), k + 1, &element)) return false;
  }

  // Opened only to prove that the controller answers; nothing is sent.
  UniqueHandle handle(platform.CreateFileW(found->devicePath.c_str(),
                                           /*desiredAccess=*/GENERIC_READ | GENERIC_WRITE,
                                           /*shareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           /*creationDisposition=*/OPEN_EXISTING,
                                           /*flagsAndAttributes=*/FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL));
  if (!handle.valid()) return false;
  controller.present = true;
  controller.interfacePath = found->devicePath;
  return readDeviceProperty(ports.get(), found->device, DEVPKEY_Device_InstanceId, controller.instanceId);
}

}  // namespace koa
