// The seam's header comes first: platform/win_types.h declares constants
// such as koa::ERROR_SUCCESS and koa::GENERIC_READ, which <windows.h> turns
// into macros. Declared before the SDK is seen, they keep the Windows
// spelling; this file never names them afterwards.
#include "platform/win32_platform.h"

#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <devpropdef.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <cstddef>
#include <cstring>

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

static_assert(sizeof(FileTime) == sizeof(FILETIME));
KOA_SAME_FIELD(FileTime, FILETIME, dwLowDateTime);
KOA_SAME_FIELD(FileTime, FILETIME, dwHighDateTime);

static_assert(sizeof(ByHandleFileInformation) == sizeof(BY_HANDLE_FILE_INFORMATION));
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, dwFileAttributes);
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, ftCreationTime);
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, ftLastAccessTime);
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, ftLastWriteTime);
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, dwVolumeSerialNumber);
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, nFileSizeHigh);
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, nFileSizeLow);
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, nNumberOfLinks);
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, nFileIndexHigh);
KOA_SAME_FIELD(ByHandleFileInformation, BY_HANDLE_FILE_INFORMATION, nFileIndexLow);
#undef KOA_SAME_FIELD

static_assert(kInterfaceDetailCbSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
static_assert(kInterfaceDetailPathOffset == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath));

HDEVINFO sdkSet(DevInfoSet set) { return reinterpret_cast<HDEVINFO>(set); }

// Node numbers count from 1.
constexpr std::uint32_t kFirstNodeNumber = 1;
HANDLE sdkHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
const GUID* sdkGuid(const Guid* guid) { return reinterpret_cast<const GUID*>(guid); }
const wchar_t* sdkText(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// An element handed back to SetupAPI: the caller's record with the DevInst
// SetupAPI gave it in place of the node's number (Win32Platform::nodes_).
// SetupAPI takes it through a non-const pointer though it only reads it.
class SdkElement {
 public:
  SdkElement(const SpDevInfoData* device, const std::map<std::uintptr_t, std::uint32_t>& sdkDevInst) {
    if (device == nullptr) return;
    std::memcpy(&element_, device, sizeof element_);
    if (auto it = sdkDevInst.find(device->Reserved); it != sdkDevInst.end()) element_.DevInst = it->second;
    given_ = true;
  }
  PSP_DEVINFO_DATA get() { return given_ ? &element_ : nullptr; }

 private:
  SP_DEVINFO_DATA element_{};
  bool given_ = false;
};
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

std::uint32_t Win32Platform::nodeNumber(DevInfoSet set, const SpDevInfoData& filled) {
  sdkDevInst_[filled.Reserved] = filled.DevInst;
  // Asking for the identifier must not change the error the caller reads
  // about the call it made.
  const DWORD lastError = ::GetLastError();
  wchar_t id[MAX_DEVICE_ID_LEN];
  SdkElement element(&filled, sdkDevInst_);
  const bool known = ::SetupDiGetDeviceInstanceIdW(sdkSet(set), element.get(), id, MAX_DEVICE_ID_LEN,
                                                   /*RequiredSize=*/nullptr) != FALSE;
  ::SetLastError(lastError);
  if (!known) return filled.DevInst;
  std::u16string folded;
  for (const wchar_t* c = id; *c != 0; ++c)
    folded.push_back(*c >= L'A' && *c <= L'Z' ? static_cast<char16_t>(*c + 32) : static_cast<char16_t>(*c));
  std::size_t index = 0;
  while (index < nodes_.size() && nodes_[index] != folded) ++index;
  if (index == nodes_.size()) nodes_.push_back(folded);
  return static_cast<std::uint32_t>(index) + kFirstNodeNumber;
}

bool Win32Platform::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex,
                                          SpDevInfoData* deviceInfoData) {
  const bool ok = ::SetupDiEnumDeviceInfo(sdkSet(set), memberIndex,
                                          reinterpret_cast<PSP_DEVINFO_DATA>(deviceInfoData)) != FALSE;
  if (ok) deviceInfoData->DevInst = nodeNumber(set, *deviceInfoData);
  return ok;
}

