#include "app/one_run.h"

#include <string>

#include "update/process_rights.h"
#include "report/console.h"
#include "report/number_text.h"

namespace koa {
namespace {

// ERROR_INSTALL_ALREADY_RUNNING: deployment tools retry a package that
// exits with it.
constexpr int kAnotherRunExitCode = static_cast<int>(ERROR_INSTALL_ALREADY_RUNNING);
constexpr int kRefusedExitCode = 1;

int refused(const std::u16string& line, int exitCode) {
  console::wideLine(u"  [ERROR] " + line + u"; this run changed nothing.");
  return exitCode;
}

}  // namespace

std::optional<int> refusedByRunLock(RunLock& lock) {
  const std::u16string name(kRunLockName);
  switch (lock.acquire()) {
    case RunLockState::Held:
      return std::nullopt;
    case RunLockState::Busy:
      return refused(u"Another koa-update is running on this machine", kAnotherRunExitCode);
    case RunLockState::HeldByNonAdministrator:
      return refused(u"The run lock " + name + u" is held by " + lock.owner() + u", who is not an administrator",
                     kRefusedExitCode);
    case RunLockState::Unreachable:
      break;
  }
  if (runsWithoutAdministratorRights()) return std::nullopt;
  // An administrator is refused the lock only when someone else made a
  // mutex of that name that shuts administrators out: a run without the
  // lock could meet another run on the same drive, so none is made.
  return refused(u"The run lock " + name + u" cannot be taken (error 0x" + widen(hexLower(lock.error())) + u")",
                 kRefusedExitCode);
}

}  // namespace koa
