// "Update, then look before the reboot": the updater runs, the machine as it
// is before the reset is written, and koa-inventory on it sees each new image
// that waits for the reset, on every route, read-only; after the reset every
// drive runs the package's revision. A refused read is "unknown", never a
// failure.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/bytes.h"
#include "tests/support/firmware_slot_log_requests.h"
#include "tests/support/inventory_run.h"
#include "tests/support/machine_run.h"

namespace koa::test {
namespace {

// Each drive's state and pending revision ("-": unknown, "": nothing pending), by serial number.
std::map<std::string, std::string> states(const MachineRun& run) {
  std::map<std::string, std::string> byDrive;
  const nlohmann::json document = nlohmann::json::parse(run.standardOutput);
  for (const auto& drive : document["drives"]) {
    const auto& pending = drive["pendingActivation"];
    std::string next = "-";
    if (!pending.is_null()) next = pending["nextRevision"].is_null() ? "" : pending["nextRevision"].get<std::string>();
    byDrive[drive["serial"]] = drive["state"].get<std::string>() + " " + next;
  }
  return byDrive;
}

struct Case {
  const char* machine;
  std::map<std::string, std::string> beforeReset;
  std::string detectBeforeReset;
};

TEST(InventoryPending, EachRouteShowsTheImageThatWaitsForTheResetAndTheResetMakesItRun) {
  const Case cases[] = {
      // IRST members and non-RAID drive activate at the reset; the inbox drive at once.
      {"examples/machines/workstation.json",
       {{"KOA0000000000000201", "pendingReboot GXB4LTMW"}, {"KOA0000000000000202", "pendingReboot GXB4LTMW"},
        {"KOA0000000000000203", "pendingReboot GXB4LTMW"}, {"KOA0000000000000101", "runsPackageRevision "},
        {"KOA0000000000000102", "runsPackageRevision "}},
       "koa-update GXB4LTMW: 2 drive(s) up to date, 3 pending reboot\n"},
      {"examples/machines/inbox-power-cycle.json",
       {{"KOA0000000000000301", "pendingReboot GXB4LTMW"}},
       "koa-update GXB4LTMW: 0 drive(s) up to date, 1 pending reboot\n"},
      {"examples/machines/vroc-server.json",
       {{"KOA0000000000000301", "pendingReboot GXB4LTMW"}, {"KOA0000000000000302", "pendingReboot GXB4LTMW"}},
       "koa-update GXB4LTMW: 0 drive(s) up to date, 2 pending reboot\n"},
      {"examples/machines/vroc-pass-through.json",
       {{"KOA0000000000000303", "pendingReboot GXB4LTMW"}, {"KOA0000000000000304", "pendingReboot GXB4LTMW"}},
       "koa-update GXB4LTMW: 0 drive(s) up to date, 2 pending reboot\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.machine);
    const auto directory = makeTemporaryDirectory();
    RunOptions options = separateProcess();
    options.environment["KOA_SIM_STATE_NOW_OUT"] = (directory / "now.json").string();
    const MachineRun update = runOnMachineFile(sourcePath(c.machine), options);
    const nlohmann::json now = nlohmann::json::parse(readFile(directory / "now.json"));

    const MachineRun before = runInventory(now, {"/json"});
    EXPECT_EQ(states(before), c.beforeReset);
    EXPECT_EQ(before.exitCode, 0);
    const MachineRun detect = runInventory(now, {"/detect"});
    EXPECT_EQ(detect.standardOutput, c.detectBeforeReset);
    EXPECT_EQ(detect.exitCode, 0);

    const MachineRun after = runInventory(update.state, {"/json"});
    for (const auto& [serial, state] : states(after))
      EXPECT_EQ(state.substr(0, state.find(' ')), "runsPackageRevision") << serial;

    // Each read exactly as the driver takes it; the inbox get-info as the updater sends it.
    std::size_t reads = 0;
    for (const auto& call : before.trace()) {
      const std::string kind = call.value("request", "");
      const std::vector<std::uint8_t> input = inputOf(call);
      std::vector<std::uint8_t> expected;
      if (kind == "irst.getLogPage") expected = irstFirmwareSlotLogRequest(input.at(29));
      if (kind == "vroc.getLogPage") expected = vrocFirmwareSlotLogRequest(le32(input, 20));
      if (kind == "inbox.getInfo") {
        const auto updaters = update.requests("inbox.getInfo", call.value("drive", ""));
        if (!updaters.empty()) expected = inputOf(updaters.front());
      }
      if (expected.empty()) continue;
      EXPECT_EQ(input, expected) << kind;
      ++reads;
    }
    EXPECT_GE(reads, c.beforeReset.size() - 1);
  }
}

// A driver that refuses the log read leaves the pending state unknown: the
// drive is classified by the revision it runs, and the run still succeeds.
TEST(InventoryPending, ARefusedLogReadIsUnknownAndTheDriveFollowsItsRevision) {
  const auto directory = makeTemporaryDirectory();
  RunOptions options = separateProcess();
  options.environment["KOA_SIM_STATE_NOW_OUT"] = (directory / "now.json").string();
  (void)runOnMachineFile(sourcePath("examples/machines/workstation.json"), options);
  nlohmann::json now = nlohmann::json::parse(readFile(directory / "now.json"));
  const std::string controller = "\\\\?\\pci#ven_8086&dev_282a&subsys_86961043&rev_20#3&11583659&0&b8#"
                                 "{2accfe60-c130-11d2-b082-00a0c91efb8b}";
  now["faults"] = {{{"action", "fail"}, {"device", controller}, {"request", "irst.getLogPage"},
                    {"drive", "irst-raid-b"}, {"error", 1}},
                   {{"action", "returnCode"}, {"device", controller}, {"request", "irst.getLogPage"},
                    {"drive", "irst-single"}, {"returnCode", 1}}};

  const MachineRun run = runInventory(now, {"/json"});
  const auto byDrive = states(run);
  EXPECT_EQ(byDrive.at("KOA0000000000000201"), "pendingReboot GXB4LTMW");
  EXPECT_EQ(byDrive.at("KOA0000000000000202"), "needsUpdate -");
  EXPECT_EQ(byDrive.at("KOA0000000000000203"), "needsUpdate -");
  EXPECT_EQ(run.exitCode, 1);
  const MachineRun detect = runInventory(now, {"/detect"});
  EXPECT_EQ(detect.standardOutput, "");
  EXPECT_EQ(detect.exitCode, 0);
}

}  // namespace
}  // namespace koa::test
