// The seam's header comes first: platform/win_types.h declares constants
// such as koa::ERROR_SUCCESS and koa::GENERIC_READ, which <windows.h> turns
// into macros. Declared before the SDK is seen, they keep the Windows
// spelling; this file never names them afterwards.
#include "platform/win32_platform.h"

#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <devpropdef.h>
#include <setupapi.h>

#include <cstddef>

namespace koa {
namespace {

// The seam's structures are handed to the SDK as its own. That is sound only
// while the two layouts agree field by field.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 on Windows");
static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
static_assert(sizeof(Handle) == sizeof(HANDLE));
static_assert(sizeof(DevInfoSet) == sizeof(HDEVINFO));

// Same offset and same width: a field of ours stands where the SDK's does.
#define KOA_SAME_FIELD(Ours, Sdk, field)                                   \
  static_assert(offsetof(Ours, field) == offsetof(Sdk, field) &&          \
                    sizeof(Ours::field) == sizeof(Sdk::field),            \
                #Ours "::" #field " does not match " #Sdk)

static_assert(sizeof(Guid) == sizeof(GUID));
KOA_SAME_FIELD(Guid, GUID, Data1);
KOA_SAME_FIELD(Guid, GUID, Data2);
KOA_SAME_FIELD(Guid, GUID, Data3);
KOA_SAME_FIELD(Guid, GUID, Data4);

static_assert(sizeof(DevPropKey) == sizeof(DEVPROPKEY));
KOA_SAME_FIELD(DevPropKey, DEVPROPKEY, fmtid);
KOA_SAME_FIELD(DevPropKey, DEVPROPKEY, pid);

static_assert(sizeof(SpDevInfoData) == sizeof(SP_DEVINFO_DATA));
KOA_SAME_FIELD(SpDevInfoData, SP_DEVINFO_DATA, cbSize);
KOA_SAME_FIELD(SpDevInfoData, SP_DEVINFO_DATA, ClassGuid);
KOA_SAME_FIELD(SpDevInfoData, SP_DEVINFO_DATA, DevInst);
KOA_SAME_FIELD(SpDevInfoData, SP_DEVINFO_DATA, Reserved);

static_assert(sizeof(SpDeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA));
KOA_SAME_FIELD(SpDeviceInterfaceData, SP_DEVICE_INTERFACE_DATA, cbSize);
KOA_SAME_FIELD(SpDeviceInterfaceData, SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid);
KOA_SAME_FIELD(SpDeviceInterfaceData, SP_DEVICE_INTERFACE_DATA, Flags);
KOA_SAME_FIELD(SpDeviceInterfaceData, SP_DEVICE_INTERFACE_DATA, Reserved);
#undef KOA_SAME_FIELD

static_assert(kInterfaceDetailCbSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
static_assert(kInterfaceDetailPathOffset == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath));

HDEVINFO sdkSet(DevInfoSet set) { return reinterpret_cast<HDEVINFO>(set); }
HANDLE sdkHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
const GUID* sdkGuid(const Guid* guid) { return reinterpret_cast<const GUID*>(guid); }
const wchar_t* sdkText(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// SetupAPI takes the element and interface records through non-const
// pointers even where it only reads them.
PSP_DEVINFO_DATA sdkDevice(const SpDevInfoData* device) {
  return reinterpret_cast<PSP_DEVINFO_DATA>(const_cast<SpDevInfoData*>(device));
}
PSP_DEVICE_INTERFACE_DATA sdkInterface(const SpDeviceInterfaceData* interfaceData) {
  return reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(
      const_cast<SpDeviceInterfaceData*>(interfaceData));
}

// An optional DWORD out-argument. The seam's std::uint32_t is unsigned int,
// the SDK's DWORD unsigned long: same width, different type, so the value
// travels through a DWORD of our own instead of aliasing one as the other.
// It is copied in first so that a value Windows leaves untouched on failure
// stays what the caller had.
class DwordOut {
 public:
  explicit DwordOut(std::uint32_t* target) : target_(target), value_(target ? *target : 0) {}
  DwordOut(const DwordOut&) = delete;
  DwordOut& operator=(const DwordOut&) = delete;
  ~DwordOut() {
    if (target_ != nullptr) *target_ = static_cast<std::uint32_t>(value_);
  }
  DWORD* get() { return target_ != nullptr ? &value_ : nullptr; }

 private:
  std::uint32_t* target_;
  DWORD value_;
};

}  // namespace

DevInfoSet Win32Platform::SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator,
                                               std::uint32_t flags) {
  return reinterpret_cast<DevInfoSet>(::SetupDiGetClassDevsW(sdkGuid(classGuid), sdkText(enumerator),
                                                             /*hwndParent=*/nullptr, flags));
}

bool Win32Platform::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex,
                                          SpDevInfoData* deviceInfoData) {
  return ::SetupDiEnumDeviceInfo(sdkSet(set), memberIndex,
                                 reinterpret_cast<PSP_DEVINFO_DATA>(deviceInfoData)) != FALSE;
}

bool Win32Platform::SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                const Guid* interfaceClassGuid,
                                                std::uint32_t memberIndex,
                                                SpDeviceInterfaceData* deviceInterfaceData) {
  return ::SetupDiEnumDeviceInterfaces(
             sdkSet(set), sdkDevice(deviceInfoData), sdkGuid(interfaceClassGuid), memberIndex,
             reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(deviceInterfaceData)) != FALSE;
}

