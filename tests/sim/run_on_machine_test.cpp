// The Linux program on a machine file: the environment variables, the trace
// and the state file, and "update, reboot, run again".
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include <nlohmann/json.hpp>

#include "sim/sha256.h"
#include "sim/sim_bytes.h"
#include "tests/sim/json_schema_check.h"
#include "tests/sim/sim_test_support.h"
#include "tests/support/firmware_slot_log_requests.h"
#include "tests/support/irst_machine.h"
#include "tests/support/machine_run.h"
#include "transfer/firmware_image.h"

namespace koa::sim {
namespace {

using koa::test::MachineRun;
using koa::test::readFile;
using koa::test::runOnMachine;
using koa::test::runOnMachineFile;
using koa::test::sourcePath;

// The program as its own process on `machine` (none: the one built into it),
// with `environment` over the harness's KOA_SIM_* variables.
MachineRun runOn(const std::filesystem::path& machine, std::map<std::string, std::string> environment = {}) {
  koa::test::RunOptions options = koa::test::separateProcess();
  options.environment = std::move(environment);
  return runOnMachineFile(machine, options);
}

std::string imageSha256() {
  loadImage();
  return toHex(sha256(std::span<const std::uint8_t>(imageBuffer, kImageSize)));
}

TEST(RunOnMachine, UpdateRebootRunAgain) {
  const MachineRun first = runOn(sourcePath("examples/machines/workstation.json"));
  EXPECT_EQ(first.exitCode, 1602 & 0xFF) << first.standardOutput;
  const nlohmann::json& state = first.state;
  const std::string image = imageSha256();
  for (const char* updated : {"inbox-gxb3", "irst-raid-a", "irst-raid-b", "irst-single"}) {
    const auto& drive = state["drives"][updated];
    EXPECT_EQ(drive["firmwareRevision"], "GXB4LTMW") << updated;
    EXPECT_EQ(drive["committed"]["sha256"], image) << updated;
    EXPECT_EQ(drive["committed"]["length"], kImageSize) << updated;
    EXPECT_EQ(drive["received"]["sha256"], image) << updated;
  }
  EXPECT_EQ(state["drives"]["inbox-gxb4"]["received"]["length"], 0);
  EXPECT_EQ(state["drives"]["system-disk"]["firmwareRevision"], "3B2QEXM7");
  EXPECT_EQ(state["drives"]["system-disk"]["received"]["length"], 0);
  EXPECT_FALSE(state["drives"]["system-disk"].contains("committed"));

  // After the reboot the program finds every drive on the image's revision.
  const MachineRun second = runOnMachine(state, koa::test::separateProcess());
  EXPECT_EQ(second.exitCode, 1);
  for (const auto& [name, drive] : second.state["drives"].items()) {
    EXPECT_EQ(drive["received"]["length"], 0) << name;
    EXPECT_EQ(drive["firmwareRevision"], state["drives"][name]["firmwareRevision"]) << name;
  }
}

// "Update, then look before the reboot": the machine as the run left it
// loads without a reset; the IRST drives, which activate only at a reset,
// hold the new image in their active slot, pending, while Identify still
// names the old revision.
TEST(RunOnMachine, UpdateThenLookBeforeTheReboot) {
  const auto directory = koa::test::makeTemporaryDirectory();
  const auto nowFile = directory / "now.json";
  const MachineRun run =
      runOn(sourcePath("examples/machines/workstation.json"), {{"KOA_SIM_STATE_NOW_OUT", nowFile.string()}});
  EXPECT_EQ(run.exitCode, 1602 & 0xFF) << run.standardOutput;
  const nlohmann::json now = nlohmann::json::parse(readFile(nowFile));
  std::filesystem::remove_all(directory);
  const nlohmann::json example = koa::test::machineFile("examples/machines/workstation.json");

  const auto schema = nlohmann::json::parse(readFile(sourcePath("docs/machine.schema.json")));
  EXPECT_EQ(test::schemaViolations(schema, now), std::vector<std::string>{});
  SimulatedMachine before(test::describe(now));
  SimulatedMachine after(test::describe(run.state));
  for (const char* name : {"irst-raid-a", "irst-raid-b", "irst-single"}) {
    const std::string old = example["drives"][name]["firmwareRevision"];
    EXPECT_EQ(now["drives"][name]["pendingSlot"], 2) << name;
    const NvmeDrive& waiting = *before.drive(name);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(waiting.identify().data()) + 64, 8), old) << name;
    const auto log = waiting.firmwareSlotLog();
    EXPECT_EQ(log[0], 0x22) << name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(log.data()) + 16, 8), "GXB4LTMW") << name;
    EXPECT_EQ(waiting.firmwareSlotInfo().pendingActivateSlot, 2) << name;
    EXPECT_EQ(waiting.firmwareSlotInfo().slots[1].revision, "GXB4LTMW") << name;

    const NvmeDrive& rebooted = *after.drive(name);
    EXPECT_FALSE(run.state["drives"][name].contains("pendingSlot")) << name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rebooted.identify().data()) + 64, 8), "GXB4LTMW") << name;
    EXPECT_EQ(rebooted.firmwareSlotLog()[0], 0x02) << name;
    EXPECT_EQ(rebooted.firmwareSlotInfo().pendingActivateSlot, 0) << name;
  }
  EXPECT_EQ(now["drives"]["inbox-gxb3"]["firmwareRevision"], "GXB4LTMW");
  EXPECT_FALSE(now["drives"]["inbox-gxb3"].contains("pendingSlot"));
  // The loaded machine's own next reset is the one the run's state file shows.
  const nlohmann::json beforeState = before.state();
  for (const auto& [name, drive] : beforeState["drives"].items())
    for (const char* field : {"firmwareRevision", "activeSlot", "slots", "identifyHex"})
      EXPECT_EQ(drive.value(field, nlohmann::json()), run.state["drives"][name].value(field, nlohmann::json()))
          << name << " " << field;

  // The controller answers the log read from the loaded machine, named in
  // the trace.
  const std::u16string controller(koa::test::kIntelControllerPath.begin(), koa::test::kIntelControllerPath.end());
  const Handle handle = before.CreateFileW(controller.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  ASSERT_NE(handle, kInvalidHandle);
  auto request = koa::test::irstFirmwareSlotLogRequest(1);
  std::uint32_t returned = 0;
  ASSERT_TRUE(before.DeviceIoControl(handle, 0x4D008, request.data(), 4260, request.data(), 4260, &returned));
  EXPECT_EQ(returned, 4260u);
  EXPECT_EQ(request[164], 0x22);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.data()) + 164 + 16, 8), "GXB4LTMW");
  EXPECT_EQ(before.trace().entries().back()["request"], "irst.getLogPage");
  EXPECT_EQ(before.trace().entries().back()["drive"], "irst-raid-b");
  EXPECT_TRUE(before.CloseHandle(handle));
}

