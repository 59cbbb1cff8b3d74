// A platform that hands every call to another one. A test derives from it
// and overrides only the calls it watches or changes; everything else is
// the wrapped platform's answer, so the wrapped machine stays the oracle.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace koa::test {

class PlatformWrapper : public Platform {
 public:
  explicit PlatformWrapper(Platform& target) : target_(target) {}

  [[nodiscard]] Platform& target() const { return target_; }

  DevInfoSet SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator, std::uint32_t flags) override {
    return target_.SetupDiGetClassDevsW(classGuid, enumerator, flags);
  }
  bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* data) override {
    return target_.SetupDiEnumDeviceInfo(set, memberIndex, data);
  }
  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                   const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                   SpDeviceInterfaceData* data) override {
    return target_.SetupDiEnumDeviceInterfaces(set, deviceInfoData, interfaceClassGuid, memberIndex, data);
  }
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* data, std::uint8_t* detail,
                                        std::uint32_t detailSize, std::uint32_t* requiredSize,
                                        SpDevInfoData* deviceInfoData) override {
    return target_.SetupDiGetDeviceInterfaceDetailW(set, data, detail, detailSize, requiredSize, deviceInfoData);
  }
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData, std::uint32_t property,
                                         std::uint32_t* propertyRegDataType, std::uint8_t* propertyBuffer,
                                         std::uint32_t propertyBufferSize, std::uint32_t* requiredSize) override {
    return target_.SetupDiGetDeviceRegistryPropertyW(set, deviceInfoData, property, propertyRegDataType,
                                                     propertyBuffer, propertyBufferSize, requiredSize);
  }
  bool SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData, const DevPropKey* key,
                                 std::uint32_t* propertyType, std::uint8_t* propertyBuffer,
                                 std::uint32_t propertyBufferSize, std::uint32_t* requiredSize,
                                 std::uint32_t flags) override {
    return target_.SetupDiGetDevicePropertyW(set, deviceInfoData, key, propertyType, propertyBuffer,
                                             propertyBufferSize, requiredSize, flags);
  }
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override { return target_.SetupDiDestroyDeviceInfoList(set); }
  Handle CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) override {
    return target_.CreateFileW(fileName, desiredAccess, shareMode, creationDisposition, flagsAndAttributes);
  }
  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                       void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) override {
    return target_.DeviceIoControl(device, ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize,
                                   bytesReturned);
  }
  bool CloseHandle(Handle object) override { return target_.CloseHandle(object); }
  std::uint32_t GetLastError() override { return target_.GetLastError(); }
  bool SetDefaultDllDirectories(std::uint32_t directoryFlags) override {
    return target_.SetDefaultDllDirectories(directoryFlags);
  }
  std::uint32_t GetFileType(Handle file) override { return target_.GetFileType(file); }
  bool GetFileInformationByHandle(Handle file, ByHandleFileInformation* information) override {
    return target_.GetFileInformationByHandle(file, information);
  }
  std::uint32_t GetFinalPathNameByHandleW(Handle file, char16_t* filePath, std::uint32_t size,
                                          std::uint32_t flags) override {
    return target_.GetFinalPathNameByHandleW(file, filePath, size, flags);
  }
  std::uint32_t GetFullPathNameW(const char16_t* fileName, std::uint32_t bufferLength, char16_t* buffer) override {
    return target_.GetFullPathNameW(fileName, bufferLength, buffer);
  }
  std::uint32_t GetLongPathNameW(const char16_t* shortPath, char16_t* longPath, std::uint32_t bufferLength) override {
    return target_.GetLongPathNameW(shortPath, longPath, bufferLength);
  }
  std::uint32_t QueryDosDeviceW(const char16_t* deviceName, char16_t* targetPath, std::uint32_t max) override {
    return target_.QueryDosDeviceW(deviceName, targetPath, max);
  }
  bool SetEndOfFile(Handle file) override { return target_.SetEndOfFile(file); }
  bool WriteFile(Handle file, const void* buffer, std::uint32_t numberOfBytesToWrite,
                 std::uint32_t* numberOfBytesWritten) override {
    return target_.WriteFile(file, buffer, numberOfBytesToWrite, numberOfBytesWritten);
  }
  std::intptr_t GetModuleHandleW(const char16_t* moduleName) override { return target_.GetModuleHandleW(moduleName); }
  std::uint32_t SetErrorMode(std::uint32_t mode) override { return target_.SetErrorMode(mode); }
  int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) override {
    return target_.MessageBoxW(text, caption, type);
  }
  LocalTime localTime() override { return target_.localTime(); }
  bool GetComputerNameExW(std::uint32_t nameType, char16_t* buffer, std::uint32_t* size) override {
    return target_.GetComputerNameExW(nameType, buffer, size);
  }
  bool OpenProcessToken(std::uint32_t desiredAccess, Handle* token) override {
    return target_.OpenProcessToken(desiredAccess, token);
  }
  bool GetTokenInformation(Handle token, std::uint32_t tokenInformationClass, void* info, std::uint32_t length,
                           std::uint32_t* returnLength) override {
    return target_.GetTokenInformation(token, tokenInformationClass, info, length, returnLength);
  }
  Handle GetProcessWindowStation() override { return target_.GetProcessWindowStation(); }
  bool GetUserObjectInformationW(Handle object, int index, void* info, std::uint32_t length,
                                 std::uint32_t* lengthNeeded) override {
    return target_.GetUserObjectInformationW(object, index, info, length, lengthNeeded);
  }
  Handle CreateMutexW(const std::uint8_t* securityDescriptor, bool initialOwner, const char16_t* name) override {
    return target_.CreateMutexW(securityDescriptor, initialOwner, name);
  }
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override {
    return target_.WaitForSingleObject(object, milliseconds);
  }
  bool ReleaseMutex(Handle mutex) override { return target_.ReleaseMutex(mutex); }
  bool GetKernelObjectSecurity(Handle object, std::uint32_t requestedInformation, void* securityDescriptor,
                               std::uint32_t length, std::uint32_t* lengthNeeded) override {
    return target_.GetKernelObjectSecurity(object, requestedInformation, securityDescriptor, length, lengthNeeded);
  }

 private:
  Platform& target_;
};

}  // namespace koa::test
