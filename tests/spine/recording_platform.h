// A platform for in-process tests of the run: an empty machine (no device of
// any class, nothing to open), a clock that gives the pinned times in turn,
// and a record of the process calls (error mode, message boxes).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace koa::test {

struct ShownMessage {
  std::u16string text;
  std::u16string caption;
  std::uint32_t type;
};

class RecordingPlatform final : public Platform {
 public:
  // Installed and reset: each test starts from an empty record. The object
  // lives for the whole test program, so the installed platform never dangles.
  static RecordingPlatform& install() {
    static RecordingPlatform platform;
    platform = RecordingPlatform();
    installPlatform(platform);
    return platform;
  }

  // Times handed out by localTime(), first to last; the last one repeats.
  std::deque<LocalTime> clock{LocalTime{2026, 12, 7, 21, 5, 3}};
  std::intptr_t moduleHandle = 0x400000;
  std::uint32_t errorMode = 0;
  std::vector<std::uint32_t> errorModesSet;
  std::vector<ShownMessage> messages;
  int clockReads = 0;

  DevInfoSet SetupDiGetClassDevsW(const Guid*, const char16_t*, std::uint32_t) override {
    return kEmptySet;
  }
  bool SetupDiEnumDeviceInfo(DevInfoSet, std::uint32_t, SpDevInfoData*) override { return noMoreItems(); }
  bool SetupDiEnumDeviceInterfaces(DevInfoSet, const SpDevInfoData*, const Guid*, std::uint32_t,
                                   SpDeviceInterfaceData*) override {
    return noMoreItems();
  }
  bool SetupDiGetDeviceInterfaceDetailW(DevInfoSet, const SpDeviceInterfaceData*, std::uint8_t*,
                                        std::uint32_t, std::uint32_t*, SpDevInfoData*) override {
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
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override { return set == kEmptySet; }
  Handle CreateFileW(const char16_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {
    lastError = ERROR_FILE_NOT_FOUND;
    return kInvalidHandle;
  }
  bool DeviceIoControl(Handle, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t,
                       std::uint32_t*) override {
    return fail(ERROR_INVALID_HANDLE);
  }
  bool CloseHandle(Handle) override { return fail(ERROR_INVALID_HANDLE); }
  std::uint32_t GetLastError() override { return lastError; }

  std::intptr_t GetModuleHandleW(const char16_t*) override { return moduleHandle; }
  std::uint32_t SetErrorMode(std::uint32_t mode) override {
    errorModesSet.push_back(mode);
    const std::uint32_t previous = errorMode;
    errorMode = mode;
    return previous;
  }
  int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) override {
    messages.push_back({text, caption, type});
    return 1;  // IDOK
  }
  LocalTime localTime() override {
    ++clockReads;
    const LocalTime now = clock.front();
    if (clock.size() > 1) clock.pop_front();
    return now;
  }
  // A process whose token and window station cannot be asked: the run
  // behaves as it did before it asked.
  bool OpenProcessToken(std::uint32_t, Handle*) override { return fail(ERROR_ACCESS_DENIED); }
  bool GetTokenInformation(Handle, std::uint32_t, void*, std::uint32_t, std::uint32_t*) override {
    return fail(ERROR_INVALID_HANDLE);
  }
  Handle GetProcessWindowStation() override { return 0; }
  bool GetUserObjectInformationW(Handle, int, void*, std::uint32_t, std::uint32_t*) override {
    return fail(ERROR_INVALID_HANDLE);
  }

 private:
  static constexpr DevInfoSet kEmptySet = 0x5E7;
  bool noMoreItems() { return fail(ERROR_NO_MORE_ITEMS); }
  bool fail(std::uint32_t error) {
    lastError = error;
    return false;
  }
  std::uint32_t lastError = ERROR_SUCCESS;
};

}  // namespace koa::test
