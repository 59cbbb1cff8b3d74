#include "tests/inbox/fake_platform.h"

#include <cstring>

namespace koa::test::inbox {
namespace {
constexpr DevInfoSet kSet = 7;
}

FakePlatform::FakePlatform() { installPlatform(*this); }
FakePlatform::~FakePlatform() = default;

DevInfoSet FakePlatform::SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator,
                                              std::uint32_t flags) {
  if (classDevsFail || classGuid == nullptr || !(*classGuid == GUID_DEVINTERFACE_DISK) ||
      enumerator != nullptr || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return kInvalidDevInfoSet;
  }
  ++openSets;
  return kSet;
}

bool FakePlatform::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t index, SpDevInfoData* data) {
  if (set != kSet || data == nullptr || data->cbSize != 32) return fail(ERROR_INVALID_PARAMETER);
  if (index >= disks.size()) return fail(ERROR_NO_MORE_ITEMS);
  data->DevInst = index + 1;
  return true;
}

bool FakePlatform::SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* device,
                                               const Guid* guid, std::uint32_t index,
                                               SpDeviceInterfaceData* data) {
  if (set != kSet || device != nullptr || guid == nullptr || !(*guid == GUID_DEVINTERFACE_DISK) ||
      data == nullptr || data->cbSize != 32)
    return fail(ERROR_INVALID_PARAMETER);
  if (index >= disks.size()) return fail(ERROR_NO_MORE_ITEMS);
  data->Reserved = index;
  return true;
}

bool FakePlatform::SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* data,
                                                    std::uint8_t* detail, std::uint32_t size,
                                                    std::uint32_t* required, SpDevInfoData* device) {
  if (set != kSet || data == nullptr || data->Reserved >= disks.size() ||
      (device != nullptr && device->cbSize != 32))
    return fail(ERROR_INVALID_PARAMETER);
  const std::u16string& path = disks[data->Reserved].interfacePath;
  const auto needed = static_cast<std::uint32_t>(4 + 2 * (path.size() + 1));
  if (required != nullptr) *required = needed;
  if (detail == nullptr || size < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::uint32_t cbSize = 0;
  std::memcpy(&cbSize, detail, 4);
  if (cbSize != 8) return fail(ERROR_INVALID_PARAMETER);
  std::memcpy(detail + 4, path.c_str(), 2 * (path.size() + 1));
  return true;
}

bool FakePlatform::writeProperty(const std::vector<std::u16string>& value, bool multi, std::uint8_t* buffer,
                                 std::uint32_t size, std::uint32_t* required) {
  std::u16string flat;
  for (const auto& s : value) flat += s + u'\0';
  if (multi) flat += u'\0';
  const auto needed = static_cast<std::uint32_t>(2 * flat.size());
  if (required != nullptr) *required = needed;
  if (buffer == nullptr || size < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, flat.data(), needed);
  return true;
}

bool FakePlatform::SetupDiGetDeviceRegistryPropertyW(DevInfoSet set, const SpDevInfoData* device,
                                                     std::uint32_t property, std::uint32_t* type,
                                                     std::uint8_t* buffer, std::uint32_t size,
                                                     std::uint32_t* required) {
  if (set != kSet || device == nullptr || device->DevInst == 0 || property != SPDRP_HARDWAREID)
    return fail(ERROR_INVALID_PARAMETER);
  const FakeDisk& disk = disks[device->DevInst - 1];
  if (disk.hardwareIds.empty()) return fail(ERROR_INVALID_DATA);
  if (type != nullptr) *type = REG_MULTI_SZ;
  return writeProperty(disk.hardwareIds, /*multi=*/true, buffer, size, required);
}

bool FakePlatform::SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* device,
                                             const DevPropKey* key, std::uint32_t* type, std::uint8_t* buffer,
                                             std::uint32_t size, std::uint32_t* required, std::uint32_t flags) {
  if (set != kSet || device == nullptr || device->DevInst == 0 || key == nullptr || flags != 0)
    return fail(ERROR_INVALID_PARAMETER);
  propertyBufferSizes.push_back(buffer == nullptr ? 0 : size);
  const FakeDisk& disk = disks[device->DevInst - 1];
  const std::optional<std::u16string>* value = nullptr;
  if (key->fmtid == DEVPKEY_Device_Parent.fmtid && key->pid == DEVPKEY_Device_Parent.pid)
    value = &disk.parent;
  else if (key->fmtid == DEVPKEY_Device_InstanceId.fmtid && key->pid == DEVPKEY_Device_InstanceId.pid)
    value = &disk.instanceId;
  if (value == nullptr || !value->has_value()) return fail(ERROR_NOT_FOUND);
  if (type != nullptr) *type = DEVPROP_TYPE_STRING;
  return writeProperty({**value}, /*multi=*/false, buffer, size, required);
}

bool FakePlatform::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  if (set != kSet) return fail(ERROR_INVALID_HANDLE);
  --openSets;
  return true;
}

Handle FakePlatform::CreateFileW(const char16_t* name, std::uint32_t access, std::uint32_t share,
                                 std::uint32_t disposition, std::uint32_t flags) {
  const std::u16string path = name;
  opened.push_back(path);
  if (access != (GENERIC_READ | GENERIC_WRITE) || share != (FILE_SHARE_READ | FILE_SHARE_WRITE) ||
      disposition != OPEN_EXISTING || flags != 0) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return kInvalidHandle;
  }
  int disk = -1;
  for (std::size_t i = 0; i < disks.size(); ++i)
    if (disks[i].interfacePath == path) disk = static_cast<int>(i);
  const std::uint32_t error = disk >= 0 ? disks[static_cast<std::size_t>(disk)].openError : openError;
  if (error != 0) {
    lastError_ = error;
    return kInvalidHandle;
  }
  const Handle handle = nextHandle_++;
  handles_[handle] = disk;
  ++openHandles;
  return handle;
}

bool FakePlatform::DeviceIoControl(Handle device, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                                   std::uint32_t outSize, std::uint32_t* bytesReturned) {
  const auto handle = handles_.find(device);
  if (handle == handles_.end()) return fail(ERROR_INVALID_HANDLE);
  RecordedRequest request{device, code, {}, inSize, outSize, in == out};
  if (in != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(in);
    request.input.assign(bytes, bytes + inSize);
  }
  requests.push_back(request);
  if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER && handle->second >= 0) {
    const FakeDisk& disk = disks[static_cast<std::size_t>(handle->second)];
    if (!disk.deviceNumber) return fail(ERROR_INVALID_FUNCTION);
    if (in != nullptr || inSize != 0 || out == nullptr || outSize != 12) return fail(ERROR_INVALID_PARAMETER);
    std::uint8_t number[12] = {};
    std::memcpy(number + 4, &*disk.deviceNumber, 4);
    std::memcpy(out, number, 12);
    if (bytesReturned != nullptr) *bytesReturned = 12;
    return true;
  }
  if (!answer || in != out || inSize != outSize) return fail(ERROR_INVALID_FUNCTION);
  const std::uint32_t error = answer(code, static_cast<std::uint8_t*>(out), outSize);
  if (error != 0) return fail(error);
  if (bytesReturned != nullptr) *bytesReturned = outSize;
  return true;
}

bool FakePlatform::CloseHandle(Handle object) {
  if (handles_.erase(object) == 0) return fail(ERROR_INVALID_HANDLE);
  --openHandles;
  return true;
}

}  // namespace koa::test::inbox
