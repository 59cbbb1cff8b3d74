// One run at a time on a machine: a mutex in the global namespace (every
// session sees it) that an administrator's run creates with the security of
// runLockSecurityDescriptor and holds for the whole run. Every program of
// the package that reaches drives takes it before it touches anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace koa {

inline constexpr std::u16string_view kRunLockName = u"Global\\TORVALE.koa-update.run";

enum class RunLockState {
  // This run holds the lock (also when a run that held it ended without
  // releasing it: the lock was abandoned and is taken over).
  Held,
  // Another run holds it.
  Busy,
  // A mutex of that name exists that neither LocalSystem nor the
  // Administrators made: whoever made it could hold it to stop every run,
  // so it is not waited on. owner() names who made it.
  HeldByNonAdministrator,
  // The lock can be neither created nor opened, as for every caller without
  // administrator rights; error() says why.
  Unreachable,
};

class RunLock {
 public:
  RunLock() = default;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  // Releases the lock when held, and closes it.
  ~RunLock();

  // Creates or opens the lock and tries to take it without waiting. Called
  // once.
  [[nodiscard]] RunLockState acquire();

  // The owner SID of the lock that HeldByNonAdministrator found ("S-1-5-...").
  [[nodiscard]] const std::u16string& owner() const { return owner_; }
  // GetLastError after the call that made the lock Unreachable.
  [[nodiscard]] std::uint32_t error() const { return error_; }

 private:
  RunLockState unreachable();

  Handle mutex_ = 0;
  bool held_ = false;
  std::u16string owner_;
  std::uint32_t error_ = 0;
};

}  // namespace koa
