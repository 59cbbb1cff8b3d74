#include "tests/vroc/machine_run.h"

#include <filesystem>
#include <stdexcept>

#include "app/run_program.h"
#include "app/update_session.h"
#include "platform/platform.h"
#include "sim/machine_description.h"
#include "tests/support/console_capture.h"
#include "tests/support/program_run.h"

namespace koa::test::vroc {

sim::NvmeDrive& MachineRun::drive(const std::string& name) const {
  sim::NvmeDrive* found = machine->drive(name);
  if (found == nullptr) throw std::runtime_error("no drive " + name);
  return *found;
}

std::vector<nlohmann::json> MachineRun::requests(const std::string& kind) const {
  return machine->trace().requests(kind);
}

std::vector<std::string> MachineRun::opened() const {
  std::vector<std::string> paths;
  for (const auto& entry : machine->trace().calls("CreateFileW")) paths.push_back(entry["path"]);
  return paths;
}

nlohmann::json exampleMachine(const std::string& name) {
  return nlohmann::json::parse(readFile(sourcePath("examples/machines/" + name + ".json")));
}

MachineRun runOnMachine(const nlohmann::json& description, std::vector<std::u16string> arguments) {
  std::string error;
  auto loaded = sim::parseMachineDescription(description.dump(), "machine", error);
  if (!loaded) throw std::runtime_error(error);

  MachineRun run;
  run.machine = std::make_unique<sim::SimulatedMachine>(std::move(*loaded));
  std::ostringstream messageLines;
  run.machine->setMessageSink(&messageLines);
  installPlatform(*run.machine);

  const std::filesystem::path directory = makeTemporaryDirectory();
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(directory);
  arguments.insert(arguments.begin(), u"C:\\pkg\\koa-update.exe");
  std::vector<const char16_t*> argv;
  for (const auto& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  {
    ConsoleCapture capture;
    run.exitCode = koa::runProgram(static_cast<int>(arguments.size()), argv.data());
    run.console = capture.text();
  }
  silentMode = false;
  std::filesystem::current_path(previous);
  if (std::filesystem::exists(directory / "test.txt")) run.log = readFile(directory / "test.txt");
  std::filesystem::remove_all(directory);
  return run;
}

std::string consoleFrom(const std::string& console, const std::string& first) {
  const auto begin = console.find(first);
  const auto end = console.find("\n >> KOA Ended");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return "(not found: " + first + ")";
  return console.substr(begin, end - begin);
}

}  // namespace koa::test::vroc
