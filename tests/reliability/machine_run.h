// One whole run of the program in this process, on a simulated machine: what
// a fault sweep or a fuzzer needs to judge the run afterwards.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/simulated_machine.h"
#include "tests/reliability/request_recorder.h"

namespace koa::reliability {

// What each drive ran before the run, by the description's drive name.
struct DriveBefore {
  std::string runningRevision;
  std::string revisionAfterReset;
};

struct MachineRun {
  std::unique_ptr<sim::SimulatedMachine> machine;  // as the run left it
  std::unique_ptr<RequestRecorder> requests;       // the run's downloads and activations
  std::map<std::string, DriveBefore> before;
  int exitCode = -1;
  std::string console;    // everything written to standard output
  std::string log;        // the log file's text
  bool logWritten = false;
};

// Loads `description` (a machine in the simulator's JSON format), installs
// it behind a RequestRecorder (the trace without buffer bytes), and runs the
// program with "/s" and a log in a fresh directory, the
// console captured. Throws std::runtime_error when the description does not
// load.
[[nodiscard]] MachineRun runOnMachine(const nlohmann::json& description);

// The same, on a machine already built (the fuzzer patches its answers).
[[nodiscard]] MachineRun runOnMachine(std::unique_ptr<sim::SimulatedMachine> machine);

// A machine file of the source tree, e.g. "examples/machines/workstation.json".
[[nodiscard]] nlohmann::json exampleMachine(const std::filesystem::path& path);

}  // namespace koa::reliability
