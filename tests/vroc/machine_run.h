// Whole runs of the program, in process, on a simulated machine built from a
// description: what it printed, logged and returned, and the machine
// afterwards (drives, trace, handles, state).
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/simulated_machine.h"

namespace koa::test::vroc {

struct MachineRun {
  int exitCode = -1;
  std::string console;
  std::string log;
  std::unique_ptr<sim::SimulatedMachine> machine;

  sim::NvmeDrive& drive(const std::string& name) const;
  // The trace's DeviceIoControl entries of one request kind.
  std::vector<nlohmann::json> requests(const std::string& kind) const;
  // The paths of the CreateFileW calls, in order.
  std::vector<std::string> opened() const;
};

// examples/machines/<name>.json
nlohmann::json exampleMachine(const std::string& name);

// Runs the program with `arguments` (default "/s") in a fresh directory.
MachineRun runOnMachine(const nlohmann::json& description, std::vector<std::u16string> arguments = {u"/s"});

// The console text from `first` (included) up to the end marker.
std::string consoleFrom(const std::string& console, const std::string& first);

}  // namespace koa::test::vroc
