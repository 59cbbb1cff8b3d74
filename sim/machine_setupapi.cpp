// SetupAPI on the simulated machine: device information sets over the
// description's device nodes, in description order.
#include <cstring>

#include "sim/sim_bytes.h"
#include "sim/simulated_machine.h"
#include "sim/wide_text.h"

namespace koa::sim {

namespace {

constexpr std::uint32_t DIGCF_DEFAULT = 0x01;
constexpr std::uint32_t DIGCF_PROFILE = 0x08;
constexpr std::uint32_t kKnownFlags = DIGCF_DEFAULT | DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE;
constexpr std::uint32_t SPINT_ACTIVE = 1;
constexpr std::uint32_t kDevPropTypeStringList = 0x2012;  // DEVPROP_TYPE_STRING | DEVPROP_TYPEMOD_LIST

nlohmann::json guidText(const Guid* guid) {
  if (guid == nullptr) return nullptr;
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid->Data1, guid->Data2,
                guid->Data3, guid->Data4[0], guid->Data4[1], guid->Data4[2], guid->Data4[3], guid->Data4[4],
                guid->Data4[5], guid->Data4[6], guid->Data4[7]);
  return text;
}

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

nlohmann::json bufferHex(const std::uint8_t* buffer, std::uint32_t size) {
  if (buffer == nullptr) return nullptr;
  return toHex(std::span<const std::uint8_t>(buffer, size));
}

}  // namespace

SimulatedMachine::DeviceSet* SimulatedMachine::findSet(DevInfoSet set) {
  auto it = sets_.find(set);
  return it == sets_.end() ? nullptr : &it->second;
}

void SimulatedMachine::fillDevInfo(SpDevInfoData& data, std::size_t device) const {
  data.ClassGuid = machine_.devices[device].setupClass;
  data.DevInst = machine_.devices[device].devInst;
  data.Reserved = device + 1;
}

const DeviceNode* SimulatedMachine::memberFor(DevInfoSet set, const SpDevInfoData* data, bool required) {
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

DevInfoSet SimulatedMachine::SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator,
                                                  std::uint32_t flags) {
  nlohmann::json entry = {{"op", "SetupDiGetClassDevsW"}, {"classGuid", guidText(classGuid)},
                          {"enumerator", enumerator ? nlohmann::json(toUtf8(enumerator)) : nlohmann::json()},
                          {"flags", flags}};
  DevInfoSet result = kInvalidDevInfoSet;
  if ((flags & ~kKnownFlags) != 0) {
    fail(kErrorInvalidFlags);
  } else if (classGuid == nullptr && (flags & DIGCF_ALLCLASSES) == 0) {
    fail(ERROR_INVALID_PARAMETER);
  } else {
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
    result = nextSet_;
    nextSet_ += 0x10;
    sets_.emplace(result, std::move(set));
  }
  entry["result"] = result;
  entry["lastError"] = lastError_;
  trace_.record(std::move(entry));
  return result;
}

bool SimulatedMachine::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* data) {
  nlohmann::json entry = {{"op", "SetupDiEnumDeviceInfo"}, {"set", set}, {"memberIndex", memberIndex}};
  bool ok = false;
  DeviceSet* members = findSet(set);
  if (members == nullptr) {
    fail(ERROR_INVALID_HANDLE);
  } else if (data == nullptr) {
    fail(ERROR_INVALID_PARAMETER);
  } else if (data->cbSize != sizeof(SpDevInfoData)) {
    fail(kErrorInvalidUserBuffer);
  } else if (memberIndex >= members->members.size()) {
    fail(ERROR_NO_MORE_ITEMS);
  } else {
    fillDevInfo(*data, members->members[memberIndex]);
    entry["devInst"] = data->DevInst;
    entry["instanceId"] = toUtf8(machine_.devices[members->members[memberIndex]].instanceId);
    ok = true;
  }
  entry["result"] = ok;
  entry["lastError"] = lastError_;
  trace_.record(std::move(entry));
  return ok;
}