bool Win32Platform::SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                                const Guid* interfaceClassGuid,
                                                std::uint32_t memberIndex,
                                                SpDeviceInterfaceData* deviceInterfaceData) {
  SdkElement element(deviceInfoData, sdkDevInst_);
  return ::SetupDiEnumDeviceInterfaces(
             sdkSet(set), element.get(), sdkGuid(interfaceClassGuid), memberIndex,
             reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(deviceInterfaceData)) != FALSE;
}

bool Win32Platform::SetupDiGetDeviceInterfaceDetailW(
    DevInfoSet set, const SpDeviceInterfaceData* deviceInterfaceData, std::uint8_t* detail,
    std::uint32_t detailSize, std::uint32_t* requiredSize, SpDevInfoData* deviceInfoData) {
  DwordOut required(requiredSize);
  // The element arrives in a record of our own, so that one SetupAPI filled
  // can be told from what the caller's held before.
  SP_DEVINFO_DATA element{};
  if (deviceInfoData != nullptr) element.cbSize = deviceInfoData->cbSize;
  const bool ok = ::SetupDiGetDeviceInterfaceDetailW(
                      sdkSet(set), sdkInterface(deviceInterfaceData),
                      reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(detail), detailSize,
                      required.get(), deviceInfoData != nullptr ? &element : nullptr) != FALSE;
  if (deviceInfoData != nullptr && element.Reserved != 0) {
    std::memcpy(deviceInfoData, &element, sizeof element);
    deviceInfoData->DevInst = nodeNumber(set, *deviceInfoData);
  }
  return ok;
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
  SdkElement element(deviceInfoData, sdkDevInst_);
  return ::SetupDiGetDeviceRegistryPropertyW(sdkSet(set), element.get(), property,
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
  SdkElement element(deviceInfoData, sdkDevInst_);
  return ::SetupDiGetDevicePropertyW(sdkSet(set), element.get(),
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

bool Win32Platform::SetDefaultDllDirectories(std::uint32_t directoryFlags) {
  return ::SetDefaultDllDirectories(directoryFlags) != FALSE;
}

std::uint32_t Win32Platform::GetFileType(Handle file) { return ::GetFileType(sdkHandle(file)); }

bool Win32Platform::GetFileInformationByHandle(Handle file, ByHandleFileInformation* information) {
  return ::GetFileInformationByHandle(sdkHandle(file),
                                      reinterpret_cast<LPBY_HANDLE_FILE_INFORMATION>(information)) != FALSE;
}

std::uint32_t Win32Platform::GetFinalPathNameByHandleW(Handle file, char16_t* filePath, std::uint32_t size,
                                                       std::uint32_t flags) {
  return ::GetFinalPathNameByHandleW(sdkHandle(file), reinterpret_cast<wchar_t*>(filePath), size, flags);
}

std::uint32_t Win32Platform::GetFullPathNameW(const char16_t* fileName, std::uint32_t bufferLength,
                                              char16_t* buffer) {
  return ::GetFullPathNameW(sdkText(fileName), bufferLength, reinterpret_cast<wchar_t*>(buffer),
                            /*lpFilePart=*/nullptr);
}

std::uint32_t Win32Platform::GetLongPathNameW(const char16_t* shortPath, char16_t* longPath,
                                              std::uint32_t bufferLength) {
  return ::GetLongPathNameW(sdkText(shortPath), reinterpret_cast<wchar_t*>(longPath), bufferLength);
}

std::uint32_t Win32Platform::QueryDosDeviceW(const char16_t* deviceName, char16_t* targetPath,
                                             std::uint32_t max) {
  return ::QueryDosDeviceW(sdkText(deviceName), reinterpret_cast<wchar_t*>(targetPath), max);
}

bool Win32Platform::SetEndOfFile(Handle file) { return ::SetEndOfFile(sdkHandle(file)) != FALSE; }

bool Win32Platform::WriteFile(Handle file, const void* buffer, std::uint32_t numberOfBytesToWrite,
                              std::uint32_t* numberOfBytesWritten) {
  // Without an OVERLAPPED, Windows requires somewhere to store the count.
  std::uint32_t unused = 0;
  DwordOut written(numberOfBytesWritten != nullptr ? numberOfBytesWritten : &unused);
  return ::WriteFile(sdkHandle(file), buffer, numberOfBytesToWrite, written.get(), /*lpOverlapped=*/nullptr) != FALSE;
}

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

bool Win32Platform::GetComputerNameExW(std::uint32_t nameType, char16_t* buffer, std::uint32_t* size) {
  DwordOut length(size);
  return ::GetComputerNameExW(static_cast<COMPUTER_NAME_FORMAT>(nameType), reinterpret_cast<wchar_t*>(buffer),
                              length.get()) != FALSE;
}

bool Win32Platform::OpenProcessToken(std::uint32_t desiredAccess, Handle* tokenHandle) {
  HANDLE token = nullptr;
  const bool ok = ::OpenProcessToken(::GetCurrentProcess(), desiredAccess, &token) != FALSE;
  if (tokenHandle != nullptr) *tokenHandle = ok ? reinterpret_cast<Handle>(token) : kInvalidHandle;
  return ok;
}

bool Win32Platform::GetTokenInformation(Handle token, std::uint32_t tokenInformationClass,
                                        void* tokenInformation, std::uint32_t tokenInformationLength,
                                        std::uint32_t* returnLength) {
  std::uint32_t unused = 0;
  DwordOut returned(returnLength != nullptr ? returnLength : &unused);
  return ::GetTokenInformation(sdkHandle(token), static_cast<TOKEN_INFORMATION_CLASS>(tokenInformationClass),
                               tokenInformation, tokenInformationLength, returned.get()) != FALSE;
}

Handle Win32Platform::GetProcessWindowStation() {
  return reinterpret_cast<Handle>(::GetProcessWindowStation());
}

bool Win32Platform::GetUserObjectInformationW(Handle object, int index, void* info, std::uint32_t length,
                                              std::uint32_t* lengthNeeded) {
  std::uint32_t unused = 0;
  DwordOut needed(lengthNeeded != nullptr ? lengthNeeded : &unused);
  return ::GetUserObjectInformationW(sdkHandle(object), index, info, length, needed.get()) != FALSE;
}

Handle Win32Platform::CreateMutexW(const std::uint8_t* securityDescriptor, bool initialOwner, const char16_t* name) {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  // The SDK takes the descriptor through a non-const pointer and only reads it.
  attributes.lpSecurityDescriptor = const_cast<std::uint8_t*>(securityDescriptor);
  attributes.bInheritHandle = FALSE;
  return reinterpret_cast<Handle>(::CreateMutexW(securityDescriptor != nullptr ? &attributes : nullptr,
                                                 initialOwner ? TRUE : FALSE, sdkText(name)));
}

std::uint32_t Win32Platform::WaitForSingleObject(Handle object, std::uint32_t milliseconds) {
  return ::WaitForSingleObject(sdkHandle(object), milliseconds);
}

bool Win32Platform::ReleaseMutex(Handle mutex) { return ::ReleaseMutex(sdkHandle(mutex)) != FALSE; }

bool Win32Platform::GetKernelObjectSecurity(Handle object, std::uint32_t requestedInformation,
                                            void* securityDescriptor, std::uint32_t length,
                                            std::uint32_t* lengthNeeded) {
  std::uint32_t unused = 0;
  DwordOut needed(lengthNeeded != nullptr ? lengthNeeded : &unused);
  return ::GetKernelObjectSecurity(sdkHandle(object), requestedInformation, securityDescriptor, length,
                                   needed.get()) != FALSE;
}

}  // namespace koa
