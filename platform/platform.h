// The one seam through which the system reaches the machine.
//
// Every operation keeps the name and the contract of the Win32 function it
// stands for, so that the call sites read like the Windows code they are and
// the Win32 body is a plain forwarder. Two bodies exist: the real one
// (platform/win32_platform.cpp, Windows builds only) and the simulated machine
// (sim/), which answers as the storage stack, the Intel drivers and the drives
// would. Nothing in this interface prints, exits or allocates on behalf of the
// caller; failures are reported through the return value and GetLastError().
//
// Wide text is UTF-16 (char16_t) on every build so that every comparison is by
// 16-bit code unit, as on Windows.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

namespace koa {

class Platform {
 public:
  virtual ~Platform() = default;

  // ---- Device installation (SetupAPI) ----

  // A set of present devices of an interface class (flags as DIGCF_*).
  // Returns kInvalidDevInfoSet on failure. The set must be released with
  // SetupDiDestroyDeviceInfoList.
  virtual DevInfoSet SetupDiGetClassDevsW(const Guid* classGuid,
                                          const char16_t* enumerator,
                                          std::uint32_t flags) = 0;

  // The element at memberIndex, in the set's stable order. False with
  // ERROR_NO_MORE_ITEMS past the end. deviceInfoData->cbSize must be 32.
  virtual bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex,
                                     SpDevInfoData* deviceInfoData) = 0;

  // The interface of class interfaceClassGuid at memberIndex, over the whole
  // set when deviceInfoData is null. False with ERROR_NO_MORE_ITEMS past the
  // end. deviceInterfaceData->cbSize must be 32.
  virtual bool SetupDiEnumDeviceInterfaces(DevInfoSet set,
                                           const SpDevInfoData* deviceInfoData,
                                           const Guid* interfaceClassGuid,
                                           std::uint32_t memberIndex,
                                           SpDeviceInterfaceData* deviceInterfaceData) = 0;

