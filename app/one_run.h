// The run lock as the updater meets it: taken after the run header and
// before the command line, so that a run it refuses creates and empties no
// log, opens no drive and shows no message box.
#pragma once

#include <optional>

#include "update/run_lock.h"

namespace koa {

// The exit code of a run that the lock refuses (1618 while another run holds
// it, 1 otherwise), after one line on standard output; nothing when the run
// goes on. A caller without administrator rights, which cannot reach the
// lock, goes on: its rights check says what it lacks.
[[nodiscard]] std::optional<int> refusedByRunLock(RunLock& lock);

}  // namespace koa