bool Win32Platform::SetupDiGetDeviceInterfaceDetailW(
    DevInfoSet set, const SpDeviceInterfaceData* deviceInterfaceData, std::uint8_t* detail,
    std::uint32_t detailSize, std::uint32_t* requiredSize, SpDevInfoData* deviceInfoData) {
  DwordOut required(requiredSize);
  return ::SetupDiGetDeviceInterfaceDetailW(
             sdkSet(set), sdkInterface(deviceInterfaceData),
             reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(detail), detailSize, required.get(),
             reinterpret_cast<PSP_DEVINFO_DATA>(deviceInfoData)) != FALSE;
}

bool Win32Platform::SetupDiGetDeviceRegistryPropertyW(DevInfoSet set,
                                                      const SpDevInfoData* deviceInfoData,
                                                      std::uint32_t property,
                                                      std::uint32_t* propertyRegDataType,
                                                      std::uint8_t* propertyBuffer,
                                                      std::uint32_t propertyBufferSize,
                                                      std::uint32_t* requiredSize) {
  DwordOut dataType(propertyRegDataType);
  DwordOut required(requiredSize);
  return ::SetupDiGetDeviceRegistryPropertyW(sdkSet(set), sdkDevice(deviceInfoData), property,
                                             dataType.get(), propertyBuffer, propertyBufferSize,
                                             required.get()) != FALSE;
}

bool Win32Platform::SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                              const DevPropKey* propertyKey,
                                              std::uint32_t* propertyType,
                                              std::uint8_t* propertyBuffer,
                                              std::uint32_t propertyBufferSize,
                                              std::uint32_t* requiredSize, std::uint32_t flags) {
  // DEVPROPTYPE is a ULONG, like DWORD.
  static_assert(sizeof(DEVPROPTYPE) == sizeof(std::uint32_t));
  DwordOut type(propertyType);
  DwordOut required(requiredSize);
  return ::SetupDiGetDevicePropertyW(sdkSet(set), sdkDevice(deviceInfoData),
                                     reinterpret_cast<const DEVPROPKEY*>(propertyKey), type.get(),
                                     propertyBuffer, propertyBufferSize, required.get(),
                                     flags) != FALSE;
}

bool Win32Platform::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  return ::SetupDiDestroyDeviceInfoList(sdkSet(set)) != FALSE;
}

Handle Win32Platform::CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess,
                                  std::uint32_t shareMode, std::uint32_t creationDisposition,
                                  std::uint32_t flagsAndAttributes) {
  return reinterpret_cast<Handle>(::CreateFileW(sdkText(fileName), desiredAccess, shareMode,
                                                /*lpSecurityAttributes=*/nullptr,
                                                creationDisposition, flagsAndAttributes,
                                                /*hTemplateFile=*/nullptr));
}

bool Win32Platform::DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer,
                                    std::uint32_t inBufferSize, void* outBuffer,
                                    std::uint32_t outBufferSize, std::uint32_t* bytesReturned) {
  // Without an OVERLAPPED, Windows requires somewhere to store the count even
  // when the caller has no use for it.
  std::uint32_t unused = 0;
  DwordOut returned(bytesReturned != nullptr ? bytesReturned : &unused);
  return ::DeviceIoControl(sdkHandle(device), ioControlCode, inBuffer, inBufferSize, outBuffer,
                           outBufferSize, returned.get(), /*lpOverlapped=*/nullptr) != FALSE;
}

bool Win32Platform::CloseHandle(Handle object) { return ::CloseHandle(sdkHandle(object)) != FALSE; }

std::uint32_t Win32Platform::GetLastError() { return ::GetLastError(); }

std::intptr_t Win32Platform::GetModuleHandleW(const char16_t* moduleName) {
  return reinterpret_cast<std::intptr_t>(::GetModuleHandleW(sdkText(moduleName)));
}

std::uint32_t Win32Platform::SetErrorMode(std::uint32_t mode) { return ::SetErrorMode(mode); }

int Win32Platform::MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) {
  return ::MessageBoxW(/*hWnd=*/nullptr, sdkText(text), sdkText(caption), type);
}

LocalTime Win32Platform::localTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace koa
