// How a program on the simulated machine finds its machine.
#pragma once

#include <memory>
#include <ostream>

#include "platform/platform.h"

namespace koa::sim {

// The simulated machine as the program sees it, plus what happens after the
// run (writing the final state when KOA_SIM_STATE_OUT names a file).
class RunningMachine {
 public:
  virtual ~RunningMachine() = default;
  virtual Platform& platform() = 0;
  // Writes the final state (KOA_SIM_STATE_OUT) and closes the trace
  // (KOA_SIM_TRACE). False, with a message on errors, when that fails.
  virtual bool finishRun(std::ostream& errors) = 0;
};

// The machine described by the file that KOA_SIM_MACHINE names, or else the
// default machine built into the program. A file that cannot be read or is
// malformed gives a message naming the file and the field on errors, and
// nullptr.
std::unique_ptr<RunningMachine> machineFromEnvironment(std::ostream& errors);

}  // namespace koa::sim
