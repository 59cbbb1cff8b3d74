// An empty machine: no device of any class, nothing that opens, a pinned
// clock, a message box that is closed at once, a process whose token and
// window station cannot be asked (the run then behaves as it always did),
// and a run lock that an administrator made and nobody holds.
// A test derives from it and overrides only the calls its case needs.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/platform.h"

namespace koa::test {

class NullPlatform : public Platform {
 public:
  static constexpr LocalTime kPinnedTime{2026, 12, 7, 21, 5, 3};
  static constexpr std::intptr_t kModuleHandle = 0x400000;

  std::uint32_t errorMode = 0;  // as SetErrorMode left it

  DevInfoSet SetupDiGetClassDevsW(const Guid*, const char16_t*, std::uint32_t) override { return kEmptySet; }
  bool SetupDiEnumDeviceInfo(DevInfoSet, std::uint32_t, SpDevInfoData*) override {
    return fail(ERROR_NO_MORE_ITEMS);
  }
  bool SetupDiEnumDeviceInterfaces(DevInfoSet, const SpDevInfoData*, const Guid*, std::uint32_t,
                                   SpDeviceInterfaceData*) override {
    return fail(ERROR_NO_MORE_ITEMS);
  }
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet, const SpDeviceInterfaceData*, std::uint8_t*, std::uint32_t,
                                        std::uint32_t*, SpDevInfoData*) override {
    return fail(ERROR_INVALID_PARAMETER);
  }
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoSet, const SpDevInfoData*, std::uint32_t, std::uint32_t*,
                                         std::uint8_t*, std::uint32_t, std::uint32_t*) override {
    return fail(ERROR_INVALID_DATA);
  }
  bool SetupDiGetDevicePropertyW(DevInfoSet, const SpDevInfoData*, const DevPropKey*, std::uint32_t*,
                                 std::uint8_t*, std::uint32_t, std::uint32_t*, std::uint32_t) override {
    return fail(ERROR_NOT_FOUND);
  }
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override {
    return set == kEmptySet || fail(ERROR_INVALID_HANDLE);
  }
  Handle CreateFileW(const char16_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {
    lastError_ = ERROR_FILE_NOT_FOUND;
    return kInvalidHandle;
  }
  bool DeviceIoControl(Handle, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t, std::uint32_t*) override {
    return fail(ERROR_INVALID_HANDLE);
  }
  bool CloseHandle(Handle object) override { return object == kMutex || fail(ERROR_INVALID_HANDLE); }
  std::uint32_t GetLastError() override { return lastError_; }

  bool SetDefaultDllDirectories(std::uint32_t) override { return true; }
  std::intptr_t GetModuleHandleW(const char16_t*) override { return kModuleHandle; }
  std::uint32_t SetErrorMode(std::uint32_t mode) override {
    const std::uint32_t previous = errorMode;
    errorMode = mode;
    return previous;
  }
  int MessageBoxW(const char16_t*, const char16_t*, std::uint32_t) override { return 1; }  // IDOK
  LocalTime localTime() override { return kPinnedTime; }
  bool OpenProcessToken(std::uint32_t, Handle*) override { return fail(ERROR_ACCESS_DENIED); }
  bool GetTokenInformation(Handle, std::uint32_t, void*, std::uint32_t, std::uint32_t*) override {
    return fail(ERROR_INVALID_HANDLE);
  }
  Handle GetProcessWindowStation() override { return 0; }
  bool GetUserObjectInformationW(Handle, int, void*, std::uint32_t, std::uint32_t*) override {
    return fail(ERROR_INVALID_HANDLE);
  }
  Handle CreateMutexW(const std::uint8_t*, bool, const char16_t*) override { return kMutex; }
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t) override {
    if (object == kMutex) return WAIT_OBJECT_0;
    lastError_ = ERROR_INVALID_HANDLE;
    return WAIT_FAILED;
  }
  bool ReleaseMutex(Handle mutex) override { return mutex == kMutex || fail(ERROR_INVALID_HANDLE); }
  // The owner alone: BUILTIN\Administrators (S-1-5-32-544).
  bool GetKernelObjectSecurity(Handle object, std::uint32_t, void* descriptor, std::uint32_t length,
                               std::uint32_t* lengthNeeded) override {
    static constexpr std::uint8_t kOwnedByAdministrators[] = {
        1, 0, 0x00, 0x80, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
    if (object != kMutex) return fail(ERROR_INVALID_HANDLE);
    if (lengthNeeded != nullptr) *lengthNeeded = sizeof kOwnedByAdministrators;
    if (length < sizeof kOwnedByAdministrators) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(descriptor, kOwnedByAdministrators, sizeof kOwnedByAdministrators);
    return true;
  }

 protected:
  // Sets the last error and returns false, as a failing Win32 call does.
  bool fail(std::uint32_t error) {
    lastError_ = error;
    return false;
  }
  std::uint32_t lastError_ = ERROR_SUCCESS;

 private:
  static constexpr DevInfoSet kEmptySet = 0x5E7;
  static constexpr Handle kMutex = 0x3E7;
};

// Installs one empty machine that lives as long as the test program, for a
// platform that goes away while installed: the current platform then never
// dangles.
inline void installEmptyMachine() {
  static NullPlatform empty;
  installPlatform(empty);
}

}  // namespace koa::test
