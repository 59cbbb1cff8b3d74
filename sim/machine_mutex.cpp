// Named mutexes and the DLL search of the simulated process: what a program
// meets that keeps one run at a time on a machine. The program runs as an
// administrator whose token is elevated or filtered (the description's
// "elevated"); other processes' mutexes come from the description.
#include <algorithm>

#include "sim/machine.h"
#include "sim/wide_text.h"

namespace koa::sim {

namespace {

constexpr std::uint32_t kErrorNotOwner = 288;
constexpr std::uint32_t kDaclSecurityInformation = 0x4;
constexpr std::uint32_t kKnownSecurityInformation = OWNER_SECURITY_INFORMATION | kDaclSecurityInformation;
constexpr std::uint32_t kKnownDllDirectories = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                                               LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
constexpr std::uint32_t kMutexAllAccess = MUTEX_ALL_ACCESS;

// What another process's mutex carries: an administrator's run gives it the
// security an installer would (LocalSystem and the Administrators alone); a
// standard user who made one to block the program leaves it open to all.
ObjectSecurity securityMadeBy(bool administrator) {
  ObjectSecurity security;
  security.daclPresent = true;
  if (administrator) {
    security.owner = administratorsSid();
    security.dacl = std::vector<Ace>{{true, kMutexAllAccess, localSystemSid()},
                                     {true, kMutexAllAccess, administratorsSid()}};
  } else {
    security.owner = otherStandardUserSid();
  }
  return security;
}

}  // namespace

void Machine::loadMutexes() {
  for (std::size_t i = 0; i < machine_.mutexes.size(); ++i) {
    const NamedMutex& described = machine_.mutexes[i];
    Mutex mutex{described.name, securityMadeBy(described.madeByAdministrator), described.state, 0, i};
    mutexes_.emplace(foldCase(described.name), std::move(mutex));
  }
}

bool Machine::SetDefaultDllDirectories(std::uint32_t directoryFlags) {
  if (directoryFlags == 0 || (directoryFlags & ~kKnownDllDirectories) != 0) return fail(ERROR_INVALID_PARAMETER);
  dllDirectories_ = directoryFlags;
  return true;
}

bool Machine::accessAllowed(const ObjectSecurity& security) const {
  if (!security.daclPresent || !security.dacl) return true;
  // A filtered administrator token holds the Administrators group for deny
  // only: it matches no allowing entry.
  const auto holds = [this](const Sid& sid) {
    return sid == processUserSid() || sid == everyoneSid() || sid == usersSid() ||
           (machine_.elevated && sid == administratorsSid());
  };
  std::uint32_t granted = 0;
  for (const Ace& ace : *security.dacl) {
    // A group held for deny only still matches a denying entry.
    const bool denies = holds(ace.sid) || ace.sid == administratorsSid();
    if (!ace.allow && denies && (ace.mask & kMutexAllAccess) != 0) return false;
    if (ace.allow && holds(ace.sid)) granted |= ace.mask;
  }
  return (granted & kMutexAllAccess) == kMutexAllAccess;
}

bool Machine::mayOwn(const Sid& owner) const {
  return owner == processUserSid() || (machine_.elevated && owner == administratorsSid());
}

Handle Machine::CreateMutexW(const std::uint8_t* securityDescriptor, bool initialOwner, const char16_t* name) {
  const std::u16string text = name != nullptr ? fromWideZ(name) : std::u16string();
  const std::u16string key = foldCase(text);
  auto existing = text.empty() ? mutexes_.end() : mutexes_.find(key);
  if (existing != mutexes_.end()) {
    if (!accessAllowed(existing->second.security)) {
      fail(ERROR_ACCESS_DENIED);
      return 0;
    }
    const Handle handle = nextMutexHandle_;
    nextMutexHandle_ += 4;
    mutexHandles_.emplace(handle, existing->first);
    lastError_ = ERROR_ALREADY_EXISTS;
    return handle;
  }

  Mutex mutex;
  mutex.name = text;
  if (securityDescriptor != nullptr) {
    // Only as many bytes as the descriptor's own offsets and sizes reach.
    const std::size_t length = securityDescriptorLength(securityDescriptor, 4096);
    const auto security = readSecurityDescriptor({securityDescriptor, length});
    if (!security) {
      fail(ERROR_INVALID_SECURITY_DESCR);
      return 0;
    }
    mutex.security = *security;
  }
  if (!mutex.security.owner) {
    mutex.security.owner = machine_.elevated ? administratorsSid() : processUserSid();
  } else if (!mayOwn(*mutex.security.owner)) {
    fail(ERROR_INVALID_OWNER);
    return 0;
  }
  if (!mutex.security.daclPresent) {
    // The token's default DACL.
    mutex.security.daclPresent = true;
    mutex.security.dacl = std::vector<Ace>{{true, kMutexAllAccess, localSystemSid()},
                                           {true, kMutexAllAccess, *mutex.security.owner}};
  }
  if (initialOwner) {
    mutex.state = MutexState::Held;
    mutex.heldByProgram = 1;
  }
  // An unnamed mutex gets a key no name can have.
  const std::u16string stored = text.empty() ? u"\\unnamed\\" + toUtf16(std::to_string(nextMutexHandle_)) : key;
  mutexes_.emplace(stored, std::move(mutex));
  const Handle handle = nextMutexHandle_;
  nextMutexHandle_ += 4;
  mutexHandles_.emplace(handle, stored);
  lastError_ = ERROR_SUCCESS;
  return handle;
}

Machine::Mutex* Machine::mutexOf(Handle handle) {
  auto it = mutexHandles_.find(handle);
  if (it == mutexHandles_.end()) return nullptr;
  return &mutexes_.at(it->second);
}

std::uint32_t Machine::WaitForSingleObject(Handle object, std::uint32_t /*milliseconds*/) {
  Mutex* mutex = mutexOf(object);
  if (mutex == nullptr) {
    fail(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (mutex->heldByProgram > 0) {
    ++mutex->heldByProgram;
    return WAIT_OBJECT_0;
  }
  switch (mutex->state) {
    case MutexState::Free:
      mutex->state = MutexState::Held;
      mutex->heldByProgram = 1;
      return WAIT_OBJECT_0;
    case MutexState::Abandoned:
      mutex->state = MutexState::Held;
      mutex->heldByProgram = 1;
      return WAIT_ABANDONED;
    case MutexState::Held:
      break;
  }
  // Another process's hold never ends here, so any wait runs out.
  return WAIT_TIMEOUT;
}

bool Machine::ReleaseMutex(Handle mutexHandle) {
  Mutex* mutex = mutexOf(mutexHandle);
  if (mutex == nullptr) return fail(ERROR_INVALID_HANDLE);
  if (mutex->heldByProgram == 0) return fail(kErrorNotOwner);
  if (--mutex->heldByProgram == 0) mutex->state = MutexState::Free;
  return true;
}

bool Machine::GetKernelObjectSecurity(Handle object, std::uint32_t requestedInformation, void* securityDescriptor,
                                      std::uint32_t length, std::uint32_t* lengthNeeded) {
  Mutex* mutex = mutexOf(object);
  if (mutex == nullptr) return fail(ERROR_INVALID_HANDLE);
  if ((requestedInformation & ~kKnownSecurityInformation) != 0) return fail(ERROR_INVALID_PARAMETER);
  if (lengthNeeded == nullptr || (securityDescriptor == nullptr && length != 0)) return fail(kErrorNoAccess);
  const std::vector<std::uint8_t> bytes =
      writeSecurityDescriptor(mutex->security, (requestedInformation & OWNER_SECURITY_INFORMATION) != 0,
                              (requestedInformation & kDaclSecurityInformation) != 0);
  *lengthNeeded = static_cast<std::uint32_t>(bytes.size());
  if (length < bytes.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(securityDescriptor));
  return true;
}

}  // namespace koa::sim