std::vector<SimulatedMachine::InterfaceRef> SimulatedMachine::interfacesOf(const DeviceSet& set,
                                                                          const SpDevInfoData* only,
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

bool SimulatedMachine::SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                   const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                                   SpDeviceInterfaceData* data) {
  nlohmann::json entry = {{"op", "SetupDiEnumDeviceInterfaces"}, {"set", set},
                          {"devInst", deviceInfoData ? nlohmann::json(deviceInfoData->DevInst) : nlohmann::json()},
                          {"interfaceClassGuid", guidText(interfaceClassGuid)}, {"memberIndex", memberIndex}};
  bool ok = false;
  DeviceSet* members = findSet(set);
  if (members == nullptr) {
    fail(ERROR_INVALID_HANDLE);
  } else if (interfaceClassGuid == nullptr) {
    fail(ERROR_INVALID_PARAMETER);
  } else if (data == nullptr || data->cbSize != sizeof(SpDeviceInterfaceData)) {
    fail(kErrorInvalidUserBuffer);
  } else if (deviceInfoData != nullptr && memberFor(set, deviceInfoData, true) == nullptr) {
    // memberFor set the error.
  } else {
    const auto interfaces = interfacesOf(*members, deviceInfoData, *interfaceClassGuid);
    if (memberIndex >= interfaces.size()) {
      fail(ERROR_NO_MORE_ITEMS);
    } else {
      const InterfaceRef ref = interfaces[memberIndex];
      data->InterfaceClassGuid = *interfaceClassGuid;
      data->Flags = SPINT_ACTIVE;
      data->Reserved = (ref.device << 8 | ref.interfaceIndex) + 1;
      entry["path"] = toUtf8(machine_.devices[ref.device].interfaces[ref.interfaceIndex].path);
      ok = true;
    }
  }
  entry["result"] = ok;
  entry["lastError"] = lastError_;
  trace_.record(std::move(entry));
  return ok;
}

bool SimulatedMachine::SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* data,
                                                        std::uint8_t* detail, std::uint32_t detailSize,
                                                        std::uint32_t* requiredSize, SpDevInfoData* deviceInfoData) {
  nlohmann::json entry = {{"op", "SetupDiGetDeviceInterfaceDetailW"}, {"set", set}, {"detailSize", detailSize},
                          {"detailGiven", detail != nullptr}, {"requiredSizeGiven", requiredSize != nullptr},
                          {"deviceInfoDataGiven", deviceInfoData != nullptr}};
  bool ok = false;
  DeviceSet* members = findSet(set);
  const std::size_t device = data != nullptr ? static_cast<std::size_t>((data->Reserved - 1) >> 8) : 0;
  const std::size_t interfaceIndex = data != nullptr ? static_cast<std::size_t>((data->Reserved - 1) & 0xFF) : 0;
  if (members == nullptr) {
    fail(ERROR_INVALID_HANDLE);
  } else if (data == nullptr || data->cbSize != sizeof(SpDeviceInterfaceData)) {
    fail(kErrorInvalidUserBuffer);
  } else if (data->Reserved == 0 ||
             std::find(members->members.begin(), members->members.end(), device) == members->members.end() ||
             interfaceIndex >= machine_.devices[device].interfaces.size()) {
    fail(ERROR_INVALID_PARAMETER);
  } else if ((detail == nullptr && detailSize != 0) ||
             (detail != nullptr && (detailSize < kInterfaceDetailCbSize || le32({detail, 4}, 0) != kInterfaceDetailCbSize))) {
    fail(kErrorInvalidUserBuffer);
  } else if (deviceInfoData != nullptr && deviceInfoData->cbSize != sizeof(SpDevInfoData)) {
    fail(kErrorInvalidUserBuffer);
  } else {
    const std::u16string& path = machine_.devices[device].interfaces[interfaceIndex].path;
    const auto pathBytes = utf16Bytes(path);
    const auto needed = static_cast<std::uint32_t>(kInterfaceDetailPathOffset + pathBytes.size());
    if (requiredSize != nullptr) *requiredSize = needed;
    if (deviceInfoData != nullptr) fillDevInfo(*deviceInfoData, device);
    entry["requiredSize"] = needed;
    entry["path"] = toUtf8(path);
    if (detailSize < needed) {
      fail(ERROR_INSUFFICIENT_BUFFER);
    } else {
      std::memcpy(detail + kInterfaceDetailPathOffset, pathBytes.data(), pathBytes.size());
      ok = true;
    }
  }
  entry["output"] = bufferHex(detail, detailSize);
  entry["result"] = ok;
  entry["lastError"] = lastError_;
  trace_.record(std::move(entry));
  return ok;
}

bool SimulatedMachine::returnProperty(const std::vector<std::uint8_t>& bytes, std::uint8_t* buffer,
                                      std::uint32_t bufferSize, std::uint32_t* requiredSize) {
  const auto needed = static_cast<std::uint32_t>(bytes.size());
  if (requiredSize != nullptr) *requiredSize = needed;
  if (bufferSize < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, bytes.data(), bytes.size());
  return true;
}

