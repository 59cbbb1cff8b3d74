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

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

class EnvironmentMachine : public RunningMachine {
 public:
  EnvironmentMachine(MachineDescription description, std::string statePath)
      : machine_(std::move(description)), statePath_(std::move(statePath)) {
    // Nothing reads the calls back in memory; KOA_SIM_TRACE writes them out.
    machine_.trace().keepEntries(false);
  }

  bool openTrace(const std::string& path, std::ostream& errors) {
    trace_.open(path, std::ios::binary | std::ios::trunc);
    if (!trace_) {
      errors << "koa-update: cannot write the trace file " << path << " (" << kTraceVariable << ")\n";
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
    if (!statePath_.empty()) {
      std::ofstream out(statePath_, std::ios::binary | std::ios::trunc);
      out << machine_.state().dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
      out.close();
      if (!out) {
        errors << "koa-update: cannot write the state file " << statePath_ << " (" << kStateVariable << ")\n";
        ok = false;
      }
    }
    return ok;
  }

 private:
  SimulatedMachine machine_;
  std::string statePath_;
  std::ofstream trace_;
};

}  // namespace

std::unique_ptr<RunningMachine> machineFromEnvironment(std::ostream& errors) {
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
      errors << "koa-update: cannot read the machine file " << machinePath << " (" << kMachineVariable << ")\n";
      return nullptr;
    }
    text = content.str();
    sourceName = machinePath;
  }
  std::string error;
  auto description = parseMachineDescription(text, sourceName, error);
  if (!description) {
    errors << "koa-update: " << error << '\n';
    return nullptr;
  }
  auto machine = std::make_unique<EnvironmentMachine>(std::move(*description), environmentValue(kStateVariable));
  if (const std::string tracePath = environmentValue(kTraceVariable); !tracePath.empty())
    if (!machine->openTrace(tracePath, errors)) return nullptr;
  return machine;
}

}  // namespace koa::sim