TEST(RunOnMachine, TraceHasOneJsonLinePerPlatformCallWithCompleteBytes) {
  const auto directory = koa::test::makeTemporaryDirectory();
  const auto tracePath = directory / "trace.jsonl";
  // The file itself, line by line, not the harness's reading of it.
  (void)runOn(sourcePath("examples/machines/workstation.json"), {{"KOA_SIM_TRACE", tracePath.string()}});
  std::istringstream lines(readFile(tracePath));
  std::string line;
  std::size_t expectedSeq = 1;
  std::size_t requests = 0;
  std::set<std::string> kinds;
  while (std::getline(lines, line)) {
    const auto entry = nlohmann::json::parse(line);
    ASSERT_EQ(entry["seq"], expectedSeq++);
    ASSERT_TRUE(entry["op"].is_string());
    if (entry["op"] == "DeviceIoControl" && entry.contains("request")) {
      ++requests;
      kinds.insert(entry["request"].get<std::string>());
      ASSERT_TRUE(entry.contains("input") && entry.contains("output"));
      if (entry["inSize"] != 0) {
        EXPECT_EQ(entry["input"].get<std::string>().size(), 2 * entry["inSize"].get<std::size_t>());
      }
      EXPECT_EQ(entry["output"].get<std::string>().size(), 2 * entry["outSize"].get<std::size_t>());
      EXPECT_TRUE(entry.contains("result") && entry.contains("lastError") && entry.contains("path"));
    }
  }
  EXPECT_GT(requests, 512u);
  EXPECT_TRUE(kinds.contains("storage.deviceNumber"));
  EXPECT_TRUE(kinds.contains("inbox.download"));
  std::filesystem::remove_all(directory);
}

TEST(RunOnMachine, WithoutAMachineFileTheBuiltInWorkstationRuns) {
  const MachineRun run = runOn({});
  const auto example = nlohmann::json::parse(readFile(sourcePath("examples/machines/workstation.json")));
  EXPECT_EQ(run.state["devices"], example["devices"]);
  EXPECT_EQ(run.state["clock"], example["clock"]);
  EXPECT_EQ(run.state["drives"].size(), example["drives"].size());
}

