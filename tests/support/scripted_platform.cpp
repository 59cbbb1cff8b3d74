#include "tests/support/scripted_platform.h"

#include <algorithm>

#include "tests/support/bytes.h"

namespace koa::test {

ScriptedPlatform::~ScriptedPlatform() {
  if (&currentPlatform() == this) installEmptyMachine();
}

std::vector<IoCall> ScriptedPlatform::callsWithCode(std::uint32_t code) const {
  std::vector<IoCall> matching;
  for (const IoCall& call : calls)
    if (call.code == code) matching.push_back(call);
  return matching;
}

const ScriptedNode* ScriptedPlatform::element(DevInfoSet set, std::uintptr_t reserved) {
  const auto members = sets_.find(set);
  const bool member = members != sets_.end() && reserved != 0 &&
                      std::find(members->second.begin(), members->second.end(), reserved - 1) != members->second.end();
  if (member) return &nodes[reserved - 1];
  fail(members == sets_.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
  return nullptr;
}

const ScriptedNode* ScriptedPlatform::nodeAt(const std::u16string& path) const {
  for (const ScriptedNode& node : nodes)
    if (!node.interfacePath.empty() && node.interfacePath == path) return &node;
  return nullptr;
}

bool ScriptedPlatform::writeUnits(const std::u16string& units, std::uint8_t* buffer, std::uint32_t size,
                                  std::uint32_t* required) {
  const auto needed = static_cast<std::uint32_t>(2 * (units.size() + 1));
  if (required != nullptr) *required = needed;
  if (buffer == nullptr || size < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  putUtf16(buffer, units);
  return true;
}

DevInfoSet ScriptedPlatform::SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator,
                                                  std::uint32_t flags) {
  classDevsFlags.push_back(flags);
  const bool allClasses = (flags & DIGCF_ALLCLASSES) != 0;
  if (classDevsError != 0 || enumerator != nullptr || (!allClasses && classGuid == nullptr)) {
    lastError_ = classDevsError != 0 ? classDevsError : ERROR_INVALID_PARAMETER;
    return kInvalidDevInfoSet;
  }
  std::vector<std::size_t>& members = sets_[nextSet_];
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (allClasses || nodes[i].interfaceClass == *classGuid) members.push_back(i);
  return nextSet_++;
}

bool ScriptedPlatform::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* data) {
  const auto members = sets_.find(set);
  if (members == sets_.end()) return fail(ERROR_INVALID_HANDLE);
  if (data == nullptr || data->cbSize != sizeof(SpDevInfoData)) return fail(ERROR_INVALID_PARAMETER);
  if (memberIndex >= members->second.size()) return fail(ERROR_NO_MORE_ITEMS);
  const std::size_t member = members->second[memberIndex];
  data->DevInst = nodes[member].devInst;
  data->Reserved = member + 1;
  return true;
}

bool ScriptedPlatform::SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                   const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                                   SpDeviceInterfaceData* interfaceData) {
  const auto members = sets_.find(set);
  if (members == sets_.end()) return fail(ERROR_INVALID_HANDLE);
  if (interfaceClassGuid == nullptr || interfaceData == nullptr ||
      interfaceData->cbSize != sizeof(SpDeviceInterfaceData))
    return fail(ERROR_INVALID_PARAMETER);
  // The interfaces of the class over the whole set, or over one element.
  std::uint32_t index = 0;
  for (const std::size_t member : members->second) {
    const ScriptedNode& node = nodes[member];
    if (node.interfacePath.empty() || !(node.interfaceClass == *interfaceClassGuid)) continue;
    if (deviceInfoData != nullptr && deviceInfoData->Reserved != member + 1) continue;
    if (index++ != memberIndex) continue;
    interfaceData->InterfaceClassGuid = node.interfaceClass;
    interfaceData->Reserved = member + 1;
    return true;
  }
  return fail(ERROR_NO_MORE_ITEMS);
}

bool ScriptedPlatform::SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* interfaceData,
                                                        std::uint8_t* detail, std::uint32_t detailSize,
                                                        std::uint32_t* requiredSize, SpDevInfoData* deviceInfoData) {
  if (interfaceData == nullptr || (deviceInfoData != nullptr && deviceInfoData->cbSize != sizeof(SpDevInfoData)))
    return fail(ERROR_INVALID_PARAMETER);
  const ScriptedNode* node = element(set, interfaceData->Reserved);
  if (node == nullptr) return false;
  const auto needed = static_cast<std::uint32_t>(kInterfaceDetailPathOffset + 2 * (node->interfacePath.size() + 1));
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detail == nullptr || detailSize < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  if (le32({detail, detailSize}, 0) != kInterfaceDetailCbSize) return fail(ERROR_INVALID_PARAMETER);
  putUtf16(detail + kInterfaceDetailPathOffset, node->interfacePath);
  if (deviceInfoData != nullptr) {
    deviceInfoData->DevInst = node->devInst;
    deviceInfoData->Reserved = interfaceData->Reserved;
  }
  return true;
}

