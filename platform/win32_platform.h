// The platform of the Windows program: every operation forwards to the Win32
// function of the same name, with the arguments the seam leaves out fixed as
// the system always passes them (no security attributes, no template file, no
// OVERLAPPED, no owner window). This header needs no <windows.h>, so the entry
// point can install the platform without the Windows headers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace koa {

class Win32Platform final : public Platform {
 public:
  DevInfoSet SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator,
                                  std::uint32_t flags) override;
  bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex,
                             SpDevInfoData* deviceInfoData) override;
  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                   const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                   SpDeviceInterfaceData* deviceInterfaceData) override;
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet set,
                                        const SpDeviceInterfaceData* deviceInterfaceData,
                                        std::uint8_t* detail, std::uint32_t detailSize,
                                        std::uint32_t* requiredSize,
                                        SpDevInfoData* deviceInfoData) override;
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                         std::uint32_t property,
                                         std::uint32_t* propertyRegDataType,
                                         std::uint8_t* propertyBuffer,
                                         std::uint32_t propertyBufferSize,
                                         std::uint32_t* requiredSize) override;
  bool SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                 const DevPropKey* propertyKey, std::uint32_t* propertyType,
                                 std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                                 std::uint32_t* requiredSize, std::uint32_t flags) override;
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override;

  Handle CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess,
                     std::uint32_t shareMode, std::uint32_t creationDisposition,
                     std::uint32_t flagsAndAttributes) override;
  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer,
                       std::uint32_t inBufferSize, void* outBuffer, std::uint32_t outBufferSize,
                       std::uint32_t* bytesReturned) override;
  bool CloseHandle(Handle object) override;
  std::uint32_t GetLastError() override;

  bool SetDefaultDllDirectories(std::uint32_t directoryFlags) override;
  std::uint32_t GetFileType(Handle file) override;
  bool GetFileInformationByHandle(Handle file, ByHandleFileInformation* information) override;
  std::uint32_t GetFinalPathNameByHandleW(Handle file, char16_t* filePath, std::uint32_t size,
                                          std::uint32_t flags) override;
  std::uint32_t GetFullPathNameW(const char16_t* fileName, std::uint32_t bufferLength,
                                 char16_t* buffer) override;
  std::uint32_t GetLongPathNameW(const char16_t* shortPath, char16_t* longPath,
                                 std::uint32_t bufferLength) override;
  std::uint32_t QueryDosDeviceW(const char16_t* deviceName, char16_t* targetPath,
                                std::uint32_t max) override;
  bool SetEndOfFile(Handle file) override;
  bool WriteFile(Handle file, const void* buffer, std::uint32_t numberOfBytesToWrite,
                 std::uint32_t* numberOfBytesWritten) override;

  std::intptr_t GetModuleHandleW(const char16_t* moduleName) override;
  std::uint32_t SetErrorMode(std::uint32_t mode) override;
  int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) override;
  LocalTime localTime() override;
  bool GetComputerNameExW(std::uint32_t nameType, char16_t* buffer, std::uint32_t* size) override;

  bool OpenProcessToken(std::uint32_t desiredAccess, Handle* tokenHandle) override;
  bool GetTokenInformation(Handle token, std::uint32_t tokenInformationClass, void* tokenInformation,
                           std::uint32_t tokenInformationLength, std::uint32_t* returnLength) override;
  Handle GetProcessWindowStation() override;
  bool GetUserObjectInformationW(Handle object, int index, void* info, std::uint32_t length,
                                 std::uint32_t* lengthNeeded) override;
  Handle CreateMutexW(const std::uint8_t* securityDescriptor, bool initialOwner, const char16_t* name) override;
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override;
  bool ReleaseMutex(Handle mutex) override;
  bool GetKernelObjectSecurity(Handle object, std::uint32_t requestedInformation, void* securityDescriptor,
                               std::uint32_t length, std::uint32_t* lengthNeeded) override;

 private:
  // Windows gives a device node one DevInst (the node's handle) in every
  // device information set; Wine 8 hands out a new one for every element of
  // every set. The system finds a node of one set in another by its DevInst
  // (readBusNumber), so the seam keeps Windows' promise on both: the DevInst
  // it hands out is the node's place in this table of the instance
  // identifiers seen so far, and a device information element goes back to
  // SetupAPI with the DevInst SetupAPI gave it.
  std::uint32_t nodeNumber(DevInfoSet set, const SpDevInfoData& filled);
  std::vector<std::u16string> nodes_;                 // instance identifiers, letters folded
  std::map<std::uintptr_t, std::uint32_t> sdkDevInst_;  // element (Reserved) to SetupAPI's DevInst
};

}  // namespace koa
