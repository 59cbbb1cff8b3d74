// The only place that reads the simulator's environment variables.
#include "sim/machine_from_environment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/default_machine.h"
#include "sim/machine_description.h"
#include "sim/simulated_machine.h"

namespace koa::sim {

namespace {

constexpr const char* kMachineVariable = "KOA_SIM_MACHINE";
constexpr const char* kTraceVariable = "KOA_SIM_TRACE";
constexpr const char* kStateVariable = "KOA_SIM_STATE_OUT";
constexpr const char* kStateNowVariable = "KOA_SIM_STATE_NOW_OUT";

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

class EnvironmentMachine : public RunningMachine {
 public:
  EnvironmentMachine(MachineDescription description, std::string statePath, std::string stateNowPath,
                     std::string program)
      : machine_(std::move(description)),
        statePath_(std::move(statePath)),
        stateNowPath_(std::move(stateNowPath)),
        program_(std::move(program)) {
    // Nothing reads the calls back in memory; KOA_SIM_TRACE writes them out.
    machine_.trace().keepEntries(false);
  }

  bool openTrace(const std::string& path, std::string& error) {
    trace_.open(path, std::ios::binary | std::ios::trunc);
    if (!trace_) {
      error = "cannot write the trace file " + path + " (" + kTraceVariable + ")";
      return false;
    }
    machine_.trace().setSink(&trace_);
    return true;
  }

  Platform& platform() override { return machine_; }

  bool finishRun(std::ostream& errors) override {
    bool ok = true;
    if (trace_.is_open()) {
      machine_.trace().setSink(nullptr);
      trace_.close();
      if (!trace_) ok = false;
    }
    if (!statePath_.empty() && !writeState(machine_.state(), statePath_, kStateVariable, errors)) ok = false;
    if (!stateNowPath_.empty() && !writeState(machine_.stateNow(), stateNowPath_, kStateNowVariable, errors))
      ok = false;
    return ok;
  }

 private:
  bool writeState(const nlohmann::json& state, const std::string& path, const char* variable, std::ostream& errors) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << state.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    out.close();
    if (out) return true;
    errors << program_ << ": cannot write the state file " << path << " (" << variable << ")\n";
    return false;
  }

  SimulatedMachine machine_;
  std::string statePath_;
  std::string stateNowPath_;
  std::string program_;
  std::ofstream trace_;
};

}  // namespace

std::optional<MachineDescription> machineDescriptionFromEnvironment(std::string& error) {
  const std::string machinePath = environmentValue(kMachineVariable);
  std::string text;
  std::string sourceName;
  if (machinePath.empty()) {
    text = std::string(defaultMachineText());
    sourceName = "built-in machine workstation.json";
  } else {
    std::ifstream in(machinePath, std::ios::binary);
    std::ostringstream content;
    std::error_code ignored;
    if (in.is_open() && !std::filesystem::is_directory(machinePath, ignored)) content << in.rdbuf();
    if (!in.is_open() || std::filesystem::is_directory(machinePath, ignored) || in.bad()) {
      error = "cannot read the machine file " + machinePath + " (" + kMachineVariable + ")";
      return std::nullopt;
    }
    text = content.str();
    sourceName = machinePath;
  }
  return parseMachineDescription(text, sourceName, error);
}

std::unique_ptr<RunningMachine> runningMachine(MachineDescription description, const std::string& program,
                                               std::string& error) {
  auto machine =
      std::make_unique<EnvironmentMachine>(std::move(description), environmentValue(kStateVariable),
                                                      environmentValue(kStateNowVariable), program);
  if (const std::string tracePath = environmentValue(kTraceVariable); !tracePath.empty())
    if (!machine->openTrace(tracePath, error)) return nullptr;
  return machine;
}

std::unique_ptr<RunningMachine> machineFromEnvironment(std::ostream& errors) {
  std::string error;
  std::unique_ptr<RunningMachine> machine;
  if (auto description = machineDescriptionFromEnvironment(error))
    machine = runningMachine(std::move(*description), "koa-update", error);
  if (!machine) errors << "koa-update: " << error << '\n';
  return machine;
}

}  // namespace koa::sim
