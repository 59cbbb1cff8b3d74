#include "tests/irst/fake_machine.h"

#include <cstring>

namespace koa::test {
namespace {

void putUnits(std::uint8_t* buffer, const std::u16string& text) {
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
}

}  // namespace

FakeMachine::FakeMachine() {
  driver = [](const IoCall&, std::uint8_t*, std::uint32_t&) { return true; };
  installPlatform(*this);
}

DevInfoSet FakeMachine::SetupDiGetClassDevsW(const Guid* classGuid, const char16_t*, std::uint32_t flags) {
  classDevsFlags.push_back(flags);
  SetState state;
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if ((flags & DIGCF_ALLCLASSES) != 0 || (classGuid != nullptr && nodes[i].interfaceClass == *classGuid))
      state.members.push_back(i);
  const DevInfoSet set = nextSet_++;
  sets_[set] = state;
  ++openSets;
  return set;
}

bool FakeMachine::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* data) {
  const auto& members = sets_.at(set).members;
  if (data->cbSize != sizeof(SpDevInfoData)) return lastError_ = ERROR_INVALID_PARAMETER, false;
  if (memberIndex >= members.size()) return lastError_ = ERROR_NO_MORE_ITEMS, false;
  data->DevInst = nodes[members[memberIndex]].devInst;
  data->Reserved = members[memberIndex];
  return true;
}

bool FakeMachine::SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData*, const Guid* interfaceClassGuid,
                                              std::uint32_t memberIndex, SpDeviceInterfaceData* interfaceData) {
  const auto& members = sets_.at(set).members;
  if (interfaceData->cbSize != sizeof(SpDeviceInterfaceData)) return lastError_ = ERROR_INVALID_PARAMETER, false;
  if (memberIndex >= members.size()) return lastError_ = ERROR_NO_MORE_ITEMS, false;
  const FakeNode& node = nodes[members[memberIndex]];
  if (node.interfacePath.empty() || !(node.interfaceClass == *interfaceClassGuid))
    return lastError_ = ERROR_NO_MORE_ITEMS, false;
  interfaceData->InterfaceClassGuid = node.interfaceClass;
  interfaceData->Reserved = members[memberIndex];
  return true;
}

bool FakeMachine::SetupDiGetDeviceInterfaceDetailW(DevInfoSet, const SpDeviceInterfaceData* interfaceData,
                                                   std::uint8_t* detail, std::uint32_t detailSize,
                                                   std::uint32_t* requiredSize, SpDevInfoData* deviceInfoData) {
  const FakeNode& node = nodes.at(interfaceData->Reserved);
  const auto needed = static_cast<std::uint32_t>(4 + (node.interfacePath.size() + 1) * 2);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detail == nullptr || detailSize < needed) return lastError_ = ERROR_INSUFFICIENT_BUFFER, false;
  std::uint32_t cbSize = 0;
  std::memcpy(&cbSize, detail, 4);
  if (cbSize != kInterfaceDetailCbSize) return lastError_ = ERROR_INVALID_PARAMETER, false;
  putUnits(detail + 4, node.interfacePath);
  if (deviceInfoData != nullptr) {
    if (deviceInfoData->cbSize != sizeof(SpDevInfoData)) return lastError_ = ERROR_INVALID_PARAMETER, false;
    deviceInfoData->DevInst = node.devInst;
    deviceInfoData->Reserved = interfaceData->Reserved;
  }
  return true;
}

bool FakeMachine::SetupDiGetDeviceRegistryPropertyW(DevInfoSet, const SpDevInfoData*, std::uint32_t, std::uint32_t*,
                                                    std::uint8_t*, std::uint32_t, std::uint32_t*) {
  lastError_ = ERROR_INVALID_DATA;
  return false;
}

bool FakeMachine::SetupDiGetDevicePropertyW(DevInfoSet, const SpDevInfoData* deviceInfoData,
                                            const DevPropKey* propertyKey, std::uint32_t* propertyType,
                                            std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                                            std::uint32_t* requiredSize, std::uint32_t) {
  const FakeNode& node = nodes.at(deviceInfoData->Reserved);
  const auto found = node.properties.find(propertyKey->pid);
  if (found == node.properties.end()) return lastError_ = ERROR_NOT_FOUND, false;
  const auto needed = static_cast<std::uint32_t>((found->second.size() + 1) * 2);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (propertyType != nullptr) *propertyType = DEVPROP_TYPE_STRING;
  if (propertyBuffer == nullptr || propertyBufferSize < needed) return lastError_ = ERROR_INSUFFICIENT_BUFFER, false;
  putUnits(propertyBuffer, found->second);
  return true;
}

