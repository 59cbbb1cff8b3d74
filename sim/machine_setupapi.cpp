// SetupAPI on the simulated machine: device information sets over the
// description's device nodes, in description order.
#include <algorithm>
#include <cstring>

#include "sim/machine.h"
#include "sim/sim_bytes.h"
#include "sim/wide_text.h"

namespace koa::sim {

namespace {

constexpr std::uint32_t DIGCF_DEFAULT = 0x01;
constexpr std::uint32_t DIGCF_PROFILE = 0x08;
constexpr std::uint32_t kKnownFlags = DIGCF_DEFAULT | DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE;
constexpr std::uint32_t SPINT_ACTIVE = 1;
constexpr std::uint32_t kDevPropTypeStringList = 0x2012;  // DEVPROP_TYPE_STRING | DEVPROP_TYPEMOD_LIST

std::vector<std::uint8_t> utf16Bytes(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::vector<std::uint8_t> multiSzBytes(const std::vector<std::u16string>& list) {
  std::vector<std::uint8_t> bytes;
  for (const auto& text : list) {
    auto one = utf16Bytes(text);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

bool sameKey(const DevPropKey& a, const DevPropKey& b) { return a.fmtid == b.fmtid && a.pid == b.pid; }

constexpr DevPropKey kDevpkeyDeviceHardwareIds = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 3};

}  // namespace

Machine::DeviceSet* Machine::findSet(DevInfoSet set) {
  auto it = sets_.find(set);
  return it == sets_.end() ? nullptr : &it->second;
}

void Machine::fillDevInfo(SpDevInfoData& data, std::size_t device) const {
  data.ClassGuid = machine_.devices[device].setupClass;
  data.DevInst = machine_.devices[device].devInst;
  data.Reserved = device + 1;
}

std::u16string Machine::instanceIdOf(const SpDevInfoData& data) const {
  return machine_.devices[static_cast<std::size_t>(data.Reserved - 1)].instanceId;
}

Machine::InterfaceRef Machine::interfaceRefOf(const SpDeviceInterfaceData& data) {
  return InterfaceRef{static_cast<std::size_t>((data.Reserved - 1) >> 8),
                      static_cast<std::size_t>((data.Reserved - 1) & 0xFF)};
}

std::u16string Machine::interfacePathOf(const SpDeviceInterfaceData& data) const {
  const InterfaceRef ref = interfaceRefOf(data);
  return machine_.devices[ref.device].interfaces[ref.interfaceIndex].path;
}

const DeviceNode* Machine::memberFor(DevInfoSet set, const SpDevInfoData* data, bool required) {
  DeviceSet* members = findSet(set);
  if (members == nullptr) {
    fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (data == nullptr) {
    if (required) fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (data->cbSize != sizeof(SpDevInfoData)) {
    fail(kErrorInvalidUserBuffer);
    return nullptr;
  }
  for (std::size_t index : members->members)
    if (machine_.devices[index].devInst == data->DevInst) return &machine_.devices[index];
  fail(ERROR_INVALID_PARAMETER);
  return nullptr;
}

DevInfoSet Machine::SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator, std::uint32_t flags) {
  if ((flags & ~kKnownFlags) != 0) {
    fail(kErrorInvalidFlags);
    return kInvalidDevInfoSet;
  }
  if (classGuid == nullptr && (flags & DIGCF_ALLCLASSES) == 0) {
    fail(ERROR_INVALID_PARAMETER);
    return kInvalidDevInfoSet;
  }
  DeviceSet set;
  const std::u16string filter = foldCase(fromWideZ(enumerator));
  for (std::size_t i = 0; i < machine_.devices.size(); ++i) {
    const DeviceNode& node = machine_.devices[i];
    if ((flags & DIGCF_PRESENT) != 0 && !node.present) continue;
    bool member = false;
    if ((flags & DIGCF_DEVICEINTERFACE) != 0) {
      for (const auto& itf : node.interfaces)
        if ((flags & DIGCF_ALLCLASSES) != 0 || itf.classGuid == *classGuid) member = true;
    } else {
      member = (flags & DIGCF_ALLCLASSES) != 0 || node.setupClass == *classGuid;
    }
    if (member && !filter.empty()) {
      // An enumerator names a device instance (with interfaces) or a
      // PnP enumerator such as "PCI".
      const std::u16string id = foldCase(node.instanceId);
      member = (flags & DIGCF_DEVICEINTERFACE) != 0 ? id == filter : id.rfind(filter + u"\\", 0) == 0;
    }
    if (member) set.members.push_back(i);
  }
  const DevInfoSet result = nextSet_;
  nextSet_ += 0x10;
  sets_.emplace(result, std::move(set));
  return result;
}

bool Machine::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* data) {
  DeviceSet* members = findSet(set);
  if (members == nullptr) return fail(ERROR_INVALID_HANDLE);
  if (data == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (data->cbSize != sizeof(SpDevInfoData)) return fail(kErrorInvalidUserBuffer);
  if (memberIndex >= members->members.size()) return fail(ERROR_NO_MORE_ITEMS);
  fillDevInfo(*data, members->members[memberIndex]);
  return true;
}

std::vector<Machine::InterfaceRef> Machine::interfacesOf(const DeviceSet& set, const SpDevInfoData* only,
                                                         const Guid& cls) const {
  std::vector<InterfaceRef> result;
  for (std::size_t device : set.members) {
    if (only != nullptr && machine_.devices[device].devInst != only->DevInst) continue;
    const auto& interfaces = machine_.devices[device].interfaces;
    for (std::size_t k = 0; k < interfaces.size(); ++k)
      if (interfaces[k].classGuid == cls) result.push_back(InterfaceRef{device, k});
  }
  return result;
}

bool Machine::SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                          const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                          SpDeviceInterfaceData* data) {
  DeviceSet* members = findSet(set);
  if (members == nullptr) return fail(ERROR_INVALID_HANDLE);
  if (interfaceClassGuid == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (data == nullptr || data->cbSize != sizeof(SpDeviceInterfaceData)) return fail(kErrorInvalidUserBuffer);
  // memberFor sets the error.
  if (deviceInfoData != nullptr && memberFor(set, deviceInfoData, true) == nullptr) return false;
  const auto interfaces = interfacesOf(*members, deviceInfoData, *interfaceClassGuid);
  if (memberIndex >= interfaces.size()) return fail(ERROR_NO_MORE_ITEMS);
  const InterfaceRef ref = interfaces[memberIndex];
  data->InterfaceClassGuid = *interfaceClassGuid;
  data->Flags = SPINT_ACTIVE;
  data->Reserved = (ref.device << 8 | ref.interfaceIndex) + 1;
  return true;
}

bool Machine::SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* data,
                                               std::uint8_t* detail, std::uint32_t detailSize,
                                               std::uint32_t* requiredSize, SpDevInfoData* deviceInfoData) {
  DeviceSet* members = findSet(set);
  if (members == nullptr) return fail(ERROR_INVALID_HANDLE);
  if (data == nullptr || data->cbSize != sizeof(SpDeviceInterfaceData)) return fail(kErrorInvalidUserBuffer);
  const InterfaceRef ref = interfaceRefOf(*data);
  if (data->Reserved == 0 ||
      std::find(members->members.begin(), members->members.end(), ref.device) == members->members.end() ||
      ref.interfaceIndex >= machine_.devices[ref.device].interfaces.size())
    return fail(ERROR_INVALID_PARAMETER);
  if ((detail == nullptr && detailSize != 0) ||
      (detail != nullptr && (detailSize < kInterfaceDetailCbSize || le32({detail, 4}, 0) != kInterfaceDetailCbSize)))
    return fail(kErrorInvalidUserBuffer);
  if (deviceInfoData != nullptr && deviceInfoData->cbSize != sizeof(SpDevInfoData))
    return fail(kErrorInvalidUserBuffer);
  const auto pathBytes = utf16Bytes(machine_.devices[ref.device].interfaces[ref.interfaceIndex].path);
  const auto needed = static_cast<std::uint32_t>(kInterfaceDetailPathOffset + pathBytes.size());
  if (requiredSize != nullptr) *requiredSize = needed;
  if (deviceInfoData != nullptr) fillDevInfo(*deviceInfoData, ref.device);
  if (detailSize < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(detail + kInterfaceDetailPathOffset, pathBytes.data(), pathBytes.size());
  return true;
}

bool Machine::returnProperty(const std::vector<std::uint8_t>& bytes, std::uint8_t* buffer, std::uint32_t bufferSize,
                             std::uint32_t* requiredSize) {
  const auto needed = static_cast<std::uint32_t>(bytes.size());
  if (requiredSize != nullptr) *requiredSize = needed;
  if (bufferSize < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, bytes.data(), bytes.size());
  return true;
}

bool Machine::SetupDiGetDeviceRegistryPropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                std::uint32_t property, std::uint32_t* propertyRegDataType,
                                                std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                                                std::uint32_t* requiredSize) {
  const DeviceNode* node = memberFor(set, deviceInfoData, true);
  if (node == nullptr) return false;  // memberFor set the error.
  if (propertyBuffer == nullptr && propertyBufferSize != 0) return fail(kErrorInvalidUserBuffer);
  if (property == SPDRP_HARDWAREID && !node->hardwareIds.empty()) {
    if (propertyRegDataType != nullptr) *propertyRegDataType = REG_MULTI_SZ;
    return returnProperty(multiSzBytes(node->hardwareIds), propertyBuffer, propertyBufferSize, requiredSize);
  }
  if (property == SPDRP_LOCATION_INFORMATION && node->locationInfo) {
    if (propertyRegDataType != nullptr) *propertyRegDataType = REG_SZ;
    return returnProperty(utf16Bytes(*node->locationInfo), propertyBuffer, propertyBufferSize, requiredSize);
  }
  return fail(ERROR_INVALID_DATA);
}

bool Machine::SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData, const DevPropKey* key,
                                        std::uint32_t* propertyType, std::uint8_t* propertyBuffer,
                                        std::uint32_t propertyBufferSize, std::uint32_t* requiredSize,
                                        std::uint32_t flags) {
  const DeviceNode* node = memberFor(set, deviceInfoData, true);
  if (node == nullptr) return false;  // memberFor set the error.
  if (flags != 0) return fail(kErrorInvalidFlags);
  if (key == nullptr || propertyType == nullptr || (propertyBuffer == nullptr && propertyBufferSize != 0))
    return fail(kErrorInvalidUserBuffer);
  if (sameKey(*key, kDevpkeyDeviceHardwareIds) && !node->hardwareIds.empty()) {
    *propertyType = kDevPropTypeStringList;
    return returnProperty(multiSzBytes(node->hardwareIds), propertyBuffer, propertyBufferSize, requiredSize);
  }
  std::optional<std::u16string> text;
  if (sameKey(*key, DEVPKEY_Device_InstanceId))
    text = node->instanceId;
  else if (sameKey(*key, DEVPKEY_Device_Parent))
    text = node->parent;
  else if (sameKey(*key, DEVPKEY_Device_DriverDesc))
    text = node->driverDesc;
  else if (sameKey(*key, DEVPKEY_Device_LocationInfo))
    text = node->locationInfo;
  if (!text) return fail(ERROR_NOT_FOUND);
  *propertyType = DEVPROP_TYPE_STRING;
  return returnProperty(utf16Bytes(*text), propertyBuffer, propertyBufferSize, requiredSize);
}

bool Machine::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  return sets_.erase(set) == 1 || fail(ERROR_INVALID_HANDLE);
}

}  // namespace koa::sim
