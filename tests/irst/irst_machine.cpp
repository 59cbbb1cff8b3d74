#include "tests/irst/irst_machine.h"

#include <set>
#include <sstream>

#include "sim/sim_bytes.h"
#include "tests/support/program_run.h"

namespace koa::test {

IrstMachine::IrstMachine() {
  doc_ = {{"clock", "2026-12-08T14:30:05"}, {"drives", nlohmann::json::object()},
          {"devices", nlohmann::json::array()}, {"faults", nlohmann::json::array()}};
}

IrstMachine& IrstMachine::drive(const std::string& name, const std::string& serial, const std::string& revision,
                                const std::string& activation, int fwug) {
  doc_["drives"][name] = {{"serialNumber", serial},
                          {"modelNumber", "KOA NVMe SSD 1TB"},
                          {"firmwareRevision", revision},
                          {"pciVendorId", "0xD5A7"},
                          {"version", {{"major", 1u}, {"minor", 3u}}},
                          {"fwug", static_cast<unsigned>(fwug)},
                          {"activation", activation},
                          {"slots", {{{"number", 1u}, {"readOnly", true}, {"revision", "GXB1LTMW"}},
                                     {{"number", 2u}, {"revision", revision}}}},
                          {"activeSlot", 2u}};
  return *this;
}

IrstMachine& IrstMachine::storagePort(const std::string& instanceId, const std::string& path,
                                      const std::string& description) {
  doc_["devices"].push_back({{"instanceId", instanceId},
                             {"driverDesc", description},
                             {"interfaces", {{{"class", "storagePort"}, {"path", path}}}}});
  return *this;
}

IrstMachine& IrstMachine::controller(const std::string& path, const std::string& description) {
  controllerIndex_ = doc_["devices"].size();
  doc_["devices"].push_back({{"instanceId", kIntelControllerId},
                             {"driverDesc", description},
                             {"interfaces", {{{"class", "storagePort"}, {"path", path}}}},
                             {"irst", {{"drives", nlohmann::json::array()}}}});
  return *this;
}

IrstMachine& IrstMachine::irstDrive(int pathId, const std::string& name, int raidSet) {
  nlohmann::json entry = {{"pathId", static_cast<unsigned>(pathId)}, {"drive", name}};
  if (raidSet >= 0) entry["raidSet"] = static_cast<unsigned>(raidSet);
  doc_["devices"][controllerIndex_]["irst"]["drives"].push_back(entry);
  return *this;
}

std::string IrstMachine::diskPath(const std::string& suffix) {
  return "\\\\?\\scsi#disk&" + suffix + "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

IrstMachine& IrstMachine::raidVolume(const std::string& suffix) {
  doc_["devices"].push_back({{"instanceId", "SCSI\\DISK&VEN_INTEL&PROD_RAID_1_VOLUME\\" + suffix},
                             {"parent", kIntelControllerId},
                             {"locationInfo", "Bus Number 0, Target Id 1, LUN 0"},
                             {"interfaces", {{{"class", "disk"}, {"path", diskPath(suffix)}}}}});
  return *this;
}

IrstMachine& IrstMachine::nonRaidDisk(const std::string& suffix, const std::string& location) {
  nlohmann::json node = {{"instanceId", "SCSI\\DISK&VEN_NVME&PROD_KOA_NVME_SSD\\" + suffix},
                         {"parent", kIntelControllerId},
                         {"interfaces", {{{"class", "disk"}, {"path", diskPath(suffix)}}}}};
  if (!location.empty()) node["locationInfo"] = location;
  doc_["devices"].push_back(node);
  return *this;
}

IrstMachine& IrstMachine::inboxDisk(const std::string& suffix, const std::string& driveName, int deviceNumber) {
  const std::string parentId = "PCI\\VEN_D5A7&DEV_5016&SUBSYS_5016D5A7&REV_01\\4&" + suffix;
  doc_["devices"].push_back({{"instanceId", parentId}, {"driverDesc", "Standard NVM Express Controller"}});
  doc_["devices"].push_back(
      {{"instanceId", "SCSI\\DISK&VEN_NVME&PROD_KOA_NVME_SSD_1TB\\" + suffix},
       {"parent", parentId},
       {"hardwareIds", {"SCSI\\DiskNVMe____KOA_NVMe_SSD_1TB", "GenDisk"}},
       {"interfaces", {{{"class", "disk"}, {"path", diskPath("inbox" + suffix)}}}},
       {"disk", {{"deviceNumber", static_cast<unsigned>(deviceNumber)}, {"drive", driveName}}}});
  return *this;
}

IrstMachine& IrstMachine::fault(nlohmann::json fault) {
  if (!fault.contains("device") && !fault.contains("path")) fault["device"] = kIntelControllerPath;
  doc_["faults"].push_back(std::move(fault));
  return *this;
}

std::string IrstMachine::text() const { return doc_.dump(2); }

std::vector<std::uint8_t> TraceEntry::input() const {
  return sim::fromHex(json.at("input").get<std::string>()).value_or(std::vector<std::uint8_t>{});
}

std::vector<TraceEntry> MachineRun::requests(const std::string& kind, const std::string& drive) const {
  std::vector<TraceEntry> found;
  for (const auto& entry : trace)
    if (entry.value("op", "") == "DeviceIoControl" && entry.value("request", "") == kind &&
        (drive.empty() || (entry.contains("drive") && entry["drive"] == drive)))
      found.push_back({entry});
  return found;
}

std::vector<nlohmann::json> MachineRun::ops(const std::string& op) const {
  std::vector<nlohmann::json> found;
  for (const auto& entry : trace)
    if (entry.value("op", "") == op) found.push_back(entry);
  return found;
}

int MachineRun::leakedHandles() const {
  std::multiset<std::int64_t> open;
  for (const auto& entry : ops("CreateFileW"))
    if (entry["result"].get<std::int64_t>() != -1) open.insert(entry["result"].get<std::int64_t>());
  for (const auto& entry : ops("OpenProcessToken"))
    if (entry["result"].get<bool>()) open.insert(entry["token"].get<std::int64_t>());
  for (const auto& entry : ops("CloseHandle"))
    if (entry["result"].get<bool>()) open.erase(open.find(entry["handle"].get<std::int64_t>()));
  return static_cast<int>(open.size());
}

int MachineRun::leakedDeviceSets() const {
  int open = 0;
  for (const auto& entry : ops("SetupDiGetClassDevsW"))
    if (entry["result"].get<std::int64_t>() != -1) ++open;
  for (const auto& entry : ops("SetupDiDestroyDeviceInfoList"))
    if (entry["result"].get<bool>()) --open;
  return open;
}

MachineRun runOnMachineFile(const std::filesystem::path& machineFile, bool silent) {
  const std::filesystem::path directory = makeTemporaryDirectory();
  ProgramOptions options;
  if (silent) options.arguments = {"/s"};
  options.workingDirectory = directory;
  options.environment = {{"KOA_SIM_MACHINE", machineFile.string()},
                         {"KOA_SIM_TRACE", (directory / "trace.jsonl").string()},
                         {"KOA_SIM_STATE_OUT", (directory / "state.json").string()}};
  const ProgramRun program = runProgram(options);
  MachineRun run;
  run.standardOutput = program.standardOutput;
  run.standardError = program.standardError;
  run.exitCode = program.exitCode;
  if (std::filesystem::exists(directory / "test.txt")) run.log = readFile(directory / "test.txt");
  if (std::filesystem::exists(directory / "trace.jsonl")) {
    std::istringstream lines(readFile(directory / "trace.jsonl"));
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) run.trace.push_back(nlohmann::json::parse(line));
  }
  if (std::filesystem::exists(directory / "state.json"))
    run.state = nlohmann::json::parse(readFile(directory / "state.json"));
  std::filesystem::remove_all(directory);
  return run;
}

MachineRun runOnMachine(const std::string& machineText, bool silent) {
  const std::filesystem::path directory = makeTemporaryDirectory();
  const std::filesystem::path file = directory / "machine.json";
  writeFile(file, machineText);
  MachineRun run = runOnMachineFile(file, silent);
  std::filesystem::remove_all(directory);
  return run;
}

}  // namespace koa::test