TEST(RunOnMachine, MachineProblemsAreReportedAndTheProgramDoesNotRun) {
  const auto directory = koa::test::makeTemporaryDirectory();
  const auto missing = runOn(directory / "none.json");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.standardOutput, "");
  EXPECT_EQ(missing.standardError,
            "koa-update: cannot read the machine file " + (directory / "none.json").string() + " (KOA_SIM_MACHINE)\n");

  const auto malformed = directory / "malformed.json";
  koa::test::writeFile(malformed, R"({"drives": {"a": {"serialNumber": "S", "modelNumber": "M", "firmwareRevision": 8}}})");
  const auto bad = runOn(malformed);
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.standardError,
            "koa-update: " + malformed.string() + ": /drives/a/firmwareRevision: expected a string, found number\n");

  const auto unwritable = runOn(sourcePath("examples/machines/empty.json"),
                                {{"KOA_SIM_TRACE", (directory / "no" / "such" / "dir").string()}});
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_EQ(unwritable.standardError, "koa-update: cannot write the trace file " +
                                              (directory / "no" / "such" / "dir").string() + " (KOA_SIM_TRACE)\n");
  std::filesystem::remove_all(directory);
}

TEST(RunOnMachine, StateFileThatCannotBeWrittenFailsTheRun) {
  const auto directory = koa::test::makeTemporaryDirectory();
  const auto target = directory / "missing-dir" / "state.json";
  const auto run = runOn(sourcePath("examples/machines/empty.json"), {{"KOA_SIM_STATE_OUT", target.string()}});
  EXPECT_NE(run.standardError.find("koa-update: cannot write the state file " + target.string() +
                                   " (KOA_SIM_STATE_OUT)\n"),
            std::string::npos);
  EXPECT_NE(run.exitCode, 0);
  std::filesystem::remove_all(directory);
}

TEST(MachineState, AMachineStateLoadsAsTheMachineAfterTheReset) {
  MachineDescription description = test::describe(nlohmann::json::parse(readFile(sourcePath("examples/machines/workstation.json"))));
  SimulatedMachine machine(std::move(description));
  NvmeDrive* drive = machine.drive("irst-raid-a");
  ASSERT_NE(drive, nullptr);
  std::vector<std::uint8_t> bytes(kDefaultImageLength, 0x3C);
  const std::string revision = "GXB9TEST";
  std::copy(revision.begin(), revision.end(), bytes.begin() + kImageRevisionOffset);
  ASSERT_EQ(drive->firmwareImageDownload(0, bytes), kNvmeSuccess);
  ASSERT_EQ(drive->firmwareCommit(2, kCommitReplaceActivateAtReset), kNvmeSuccess);
  EXPECT_EQ(drive->runningRevision(), "GXB3LTMW");

  SimulatedMachine rebooted(test::describe(machine.state()));
  EXPECT_EQ(rebooted.drive("irst-raid-a")->runningRevision(), "GXB9TEST");
  EXPECT_EQ(rebooted.drive("irst-raid-b")->runningRevision(), "GXR4LTMW");
  EXPECT_EQ(rebooted.state()["devices"], machine.state()["devices"]);
  EXPECT_EQ(rebooted.state()["scsiPorts"], machine.state()["scsiPorts"]);
}

TEST(MachineState, PortsWrittenInHexKeepTheirDriverSection) {
  auto document = nlohmann::json::parse(readFile(sourcePath("examples/machines/vroc-server.json")));
  document["scsiPorts"][2]["port"] = "0x2";
  SimulatedMachine machine(test::describe(document));
  const auto state = machine.state();
  EXPECT_EQ(state["scsiPorts"][2]["port"], "0x2");
  EXPECT_EQ(state["scsiPorts"][2]["vroc"]["passThrough"].size(), 2u);
  SimulatedMachine rebooted(test::describe(state));
  EXPECT_NE(rebooted.CreateFileW(u"\\\\.\\Scsi2:", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0), kInvalidHandle);
}

TEST(ProcessCalls, MessageBoxIsRecordedWrittenOnOneLineAndNeverBlocks) {
  SimulatedMachine machine(test::describe(nlohmann::json::parse(R"({"clock": "2026-02-03T04:05:06"})")));
  std::ostringstream sink;
  machine.setMessageSink(&sink);
  EXPECT_EQ(machine.MessageBoxW(u"Patch completed\nsecond line\n", u"KOA GXB4LTMW", MB_OK), 1);
  EXPECT_EQ(sink.str(), "MessageBox: KOA GXB4LTMW: Patch completed\\nsecond line\\n\n");
  ASSERT_EQ(machine.messageBoxes().size(), 1u);
  EXPECT_EQ(machine.messageBoxes()[0].text, u"Patch completed\nsecond line\n");
  const LocalTime now = machine.localTime();
  EXPECT_EQ((std::vector<int>{now.year, now.month, now.day, now.hour, now.minute, now.second}),
            (std::vector<int>{2026, 2, 3, 4, 5, 6}));
  EXPECT_EQ(machine.SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX), 0u);
  EXPECT_EQ(machine.errorMode(), 0x8001u);
  EXPECT_NE(machine.GetModuleHandleW(nullptr), 0);
}

}  // namespace
}  // namespace koa::sim
