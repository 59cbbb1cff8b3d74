// Small owning types for what the platform hands out, so that every way out
// of an operation closes its handle and releases its device set.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace koa {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, kInvalidHandle)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, kInvalidHandle);
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }

  [[nodiscard]] bool valid() const { return handle_ != kInvalidHandle; }
  [[nodiscard]] Handle get() const { return handle_; }
  void reset() {
    if (valid()) (void)currentPlatform().CloseHandle(std::exchange(handle_, kInvalidHandle));
  }

 private:
  Handle handle_ = kInvalidHandle;
};

class UniqueDevInfoSet {
 public:
  UniqueDevInfoSet() = default;
  explicit UniqueDevInfoSet(DevInfoSet set) : set_(set) {}
  UniqueDevInfoSet(const UniqueDevInfoSet&) = delete;
  UniqueDevInfoSet& operator=(const UniqueDevInfoSet&) = delete;
  ~UniqueDevInfoSet() {
    if (valid()) (void)currentPlatform().SetupDiDestroyDeviceInfoList(set_);
  }

  [[nodiscard]] bool valid() const { return set_ != kInvalidDevInfoSet; }
  [[nodiscard]] DevInfoSet get() const { return set_; }

 private:
  DevInfoSet set_ = kInvalidDevInfoSet;
};

}  // namespace koa