  // Writes an SP_DEVICE_INTERFACE_DETAIL_DATA_W (cbSize 8 at offset 0, the
  // NUL-terminated UTF-16 path from offset 4) into detail. With a buffer too
  // small (or none) it fails with ERROR_INSUFFICIENT_BUFFER and stores the
  // required size. deviceInfoData, when given, receives the element.
  virtual bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet set,
                                                const SpDeviceInterfaceData* deviceInterfaceData,
                                                std::uint8_t* detail,
                                                std::uint32_t detailSize,
                                                std::uint32_t* requiredSize,
                                                SpDevInfoData* deviceInfoData) = 0;

  // A registry property (SPDRP_*). Too small a buffer: ERROR_INSUFFICIENT_BUFFER
  // with the required size in bytes. Missing property: ERROR_INVALID_DATA.
  virtual bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet set,
                                                 const SpDevInfoData* deviceInfoData,
                                                 std::uint32_t property,
                                                 std::uint32_t* propertyRegDataType,
                                                 std::uint8_t* propertyBuffer,
                                                 std::uint32_t propertyBufferSize,
                                                 std::uint32_t* requiredSize) = 0;

  // A unified device property. Too small a buffer: ERROR_INSUFFICIENT_BUFFER
  // with the required size in bytes. Missing property: ERROR_NOT_FOUND.
  virtual bool SetupDiGetDevicePropertyW(DevInfoSet set,
                                         const SpDevInfoData* deviceInfoData,
                                         const DevPropKey* propertyKey,
                                         std::uint32_t* propertyType,
                                         std::uint8_t* propertyBuffer,
                                         std::uint32_t propertyBufferSize,
                                         std::uint32_t* requiredSize,
                                         std::uint32_t flags) = 0;

  virtual bool SetupDiDestroyDeviceInfoList(DevInfoSet set) = 0;

  // ---- Device I/O ----

  // No security attributes and no template are ever passed, so they are not
  // part of the seam. Returns kInvalidHandle on failure.
  virtual Handle CreateFileW(const char16_t* fileName,
                             std::uint32_t desiredAccess,
                             std::uint32_t shareMode,
                             std::uint32_t creationDisposition,
                             std::uint32_t flagsAndAttributes) = 0;

  // Synchronous only (no OVERLAPPED). inBuffer and outBuffer may be the same
  // buffer; the input is consumed before any output is written.
  virtual bool DeviceIoControl(Handle device, std::uint32_t ioControlCode,
                               void* inBuffer, std::uint32_t inBufferSize,
                               void* outBuffer, std::uint32_t outBufferSize,
                               std::uint32_t* bytesReturned) = 0;

  virtual bool CloseHandle(Handle object) = 0;

  // The calling thread's last error. Like Windows, a successful call does not
  // promise to clear it.
  virtual std::uint32_t GetLastError() = 0;

  // ---- Files (the log) ----

  // FILE_TYPE_DISK, _CHAR, _PIPE; FILE_TYPE_UNKNOWN with an error for a
  // handle that is none of them.
  virtual std::uint32_t GetFileType(Handle file) = 0;
  // Attributes, size, link count and index of an open file.
  virtual bool GetFileInformationByHandle(Handle file, ByHandleFileInformation* information) = 0;
  // The path the handle really reaches, links resolved ("\\?\C:\dir\file",
  // "\\?\UNC\server\share\file"). Returns the length without the NUL,
  // or, when size is too small, the size needed including it; 0 on failure.
  virtual std::uint32_t GetFinalPathNameByHandleW(Handle file, char16_t* filePath, std::uint32_t size,
                                                  std::uint32_t flags) = 0;
  // The absolute form of a path, taken against the current directory, with
  // "." and ".." folded away; nothing is opened. Same length protocol as
  // GetFinalPathNameByHandleW. The file-part pointer is never asked for.
  virtual std::uint32_t GetFullPathNameW(const char16_t* fileName, std::uint32_t bufferLength,
                                         char16_t* buffer) = 0;
  // The path with every 8.3 short name replaced by its long name; the path
  // must exist. Same length protocol.
  virtual std::uint32_t GetLongPathNameW(const char16_t* shortPath, char16_t* longPath,
                                         std::uint32_t bufferLength) = 0;
  // The targets of an MS-DOS device name such as "Z:", as a list of
  // NUL-terminated strings ended by one more NUL; returns the characters
  // stored, 0 on failure (ERROR_INSUFFICIENT_BUFFER when they do not fit).
  virtual std::uint32_t QueryDosDeviceW(const char16_t* deviceName, char16_t* targetPath,
                                        std::uint32_t max) = 0;
  // The file ends at the handle's current position.
  virtual bool SetEndOfFile(Handle file) = 0;
  // Synchronous only (no OVERLAPPED).
  virtual bool WriteFile(Handle file, const void* buffer, std::uint32_t numberOfBytesToWrite,
                         std::uint32_t* numberOfBytesWritten) = 0;

  // ---- Process ----

  // Where every later load of a DLL looks (LOAD_LIBRARY_SEARCH_* flags),
  // also for DLLs that system DLLs load on demand. False with
  // ERROR_INVALID_PARAMETER for flags it does not know.
  virtual bool SetDefaultDllDirectories(std::uint32_t directoryFlags) = 0;
  // Null (0) when the module handle cannot be had.
  virtual std::intptr_t GetModuleHandleW(const char16_t* moduleName) = 0;
  virtual std::uint32_t SetErrorMode(std::uint32_t mode) = 0;
  // Blocks until closed; returns the button pressed.
  virtual int MessageBoxW(const char16_t* text, const char16_t* caption,
                          std::uint32_t type) = 0;
  // The current local time (time zone and daylight rules applied).
  virtual LocalTime localTime() = 0;
  // The machine's name in the form nameType (COMPUTER_NAME_FORMAT) asks
  // for. *size is the buffer's length in characters; too small a buffer (or
  // none) fails with ERROR_MORE_DATA and sets *size to the length needed
  // including the NUL; success sets it to the length without the NUL.
  virtual bool GetComputerNameExW(std::uint32_t nameType, char16_t* buffer, std::uint32_t* size) = 0;

  // ---- The process's rights and desktop ----

  // The access token of the current process (only TOKEN_QUERY is ever
  // asked for). The handle is closed with CloseHandle.
  virtual bool OpenProcessToken(std::uint32_t desiredAccess, Handle* tokenHandle) = 0;
  // One information class of a token, into the caller's buffer; too small a
  // buffer fails with ERROR_INSUFFICIENT_BUFFER and returnLength says how
  // much is needed. A class the system does not know (TokenElevation before
  // Windows Vista) fails with ERROR_INVALID_PARAMETER.
  virtual bool GetTokenInformation(Handle token, std::uint32_t tokenInformationClass,
                                   void* tokenInformation, std::uint32_t tokenInformationLength,
                                   std::uint32_t* returnLength) = 0;
  // The window station of the process; 0 on failure. Never closed: it
  // belongs to the process.
  virtual Handle GetProcessWindowStation() = 0;
  // One piece of information about a window station or desktop (UOI_*),
  // with the same buffer protocol as GetTokenInformation.
  virtual bool GetUserObjectInformationW(Handle object, int index, void* info,
                                         std::uint32_t length, std::uint32_t* lengthNeeded) = 0;

  // ---- Named mutexes ----

  // The named mutex, created when no object has the name; otherwise the
  // existing one is opened (MUTEX_ALL_ACCESS) and GetLastError says
  // ERROR_ALREADY_EXISTS. securityDescriptor (a self-relative
  // SECURITY_DESCRIPTOR, or null for the default) applies only to a mutex
  // this call creates; the handle is never inheritable. Returns 0, not
  // kInvalidHandle, on failure (ERROR_ACCESS_DENIED when the existing
  // mutex's DACL refuses the caller, ERROR_INVALID_OWNER when the caller may
  // not make the descriptor's owner the owner). Closed with CloseHandle.
  virtual Handle CreateMutexW(const std::uint8_t* securityDescriptor, bool initialOwner,
                              const char16_t* name) = 0;
  // WAIT_OBJECT_0 (the caller owns the mutex now), WAIT_ABANDONED (its
  // owner ended without releasing it; the caller owns it now), WAIT_TIMEOUT,
  // or WAIT_FAILED with the error.
  virtual std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) = 0;
  // False when the caller does not own the mutex.
  virtual bool ReleaseMutex(Handle mutex) = 0;
  // The parts of an object's security descriptor that requestedInformation
  // names (OWNER_SECURITY_INFORMATION, ...), as a self-relative descriptor
  // in the caller's buffer, with the buffer protocol of GetTokenInformation.
  virtual bool GetKernelObjectSecurity(Handle object, std::uint32_t requestedInformation,
                                       void* securityDescriptor, std::uint32_t length,
                                       std::uint32_t* lengthNeeded) = 0;
};

// The platform the process runs on. Installed once at start-up by the entry
// point of the build (the Win32 body or the simulated machine) and by tests.
Platform& currentPlatform();
void installPlatform(Platform& platform);

}  // namespace koa
