#include "tests/inbox/machine_run.h"

#include <filesystem>
#include <set>
#include <sstream>

namespace koa::test::inbox {

nlohmann::json machineFile(const std::string& relativePath) {
  return nlohmann::json::parse(readFile(sourcePath(relativePath)));
}

nlohmann::json oneDriveMachine() { return machineFile("tests/machines/inbox/one-drive.json"); }

MachineRun runMachine(const nlohmann::json& machine, const std::vector<std::string>& arguments) {
  const std::filesystem::path directory = makeTemporaryDirectory();
  writeFile(directory / "machine.json", machine.dump(2));
  ProgramOptions options;
  options.arguments = arguments;
  options.workingDirectory = directory;
  options.environment = {{"KOA_SIM_MACHINE", (directory / "machine.json").string()},
                         {"KOA_SIM_TRACE", (directory / "trace.jsonl").string()},
                         {"KOA_SIM_STATE_OUT", (directory / "state.json").string()}};
  MachineRun run;
  run.program = runProgram(options);
  if (std::filesystem::exists(directory / "test.txt")) run.log = readFile(directory / "test.txt");
  std::istringstream trace(readFile(directory / "trace.jsonl"));
  for (std::string line; std::getline(trace, line);)
    if (!line.empty()) run.trace.push_back(nlohmann::json::parse(line));
  run.state = nlohmann::json::parse(readFile(directory / "state.json"));
  std::filesystem::remove_all(directory);
  return run;
}

std::vector<nlohmann::json> MachineRun::requests(const std::string& kind) const {
  std::vector<nlohmann::json> found;
  for (const auto& entry : trace)
    if (entry.value("op", "") == "DeviceIoControl" && entry.value("request", "") == kind) found.push_back(entry);
  return found;
}

std::vector<std::string> MachineRun::openedPaths() const {
  std::vector<std::string> paths;
  for (const auto& entry : trace)
    if (entry.value("op", "") == "CreateFileW") paths.push_back(entry.value("path", ""));
  return paths;
}

int MachineRun::handlesLeftOpen() const {
  std::set<std::int64_t> open;
  for (const auto& entry : trace) {
    const std::string op = entry.value("op", "");
    if (op == "CreateFileW" && entry["result"].get<std::int64_t>() != -1) open.insert(entry["result"].get<std::int64_t>());
    if (op == "OpenProcessToken" && entry["result"].get<bool>()) open.insert(entry["token"].get<std::int64_t>());
    if (op == "CloseHandle" && entry["result"].get<bool>()) open.erase(entry["handle"].get<std::int64_t>());
  }
  return static_cast<int>(open.size());
}

int MachineRun::deviceSetsLeftOpen() const {
  std::set<std::int64_t> open;
  for (const auto& entry : trace) {
    const std::string op = entry.value("op", "");
    if (op == "SetupDiGetClassDevsW" && entry["result"].get<std::int64_t>() != -1)
      open.insert(entry["result"].get<std::int64_t>());
    if (op == "SetupDiDestroyDeviceInfoList" && entry["result"].get<bool>()) open.erase(entry["set"].get<std::int64_t>());
  }
  return static_cast<int>(open.size());
}

std::string MachineRun::revision(const std::string& drive) const {
  return state.at("drives").at(drive).at("firmwareRevision").get<std::string>();
}

std::vector<std::uint8_t> inputOf(const nlohmann::json& request) {
  const std::string hex = request.value("input", "");
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::uint64_t inputField(const nlohmann::json& request, std::size_t offset, std::size_t width) {
  const std::vector<std::uint8_t> bytes = inputOf(request);
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = value * 256 + bytes.at(offset + i);
  return value;
}

std::string consoleOf(const std::string& body, int exitCode) {
  const std::string rule(96, '=');
  return rule + "\nGXB4LTMW\nTORVALE NVMe SSD Firmware Update Package\n" + rule + "\n" +
         "\n >> KOA Started \n\n" + body + "\n >> KOA Ended (Return Code : " + std::to_string(exitCode) + ")\n\n";
}

std::string displayBlock(const std::string& model, const std::string& serial, const std::string& current) {
  const std::string rule(45, '-');
  return "\n" + rule + "\n Firmware Download | Target Disk Information \n" + rule +
         "\n Driver : Inbox Driver\n Raid : No\n Model Number : " + model + "\n Serial Number : " + serial +
         "\n Current FW : " + current + "\n Updated FW : GXB4LTMW\n" + rule + "\n";
}

std::string koaDisplayBlock() {
  // The identify fields keep the blanks that pad them to 40 and 20 bytes.
  return displayBlock("KOA NVMe SSD 1TB" + std::string(24, ' '), "KOA0000000000000301 ", "GXB3LTMW");
}

}  // namespace koa::test::inbox
