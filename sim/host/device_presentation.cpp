#include "sim/host/device_presentation.h"

#include <cstdio>

#include "sim/host/shim_protocol.h"
#include "sim/wide_text.h"

namespace koa::sim::host {

namespace {

constexpr std::uint32_t kErrorFileNotFound = ERROR_FILE_NOT_FOUND;
constexpr std::uint32_t kErrorAccessDenied = ERROR_ACCESS_DENIED;
constexpr std::uint32_t kErrorSharingViolation = ERROR_SHARING_VIOLATION;

std::string pointerOfInterface(std::size_t device, std::size_t interfaceIndex) {
  return "/devices/" + std::to_string(device) + "/interfaces/" + std::to_string(interfaceIndex) + "/path";
}

// The path Wine gives the interface: IoRegisterDeviceInterface builds the
// link from the instance identifier, and SetupAPI hands it out in lower
// case.
std::u16string wineInterfacePath(const std::u16string& instanceId, const Guid& interfaceClass) {
  std::u16string path = u"\\\\?\\";
  for (char16_t c : instanceId) path += c == u'\\' ? u'#' : c;
  return foldCase(path + u"#" + guidText(interfaceClass));
}

// The dosdevices entry that Wine looks \??\<name> up by: the name in lower
// case, as Wine folds it.
std::string stagedEntryFor(const std::u16string& path) {
  return toUtf8(foldCase(std::u16string_view(path).substr(4)));
}

class Encoder {
 public:
  void text(shim::Tag tag, std::u16string_view value) {
    header(tag, value.size());
    for (char16_t c : value) unit(c);
  }
  void number(shim::Tag tag, std::uint32_t value) {
    header(tag, 2);
    unit(static_cast<char16_t>(value & 0xFFFF));
    unit(static_cast<char16_t>(value >> 16));
  }
  std::vector<std::uint8_t> bytes() && { return std::move(bytes_); }