bool ScriptedPlatform::SetupDiGetDeviceRegistryPropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                         std::uint32_t property, std::uint32_t* propertyRegDataType,
                                                         std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                                                         std::uint32_t* requiredSize) {
  if (deviceInfoData == nullptr) return fail(ERROR_INVALID_PARAMETER);
  const ScriptedNode* node = element(set, deviceInfoData->Reserved);
  if (node == nullptr) return false;
  if (property != SPDRP_HARDWAREID || node->hardwareIds.empty()) return fail(ERROR_INVALID_DATA);
  if (propertyRegDataType != nullptr) *propertyRegDataType = REG_MULTI_SZ;
  std::u16string multiString;  // each identifier with its NUL; writeUnits adds the NUL that ends the list
  for (const std::u16string& id : node->hardwareIds) multiString += id + u'\0';
  return writeUnits(multiString, propertyBuffer, propertyBufferSize, requiredSize);
}

bool ScriptedPlatform::SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                 const DevPropKey* propertyKey, std::uint32_t* propertyType,
                                                 std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                                                 std::uint32_t* requiredSize, std::uint32_t flags) {
  if (deviceInfoData == nullptr || propertyKey == nullptr || flags != 0) return fail(ERROR_INVALID_PARAMETER);
  const ScriptedNode* node = element(set, deviceInfoData->Reserved);
  if (node == nullptr) return false;
  propertyBufferSizes.push_back(propertyBuffer == nullptr ? 0 : propertyBufferSize);
  const auto found = node->properties.find(*propertyKey);
  if (found == node->properties.end()) return fail(ERROR_NOT_FOUND);
  if (propertyType != nullptr) *propertyType = DEVPROP_TYPE_STRING;
  return writeUnits(found->second, propertyBuffer, propertyBufferSize, requiredSize);
}

bool ScriptedPlatform::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  return sets_.erase(set) != 0 || fail(ERROR_INVALID_HANDLE);
}

Handle ScriptedPlatform::CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
  OpenCall& call = opens.emplace_back(
      OpenCall{fileName, desiredAccess, shareMode, creationDisposition, flagsAndAttributes, kInvalidHandle});
  std::uint32_t error = otherPathError;
  if (const auto refused = refusedPaths.find(call.path); refused != refusedPaths.end())
    error = refused->second;
  else if (nodeAt(call.path) != nullptr || openable.count(call.path) != 0)
    error = ERROR_SUCCESS;
  const bool shared = std::any_of(handles_.begin(), handles_.end(), [&](const auto& open) {
    return open.second.path == call.path && (open.second.exclusive || shareMode == 0);
  });
  if (error == ERROR_SUCCESS && shared) {
    error = ERROR_SHARING_VIOLATION;
    ++sharingViolations;
  }
  if (error != ERROR_SUCCESS) {
    lastError_ = error;
    return kInvalidHandle;
  }
  call.handle = nextHandle_++;
  handles_[call.handle] = {call.path, shareMode == 0};
  return call.handle;
}

bool ScriptedPlatform::DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer,
                                       std::uint32_t inBufferSize, void* outBuffer, std::uint32_t outBufferSize,
                                       std::uint32_t* bytesReturned) {
  const auto open = handles_.find(device);
  if (open == handles_.end()) return fail(ERROR_INVALID_HANDLE);
  if ((inBuffer == nullptr && inBufferSize != 0) || (outBuffer == nullptr && outBufferSize != 0))
    return fail(ERROR_INVALID_PARAMETER);
  const auto* in = static_cast<const std::uint8_t*>(inBuffer);
  const IoCall& call = calls.emplace_back(IoCall{device, open->second.path, ioControlCode,
                                                 in == nullptr ? std::vector<std::uint8_t>{}
                                                               : std::vector<std::uint8_t>(in, in + inBufferSize),
                                                 inBufferSize, outBufferSize, inBuffer == outBuffer});
  // The input is consumed before any output is written, as the I/O manager
  // does with its system buffer.
  std::vector<std::uint8_t> system(call.input);
  system.resize(std::max(inBufferSize, outBufferSize), 0);
  std::uint32_t returned = outBufferSize;
  std::uint32_t error = ERROR_SUCCESS;
  const ScriptedNode* node = nodeAt(call.path);
  if (ioControlCode == IOCTL_STORAGE_GET_DEVICE_NUMBER && node != nullptr && node->deviceNumber) {
    // STORAGE_DEVICE_NUMBER: DeviceType, DeviceNumber, PartitionNumber.
    if (inBufferSize != 0 || outBufferSize != 12) error = ERROR_INVALID_PARAMETER;
    if (error == ERROR_SUCCESS) putLe32(system, 4, *node->deviceNumber);
  } else if (answer) {
    error = answer(call, system.data(), returned);
  }
  if (bytesReturned != nullptr) *bytesReturned = error == ERROR_SUCCESS ? returned : 0;
  if (error != ERROR_SUCCESS) return fail(error);
  if (outBufferSize != 0) std::memcpy(outBuffer, system.data(), outBufferSize);
  return true;
}

bool ScriptedPlatform::CloseHandle(Handle object) { return handles_.erase(object) != 0 || fail(ERROR_INVALID_HANDLE); }

}  // namespace koa::test
