// Placeholder until the machine loader lands: the program cannot run on a
// simulated machine yet and says so.
#include "sim/machine_from_environment.h"

namespace koa::sim {

std::unique_ptr<RunningMachine> machineFromEnvironment(std::ostream& errors) {
  errors << "koa-update: the simulated machine is not available in this build yet\n";
  return nullptr;
}

}  // namespace koa::sim
