// The download and activation requests of a run, as the program sent them
// and as it got them back: a platform that forwards every call to the
// simulated machine and keeps the bytes the run invariants are about. (The
// machine's own trace can carry them too, as hex text, but at a cost that a
// sweep of hundreds of runs cannot pay.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/simulated_machine.h"

namespace koa::reliability {

struct RecordedRequest {
  std::size_t seq = 0;       // the machine trace's number of the call
  std::string kind;          // e.g. "inbox.download"
  std::string drive;         // the drive it addresses ("" when the device names none)
  std::string path;          // the path the device was opened by
  bool succeeded = false;    // what DeviceIoControl returned
  std::vector<std::uint8_t> input;   // the whole input, as sent
  std::vector<std::uint8_t> output;  // the output's first bytes (headers and status)
};

class RequestRecorder : public Platform {
 public:
  explicit RequestRecorder(sim::SimulatedMachine& machine) : machine_(machine) {}

  // The downloads and activations ("inbox.download", "irst.activate",
  // "vroc.commit", ...) in call order.
  [[nodiscard]] const std::vector<RecordedRequest>& requests() const { return requests_; }
  // For the invariants' own tests, which alter what was recorded.
  [[nodiscard]] std::vector<RecordedRequest>& requests() { return requests_; }

  DevInfoSet SetupDiGetClassDevsW(const Guid* classGuid, const char16_t* enumerator, std::uint32_t flags) override {
    return machine_.SetupDiGetClassDevsW(classGuid, enumerator, flags);
  }
  bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t memberIndex, SpDevInfoData* data) override {
    return machine_.SetupDiEnumDeviceInfo(set, memberIndex, data);
  }
  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const SpDevInfoData* deviceInfoData,
                                   const Guid* interfaceClassGuid, std::uint32_t memberIndex,
                                   SpDeviceInterfaceData* data) override {
    return machine_.SetupDiEnumDeviceInterfaces(set, deviceInfoData, interfaceClassGuid, memberIndex, data);
  }
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet set, const SpDeviceInterfaceData* data, std::uint8_t* detail,
                                        std::uint32_t detailSize, std::uint32_t* requiredSize,
                                        SpDevInfoData* deviceInfoData) override {
    return machine_.SetupDiGetDeviceInterfaceDetailW(set, data, detail, detailSize, requiredSize, deviceInfoData);
  }
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData, std::uint32_t property,
                                         std::uint32_t* propertyRegDataType, std::uint8_t* propertyBuffer,
                                         std::uint32_t propertyBufferSize, std::uint32_t* requiredSize) override {
    return machine_.SetupDiGetDeviceRegistryPropertyW(set, deviceInfoData, property, propertyRegDataType,
                                                      propertyBuffer, propertyBufferSize, requiredSize);
  }
  bool SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* deviceInfoData, const DevPropKey* key,
                                 std::uint32_t* propertyType, std::uint8_t* propertyBuffer,
                                 std::uint32_t propertyBufferSize, std::uint32_t* requiredSize,
                                 std::uint32_t flags) override {
    return machine_.SetupDiGetDevicePropertyW(set, deviceInfoData, key, propertyType, propertyBuffer,
                                              propertyBufferSize, requiredSize, flags);
  }
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override { return machine_.SetupDiDestroyDeviceInfoList(set); }
  Handle CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) override {
    return machine_.CreateFileW(fileName, desiredAccess, shareMode, creationDisposition, flagsAndAttributes);
  }
  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                       void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) override;
  bool CloseHandle(Handle object) override { return machine_.CloseHandle(object); }
  std::uint32_t GetLastError() override { return machine_.GetLastError(); }
  std::intptr_t GetModuleHandleW(const char16_t* moduleName) override { return machine_.GetModuleHandleW(moduleName); }
  std::uint32_t SetErrorMode(std::uint32_t mode) override { return machine_.SetErrorMode(mode); }
  int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) override {
    return machine_.MessageBoxW(text, caption, type);
  }
  LocalTime localTime() override { return machine_.localTime(); }
  bool OpenProcessToken(std::uint32_t access, Handle* token) override {
    return machine_.OpenProcessToken(access, token);
  }
  bool GetTokenInformation(Handle token, std::uint32_t cls, void* info, std::uint32_t length,
                           std::uint32_t* returned) override {
    return machine_.GetTokenInformation(token, cls, info, length, returned);
  }
  Handle GetProcessWindowStation() override { return machine_.GetProcessWindowStation(); }
  bool GetUserObjectInformationW(Handle object, int index, void* info, std::uint32_t length,
                                 std::uint32_t* needed) override {
    return machine_.GetUserObjectInformationW(object, index, info, length, needed);
  }

 private:
  sim::SimulatedMachine& machine_;
  std::vector<RecordedRequest> requests_;
};

[[nodiscard]] bool isDownloadRequest(const std::string& kind);
[[nodiscard]] bool isActivationRequest(const std::string& kind);

}  // namespace koa::reliability
