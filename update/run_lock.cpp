#include "update/run_lock.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "update/lock_security.h"

namespace koa {
namespace {

// A self-relative descriptor of the owner alone: a header and one SID.
constexpr std::uint32_t kOwnerDescriptorCapacity = kSecurityDescriptorLength + kSidMaxLength;

}  // namespace

RunLock::~RunLock() {
  if (mutex_ == 0) return;
  Platform& platform = currentPlatform();
  if (held_) (void)platform.ReleaseMutex(mutex_);
  (void)platform.CloseHandle(mutex_);
}

RunLockState RunLock::unreachable() {
  error_ = currentPlatform().GetLastError();
  return RunLockState::Unreachable;
}

RunLockState RunLock::acquire() {
  Platform& platform = currentPlatform();
  const std::vector<std::uint8_t> security = runLockSecurityDescriptor();
  const std::u16string name(kRunLockName);
  mutex_ = platform.CreateMutexW(security.data(), /*initialOwner=*/false, name.c_str());
  if (mutex_ == 0) return unreachable();

  // A mutex that existed before is trusted only when an administrator's or
  // the system's run made it; the owner is asked of every lock, including
  // one this call made, so that a lock made a moment earlier by someone else
  // is caught too.
  std::uint8_t descriptor[kOwnerDescriptorCapacity] = {};
  std::uint32_t needed = 0;
  if (!platform.GetKernelObjectSecurity(mutex_, OWNER_SECURITY_INFORMATION, descriptor, sizeof descriptor, &needed))
    return unreachable();
  const std::optional<std::vector<std::uint8_t>> owner =
      descriptorOwner({descriptor, std::min<std::size_t>(needed, sizeof descriptor)});
  if (!owner || !isAdministrativeSid(*owner)) {
    owner_ = owner ? sidText(*owner) : u"S-?";
    return RunLockState::HeldByNonAdministrator;
  }

  switch (platform.WaitForSingleObject(mutex_, /*dwMilliseconds=*/0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      held_ = true;
      return RunLockState::Held;
    case WAIT_TIMEOUT:
      return RunLockState::Busy;
    default:
      return unreachable();
  }
}

}  // namespace koa