bool FakeMachine::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  if (sets_.erase(set) == 0) return lastError_ = ERROR_INVALID_HANDLE, false;
  --openSets;
  return true;
}

Handle FakeMachine::CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                                std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
  OpenCall call{fileName, desiredAccess, shareMode, creationDisposition, flagsAndAttributes, kInvalidHandle};
  if (const auto refused = refusedPaths.find(call.path); refused != refusedPaths.end()) {
    lastError_ = refused->second;
    opens.push_back(call);
    return kInvalidHandle;
  }
  // As Windows does for a file: an exclusive open excludes every other.
  for (const auto& [handle, open] : handles_) {
    if (open.first == call.path && (open.second || shareMode == 0)) {
      lastError_ = ERROR_SHARING_VIOLATION;
      ++sharingViolations;
      opens.push_back(call);
      return kInvalidHandle;
    }
  }
  call.handle = nextHandle_++;
  handles_[call.handle] = {call.path, shareMode == 0};
  ++openHandles;
  opens.push_back(call);
  return call.handle;
}

bool FakeMachine::DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer,
                                  std::uint32_t inBufferSize, void* outBuffer, std::uint32_t outBufferSize,
                                  std::uint32_t* bytesReturned) {
  const auto open = handles_.find(device);
  if (open == handles_.end()) return lastError_ = ERROR_INVALID_HANDLE, false;
  IoCall call;
  call.handle = device;
  call.path = open->second.first;
  call.code = ioControlCode;
  const auto* in = static_cast<const std::uint8_t*>(inBuffer);
  call.input.assign(in, in + inBufferSize);
  call.outSize = outBufferSize;
  call.sameBuffer = inBuffer == outBuffer;
  ioCalls.push_back(call);
  std::vector<std::uint8_t> system(std::max(inBufferSize, outBufferSize), 0);
  std::memcpy(system.data(), inBuffer, inBufferSize);
  std::uint32_t error = 0;
  if (!driver(call, system.data(), error)) return lastError_ = error, false;
  std::memcpy(outBuffer, system.data(), outBufferSize);
  if (bytesReturned != nullptr) *bytesReturned = outBufferSize;
  return true;
}

bool FakeMachine::CloseHandle(Handle object) {
  if (handles_.erase(object) == 0) return lastError_ = ERROR_INVALID_HANDLE, false;
  --openHandles;
  return true;
}

std::vector<IoCall> FakeMachine::callsWithCode(std::uint32_t code) const {
  std::vector<IoCall> calls;
  for (const auto& call : ioCalls)
    if (call.code == code) calls.push_back(call);
  return calls;
}

FakeNode intelControllerNode(std::u16string path, std::u16string driverDescription, std::uint32_t devInst) {
  FakeNode node;
  node.interfaceClass = GUID_DEVINTERFACE_STORAGEPORT;
  node.interfacePath = std::move(path);
  node.devInst = devInst;
  node.properties[DEVPKEY_Device_DriverDesc.pid] = std::move(driverDescription);
  node.properties[DEVPKEY_Device_InstanceId.pid] = u"PCI\\VEN_8086&DEV_A77F&SUBSYS_00000000\\3&11583659&0&B8";
  return node;
}

FakeNode intelDiskNode(std::u16string path, std::u16string instanceId, std::u16string location,
                       std::uint32_t devInst) {
  FakeNode node;
  node.interfaceClass = GUID_DEVINTERFACE_DISK;
  node.interfacePath = std::move(path);
  node.devInst = devInst;
  node.properties[DEVPKEY_Device_Parent.pid] = u"PCI\\VEN_8086&DEV_A77F&SUBSYS_00000000\\3&11583659&0&B8";
  node.properties[DEVPKEY_Device_InstanceId.pid] = std::move(instanceId);
  if (!location.empty()) node.properties[DEVPKEY_Device_LocationInfo.pid] = std::move(location);
  return node;
}

}  // namespace koa::test
