#include "tests/reliability/machine_run.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "app/run_program.h"
#include "platform/platform.h"
#include "report/console.h"
#include "sim/machine_description.h"

namespace koa::reliability {
namespace {

std::filesystem::path freshDirectory() {
  static std::mt19937_64 random{std::random_device{}()};
  for (;;) {
    auto path = std::filesystem::temp_directory_path() / ("koa-reliability-" + std::to_string(random()));
    if (std::filesystem::create_directory(path)) return path;
  }
}

std::string fileText(const std::filesystem::path& path, bool& found) {
  std::ifstream in(path, std::ios::binary);
  found = static_cast<bool>(in);
  std::ostringstream text;
  if (found) text << in.rdbuf();
  return text.str();
}

std::u16string widened(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Restores standard output and drops the directory on every way out.
struct RunScope {
  std::filesystem::path directory = freshDirectory();
  ~RunScope() {
    console::setSinkForTesting({});
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }
};

}  // namespace

MachineRun runOnMachine(const nlohmann::json& description) {
  std::string error;
  auto loaded = sim::parseMachineDescription(description.dump(), "machine.json", error);
  if (!loaded) throw std::runtime_error(error);
  return runOnMachine(std::make_unique<sim::SimulatedMachine>(std::move(*loaded)));
}

MachineRun runOnMachine(std::unique_ptr<sim::SimulatedMachine> machine) {
  MachineRun run;
  run.machine = std::move(machine);
  const nlohmann::json state = run.machine->state();
  for (const auto& [name, drive] : state["drives"].items()) {
    sim::NvmeDrive* simDrive = run.machine->drive(name);
    run.before[name] = DriveBefore{simDrive->runningRevision(), simDrive->revisionAfterReset()};
  }
  static std::ostringstream messageBoxes;  // silent runs show none
  messageBoxes.str({});
  run.machine->setMessageSink(&messageBoxes);

  RunScope scope;
  // The log file lives in the run's own directory; "/log=" takes a path with
  // no blank, which temp_directory_path gives on the build machines.
  const std::filesystem::path logPath = scope.directory / "koa.log";
  const std::vector<std::u16string> arguments = {u"koa-update.exe", u"/s", u"/log=" + widened(logPath.string())};
  std::vector<const char16_t*> argv;
  for (const auto& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  console::setSinkForTesting([&run](std::string_view bytes) { run.console.append(bytes); });
  run.machine->trace().setBuffersRecorded(false);
  run.requests = std::make_unique<RequestRecorder>(*run.machine);
  installPlatform(*run.requests);
  run.exitCode = runProgram(static_cast<int>(arguments.size()), argv.data());
  run.log = fileText(logPath, run.logWritten);
  return run;
}

nlohmann::json exampleMachine(const std::filesystem::path& path) {
  std::ifstream in(std::filesystem::path(KOA_SOURCE_DIR) / path);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return nlohmann::json::parse(in);
}

}  // namespace koa::reliability
