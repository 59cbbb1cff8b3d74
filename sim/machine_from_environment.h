// How a program on the simulated machine finds its machine.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "platform/platform.h"
#include "sim/machine_description.h"

namespace koa::sim {

// The simulated machine as the program sees it, plus what happens after the
// run (writing the machine after the next reset when KOA_SIM_STATE_OUT names
// a file, and as it is before that reset when KOA_SIM_STATE_NOW_OUT does).
class RunningMachine {
 public:
  virtual ~RunningMachine() = default;
  virtual Platform& platform() = 0;
  // Writes the state files (KOA_SIM_STATE_OUT, KOA_SIM_STATE_NOW_OUT) and
  // closes the trace (KOA_SIM_TRACE). False, with a message on errors, when that fails.
  virtual bool finishRun(std::ostream& errors) = 0;
};

// The machine described by the file that KOA_SIM_MACHINE names, or else the
// default machine built into the program. A file that cannot be read or is
// malformed gives a message naming the file and the field on errors, and
// nullptr.
std::unique_ptr<RunningMachine> machineFromEnvironment(std::ostream& errors);

// The two steps of machineFromEnvironment, for a program that also needs
// the description itself (the model of the Wine devices, sim/host/). The
// description KOA_SIM_MACHINE names, or the built-in one; nullopt with the
// message (without a program name) in `error`.
std::optional<MachineDescription> machineDescriptionFromEnvironment(std::string& error);
// `description` as a running machine with the trace and state files of the
// environment; messages name `program`. nullptr with the message in `error`.
std::unique_ptr<RunningMachine> runningMachine(MachineDescription description, const std::string& program,
                                               std::string& error);

}  // namespace koa::sim
