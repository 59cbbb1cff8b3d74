// An empty machine: no device of any class, no device that opens, the host's
// own files (the simulator's file system without a Windows namespace), a
// pinned clock, a message box that is closed at once, a process whose token
// and window station cannot be asked (the run then behaves as it always
// did), and a run lock that an administrator made and nobody holds.
// A test derives from it and overrides only the calls its case needs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "sim/file_system.h"

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
  Handle CreateFileW(const char16_t* fileName, std::uint32_t, std::uint32_t, std::uint32_t creationDisposition,
                     std::uint32_t flagsAndAttributes) override {
    const std::u16string path = fileName != nullptr ? std::u16string(fileName) : std::u16string();
    if (fileName == nullptr || !sim::FileSystem::claims(path)) {
      lastError_ = ERROR_FILE_NOT_FOUND;
      return kInvalidHandle;
    }
    const Handle handle = nextFile_;
    if (!files_->open(handle, path, creationDisposition, flagsAndAttributes, lastError_)) return kInvalidHandle;
    nextFile_ += 4;
    return handle;
  }
  bool DeviceIoControl(Handle, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t, std::uint32_t*) override {
    return fail(ERROR_INVALID_HANDLE);
  }
  bool CloseHandle(Handle object) override {
    return object == kMutex || files_->close(object) || fail(ERROR_INVALID_HANDLE);
  }
  std::uint32_t GetLastError() override { return lastError_; }

  std::uint32_t GetFileType(Handle file) override { return files_->fileType(file, lastError_); }
  bool GetFileInformationByHandle(Handle file, ByHandleFileInformation* information) override {
    std::uint32_t error = 0;
    return files_->information(file, *information, error) || fail(error);
  }
  std::uint32_t GetFinalPathNameByHandleW(Handle file, char16_t* filePath, std::uint32_t size,
                                          std::uint32_t) override {
    std::uint32_t error = 0;
    return text(files_->finalPath(file, error), error, filePath, size);
  }
  std::uint32_t GetFullPathNameW(const char16_t* fileName, std::uint32_t bufferLength, char16_t* buffer) override {
    std::uint32_t error = 0;
    return text(files_->fullPath(fileName != nullptr ? fileName : u"", error), error, buffer, bufferLength);
  }
  std::uint32_t GetLongPathNameW(const char16_t* shortPath, char16_t* longPath, std::uint32_t bufferLength) override {
    std::uint32_t error = 0;
    return text(files_->longPath(shortPath != nullptr ? shortPath : u"", error), error, longPath, bufferLength);
  }
  std::uint32_t QueryDosDeviceW(const char16_t*, char16_t*, std::uint32_t) override {
    fail(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  bool SetEndOfFile(Handle file) override {
    std::uint32_t error = 0;
    return files_->setEndOfFile(file, error) || fail(error);
  }
  bool WriteFile(Handle file, const void* buffer, std::uint32_t size, std::uint32_t* written) override {
    std::uint32_t error = 0;
    return files_->write(file, buffer, size, *written, error) || fail(error);
  }

  bool SetDefaultDllDirectories(std::uint32_t) override { return true; }
  std::intptr_t GetModuleHandleW(const char16_t*) override { return kModuleHandle; }
  std::uint32_t SetErrorMode(std::uint32_t mode) override {
    const std::uint32_t previous = errorMode;
    errorMode = mode;
    return previous;
  }
  int MessageBoxW(const char16_t*, const char16_t*, std::uint32_t) override { return 1; }  // IDOK
  LocalTime localTime() override { return kPinnedTime; }
  bool GetComputerNameExW(std::uint32_t, char16_t*, std::uint32_t*) override { return fail(ERROR_NOT_SUPPORTED); }
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

  // The length protocol of GetFullPathNameW and its kin.
  std::uint32_t text(const std::optional<std::u16string>& value, std::uint32_t error, char16_t* buffer,
                     std::uint32_t size) {
    if (!value) {
      fail(error);
      return 0;
    }
    if (buffer == nullptr || size <= value->size()) return static_cast<std::uint32_t>(value->size() + 1);
    std::copy(value->begin(), value->end(), buffer);
    buffer[value->size()] = u'\0';
    return static_cast<std::uint32_t>(value->size());
  }

  // Shared by copies: a platform assigned afresh gets a fresh one.
  std::shared_ptr<sim::FileSystem> files_ = std::make_shared<sim::FileSystem>(sim::FileSystemDescription{});
  Handle nextFile_ = 0x9000;
};

// Installs one empty machine that lives as long as the test program, for a
// platform that goes away while installed: the current platform then never
// dangles.
inline void installEmptyMachine() {
  static NullPlatform empty;
  installPlatform(empty);
}

}  // namespace koa::test