bool SimulatedMachine::SetupDiGetDeviceRegistryPropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                         std::uint32_t property, std::uint32_t* propertyRegDataType,
                                                         std::uint8_t* propertyBuffer,
                                                         std::uint32_t propertyBufferSize,
                                                         std::uint32_t* requiredSize) {
  nlohmann::json entry = {{"op", "SetupDiGetDeviceRegistryPropertyW"}, {"set", set},
                          {"devInst", deviceInfoData ? nlohmann::json(deviceInfoData->DevInst) : nlohmann::json()},
                          {"property", property}, {"bufferSize", propertyBufferSize}};
  bool ok = false;
  const DeviceNode* node = memberFor(set, deviceInfoData, true);
  if (node == nullptr) {
    // memberFor set the error.
  } else if (propertyBuffer == nullptr && propertyBufferSize != 0) {
    fail(kErrorInvalidUserBuffer);
  } else if (property == SPDRP_HARDWAREID && !node->hardwareIds.empty()) {
    if (propertyRegDataType != nullptr) *propertyRegDataType = REG_MULTI_SZ;
    ok = returnProperty(multiSzBytes(node->hardwareIds), propertyBuffer, propertyBufferSize, requiredSize);
  } else if (property == SPDRP_LOCATION_INFORMATION && node->locationInfo) {
    if (propertyRegDataType != nullptr) *propertyRegDataType = REG_SZ;
    ok = returnProperty(utf16Bytes(*node->locationInfo), propertyBuffer, propertyBufferSize, requiredSize);
  } else {
    fail(ERROR_INVALID_DATA);
  }
  if (requiredSize != nullptr && (ok || lastError_ == ERROR_INSUFFICIENT_BUFFER)) entry["requiredSize"] = *requiredSize;
  entry["output"] = bufferHex(propertyBuffer, propertyBufferSize);
  entry["result"] = ok;
  entry["lastError"] = lastError_;
  trace_.record(std::move(entry));
  return ok;
}

bool SimulatedMachine::SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                 const DevPropKey* key, std::uint32_t* propertyType,
                                                 std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                                                 std::uint32_t* requiredSize, std::uint32_t flags) {
  nlohmann::json entry = {{"op", "SetupDiGetDevicePropertyW"}, {"set", set},
                          {"devInst", deviceInfoData ? nlohmann::json(deviceInfoData->DevInst) : nlohmann::json()},
                          {"key", key ? nlohmann::json{{"fmtid", guidText(&key->fmtid)}, {"pid", key->pid}}
                                      : nlohmann::json()},
                          {"bufferSize", propertyBufferSize}, {"flags", flags}};
  bool ok = false;
  const DeviceNode* node = memberFor(set, deviceInfoData, true);
  if (node == nullptr) {
    // memberFor set the error.
  } else if (flags != 0) {
    fail(kErrorInvalidFlags);
  } else if (key == nullptr || propertyType == nullptr || (propertyBuffer == nullptr && propertyBufferSize != 0)) {
    fail(kErrorInvalidUserBuffer);
  } else {
    std::optional<std::u16string> text;
    bool isList = false;
    if (sameKey(*key, DEVPKEY_Device_InstanceId))
      text = node->instanceId;
    else if (sameKey(*key, DEVPKEY_Device_Parent))
      text = node->parent;
    else if (sameKey(*key, DEVPKEY_Device_DriverDesc))
      text = node->driverDesc;
    else if (sameKey(*key, DEVPKEY_Device_LocationInfo))
      text = node->locationInfo;
    else if (sameKey(*key, kDevpkeyDeviceHardwareIds) &&
             !node->hardwareIds.empty())
      isList = true;  // DEVPKEY_Device_HardwareIds
    if (isList) {
      *propertyType = kDevPropTypeStringList;
      ok = returnProperty(multiSzBytes(node->hardwareIds), propertyBuffer, propertyBufferSize, requiredSize);
    } else if (text) {
      *propertyType = DEVPROP_TYPE_STRING;
      ok = returnProperty(utf16Bytes(*text), propertyBuffer, propertyBufferSize, requiredSize);
    } else {
      fail(ERROR_NOT_FOUND);
    }
  }
  if (requiredSize != nullptr && (ok || lastError_ == ERROR_INSUFFICIENT_BUFFER)) entry["requiredSize"] = *requiredSize;
  entry["output"] = bufferHex(propertyBuffer, propertyBufferSize);
  entry["result"] = ok;
  entry["lastError"] = lastError_;
  trace_.record(std::move(entry));
  return ok;
}

bool SimulatedMachine::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  const bool ok = sets_.erase(set) == 1 || fail(ERROR_INVALID_HANDLE);
  trace_.record({{"op", "SetupDiDestroyDeviceInfoList"}, {"set", set}, {"result", ok}, {"lastError", lastError_}});
  return ok;
}

}  // namespace koa::sim