 private:
  void header(shim::Tag tag, std::size_t units) {
    unit(static_cast<char16_t>(tag));
    unit(static_cast<char16_t>(units));
  }
  void unit(char16_t c) {
    bytes_.push_back(static_cast<std::uint8_t>(c));
    bytes_.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::u16string guidText(const Guid& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", guid.Data1, guid.Data2,
                guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return toUtf16(text);
}

std::optional<Presentation> presentationFor(const MachineDescription& machine, std::string& error) {
  for (const Fault& fault : machine.faults) {
    if (fault.call != 0) {
      error = fault.jsonPath + "/call: a fault on a call number cannot run on the Wine devices: the program's "
                               "SetupAPI calls, which the numbers count, run inside Wine";
      return std::nullopt;
    }
    if (fault.action != FaultAction::FailOpen) continue;
    if (fault.nth != 0) {
      error = fault.jsonPath + "/nth: Wine 8 ignores a driver's answer to an open, so the Wine devices refuse "
                               "every open of a device or none";
      return std::nullopt;
    }
    if (fault.error != kErrorFileNotFound && fault.error != kErrorAccessDenied &&
        fault.error != kErrorSharingViolation) {
      error = fault.jsonPath + "/error: the Wine devices refuse an open with 2, 5 or 32 only, as Wine's own "
                               "namespace does";
      return std::nullopt;
    }
  }

  Presentation presentation;
  std::vector<std::size_t> targets;  // per name, the index in machine.targets
  for (std::size_t i = 0; i < machine.devices.size(); ++i) {
    const DeviceNode& node = machine.devices[i];
    if (!node.present) continue;
    const auto split = node.instanceId.rfind(u'\\');
    if (split == std::u16string::npos || split == 0 || split + 1 == node.instanceId.size()) {
      error = "/devices/" + std::to_string(i) +
              "/instanceId: Wine needs a device identifier and an instance, separated by a backslash";
      return std::nullopt;
    }
    const std::size_t presented = presentation.nodes.size();
    presentation.nodes.push_back(node);
    for (std::size_t k = 0; k < node.interfaces.size(); ++k) {
      const DeviceInterface& itf = node.interfaces[k];
      const std::u16string wine = wineInterfacePath(node.instanceId, itf.classGuid);
      if (foldCase(itf.path) != wine) {
        error = pointerOfInterface(i, k) + ": Wine names this interface " + toUtf8(wine) +
                ", from the instance identifier and the class";
        return std::nullopt;
      }
      PresentedName name;
      name.path = itf.path;
      name.node = presented;
      name.interfaceClass = itf.classGuid;
      presentation.names.push_back(std::move(name));
      targets.push_back(*node.target);
    }
    if (node.diskNumber && node.target) {
      const std::u16string number = toUtf16(std::to_string(*node.diskNumber));
      PresentedName name;
      name.path = u"\\\\.\\PHYSICALDRIVE" + number;
      name.dosLink = u"\\DosDevices\\PHYSICALDRIVE" + number;
      presentation.names.push_back(std::move(name));
      targets.push_back(*node.target);
    }
  }
  for (std::size_t t = 0; t < machine.targets.size(); ++t) {
    if (!machine.targets[t].isScsiPort) continue;
    const std::u16string number = toUtf16(std::to_string(machine.targets[t].scsiPort));
    PresentedName name;
    name.path = u"\\\\.\\Scsi" + number + u":";
    name.dosLink = u"\\DosDevices\\Scsi" + number + u":";
    presentation.names.push_back(std::move(name));
    targets.push_back(t);
  }

  // The simulated machine's order: an open of a device that exists fails
  // for a caller without administrator rights, else at the first failOpen
  // fault on the device.
  for (std::size_t n = 0; n < presentation.names.size(); ++n) {
    PresentedName& name = presentation.names[n];
    if (!machine.elevated) {
      name.refused = kErrorAccessDenied;
    } else {
      for (const Fault& fault : machine.faults)
        if (fault.action == FaultAction::FailOpen && fault.target == targets[n]) {
          name.refused = fault.error;
          break;
        }
    }
    if (name.refused != 0) name.stagedEntry = stagedEntryFor(name.path);
  }
  presentation.elevated = machine.elevated;
  return presentation;
}

std::vector<std::uint8_t> encodeDeviceList(const Presentation& presentation) {
  using shim::Tag;
  Encoder out;
  for (std::size_t i = 0; i < presentation.nodes.size(); ++i) {
    const DeviceNode& node = presentation.nodes[i];
    out.number(Tag::Node, static_cast<std::uint32_t>(i));
    out.text(Tag::InstanceId, node.instanceId);
    if (node.parent) out.text(Tag::Parent, *node.parent);
    for (const auto& id : node.hardwareIds) out.text(Tag::HardwareId, id);
    if (node.driverDesc) out.text(Tag::DriverDesc, *node.driverDesc);
    if (node.locationInfo) out.text(Tag::LocationInfo, *node.locationInfo);
    if (node.setupClass != Guid{}) {
      out.text(Tag::SetupClass, guidText(node.setupClass));
      out.text(Tag::ClassName, node.setupClass == kDiskDriveSetupClass ? u"DiskDrive" : u"SCSIAdapter");
    }
  }
  for (std::size_t i = 0; i < presentation.names.size(); ++i) {
    const PresentedName& name = presentation.names[i];
    out.number(Tag::Name, static_cast<std::uint32_t>(i));
    if (name.node) {
      out.number(Tag::NameNode, static_cast<std::uint32_t>(*name.node));
      out.text(Tag::InterfaceClass, guidText(name.interfaceClass));
      out.text(Tag::InterfacePath, name.path);
    } else {
      out.text(Tag::DosName, name.dosLink);
    }
    if (name.refused != 0) out.number(Tag::Refused, name.refused);
  }
  return std::move(out).bytes();
}

}  // namespace koa::sim::host
