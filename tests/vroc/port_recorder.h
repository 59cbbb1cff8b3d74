// A platform that records every open and every I/O control of the VROC
// operations and lets a test answer them, for checking request bytes and
// the handling of each answer without a simulated machine.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace koa::test::vroc {

class PortRecorder : public Platform {
 public:
  struct Open {
    std::u16string path;
    std::uint32_t desiredAccess;
    std::uint32_t shareMode;
    std::uint32_t creationDisposition;
    std::uint32_t flagsAndAttributes;
  };
  struct Call {
    Handle device;
    std::uint32_t ioControlCode;
    std::vector<std::uint8_t> input;  // the input bytes as sent
    std::uint32_t inBufferSize;
    std::uint32_t outBufferSize;
    bool sameBuffer;
  };
  // What an answer does: writes into out (outBufferSize bytes, which holds
  // the input), sets bytesReturned and returns the call's outcome. A failed
  // call sets lastError itself.
  using Answer = std::function<bool(const Call& call, std::uint8_t* out, std::uint32_t& bytesReturned)>;

  // Paths that open; any other fails with openError.
  std::set<std::u16string> openable;
  std::uint32_t openError = ERROR_FILE_NOT_FOUND;
  // The answer for all calls on the port at this path; without one, a call
  // succeeds, returns all of its output buffer and changes nothing.
  std::map<std::u16string, Answer> answers;
  std::uint32_t lastError = 0;

  std::vector<Open> opens;
  std::vector<Call> calls;
  std::set<Handle> openHandles;

  Handle CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) override {
    opens.push_back({fileName, desiredAccess, shareMode, creationDisposition, flagsAndAttributes});
    if (openable.count(fileName) == 0) {
      lastError = openError;
      return kInvalidHandle;
    }
    const Handle handle = nextHandle_++;
    openHandles.insert(handle);
    pathOf_[handle] = fileName;
    return handle;
  }

  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                       void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) override {
    const auto* in = static_cast<const std::uint8_t*>(inBuffer);
    calls.push_back({device, ioControlCode, std::vector<std::uint8_t>(in, in + inBufferSize), inBufferSize,
                     outBufferSize, inBuffer == outBuffer});
    if (openHandles.count(device) == 0) {
      lastError = ERROR_INVALID_HANDLE;
      return false;
    }
    std::uint32_t returned = outBufferSize;
    bool ok = true;
    const auto answer = answers.find(pathOf_[device]);
    if (answer != answers.end())
      ok = answer->second(calls.back(), static_cast<std::uint8_t*>(outBuffer), returned);
    *bytesReturned = ok ? returned : 0;
    return ok;
  }

  bool CloseHandle(Handle object) override {
    if (openHandles.erase(object) == 0) {
      lastError = ERROR_INVALID_HANDLE;
      return false;
    }
    return true;
  }

  std::uint32_t GetLastError() override { return lastError; }

  // Calls with one control code, in order.
  std::vector<Call> callsWithControlCode(std::uint32_t controlCode) const;

  // Unused by the VROC operations: each fails.
  DevInfoSet SetupDiGetClassDevsW(const Guid*, const char16_t*, std::uint32_t) override {
    return kInvalidDevInfoSet;
  }
  bool SetupDiEnumDeviceInfo(DevInfoSet, std::uint32_t, SpDevInfoData*) override { return false; }
  bool SetupDiEnumDeviceInterfaces(DevInfoSet, const SpDevInfoData*, const Guid*, std::uint32_t,
                                   SpDeviceInterfaceData*) override {
    return false;
  }
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet, const SpDeviceInterfaceData*, std::uint8_t*, std::uint32_t,
                                        std::uint32_t*, SpDevInfoData*) override {
    return false;
  }
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet, const SpDevInfoData*, std::uint32_t, std::uint32_t*,
                                         std::uint8_t*, std::uint32_t, std::uint32_t*) override {
    return false;
  }
  bool SetupDiGetDevicePropertyW(DevInfoSet, const SpDevInfoData*, const DevPropKey*, std::uint32_t*,
                                 std::uint8_t*, std::uint32_t, std::uint32_t*, std::uint32_t) override {
    return false;
  }
  bool SetupDiDestroyDeviceInfoList(DevInfoSet) override { return false; }
  std::intptr_t GetModuleHandleW(const char16_t*) override { return 0; }
  std::uint32_t SetErrorMode(std::uint32_t) override { return 0; }
  int MessageBoxW(const char16_t*, const char16_t*, std::uint32_t) override { return 1; }
  LocalTime localTime() override { return {2026, 12, 8, 13, 0, 0}; }
  // A process whose token and window station cannot be asked: the run
  // behaves as it did before it asked.
  bool OpenProcessToken(std::uint32_t, Handle*) override { return false; }
  bool GetTokenInformation(Handle, std::uint32_t, void*, std::uint32_t, std::uint32_t*) override { return false; }
  Handle GetProcessWindowStation() override { return 0; }
  bool GetUserObjectInformationW(Handle, int, void*, std::uint32_t, std::uint32_t*) override { return false; }

 private:
  Handle nextHandle_ = 100;
  std::map<Handle, std::u16string> pathOf_;
};

// Installs the platform and captures console text for the life of a test.
class CapturedRun {
 public:
  explicit CapturedRun(PortRecorder& platform);
  ~CapturedRun();
  CapturedRun(const CapturedRun&) = delete;
  CapturedRun& operator=(const CapturedRun&) = delete;
  const std::string& console() const { return console_; }

 private:
  std::string console_;
};

// Little-endian field access for the tests' own view of the layouts.
std::uint32_t dwordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset);
void putDword(std::uint8_t* bytes, std::size_t offset, std::uint32_t value);
void putDword(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);

}  // namespace koa::test::vroc
