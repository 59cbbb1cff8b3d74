// koa-inventory's answers as a person, a script and a deployment tool's
// requirement and detection rules read them: the table, the document, the
// detection line and the count, their exit codes, and "could not look".
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/expected_text.h"
#include "tests/support/inventory_run.h"
#include "tests/support/machine_run.h"

namespace koa::test {
namespace {

const std::string kController =
    "\\\\?\\pci#ven_8086&dev_282a&subsys_86961043&rev_20#3&11583659&0&b8#{2accfe60-c130-11d2-b082-00a0c91efb8b}";

// Every state, a member of two volumes, another maker's drive and a SATA
// disk behind the Intel controller, whose Identify the controller refuses.
TEST(InventoryModes, TableShowsEveryDriveOnceWithItsStateAndTheCandidateThatGaveNoDrive) {
  const nlohmann::json machine = machineFile("tests/machines/inventory/mixed.json");
  const MachineRun run = runInventory(machine);
  const std::string common = ", VID 0xD5A7, granularity 1, active slot 2, nothing pending, " + kController + "\n";
  const std::string twice = "     note: listed 2 times by discovery (a member of more than one volume); shown once\n";
  EXPECT_EQ(run.standardOutput,
            "koa-inventory: drives for the package of GXB4LTMW\n"
            "  1. needs the update: KOA NVMe SSD 1TB, serial KOA0000000000000201, GXB3LTMW, IRST RAID member" +
                common + twice +
                "  2. needs the update: KOA NVMe SSD 1TB, serial KOA0000000000000202, GXR4LTMW, IRST RAID member" +
                common + twice +
                "  3. another revision: KOA NVMe SSD 512GB, serial KOA0000000000000203, GXC1LTMW, IRST non-RAID" +
                common +
                "  4. another maker's drive: Other Maker NVMe 1TB, serial OTH0000000000000301, 5C2QEXM7, "
                "IRST non-RAID, VID 0x1AB3, granularity 1, active slot 1, nothing pending, " +
                kController +
                "\n"
                "  5. needs the update: KOA NVMe SSD 1TB, serial KOA0000000000000101, GXB3LTMW, inbox, VID 0xD5A7, "
                "granularity 1, active slot 2, nothing pending, \\\\.\\PHYSICALDRIVE1\n"
                "  6. runs GXB4LTMW: KOA NVMe SSD 2TB, serial KOA0000000000000102, GXB4LTMW, inbox, VID 0xD5A7, "
                "granularity 8, active slot 2, nothing pending, \\\\.\\PHYSICALDRIVE2\n"
                "  -  not identified: IRST non-RAID, " +
                kController +
                ", path id 5: gave no drive; Windows error 55 (0x37)\n"
                "Summary: 3 need the update, 1 run GXB4LTMW, 0 pending reboot, 1 on another revision, "
                "1 of another maker, 1 not identified.\n");
  EXPECT_EQ(run.standardError, "");
  EXPECT_EQ(run.exitCode, 1);

  const nlohmann::json document = nlohmann::json::parse(runInventory(machine, {"/json"}).standardOutput);
  EXPECT_EQ(document["counts"], nlohmann::json::parse(R"({"needsUpdate": 3, "runsPackageRevision": 1,
      "pendingReboot": 0, "otherRevision": 1, "otherMaker": 1, "notIdentified": 1})"));
  EXPECT_EQ(document["notIdentified"][0]["windowsError"], 55);
  EXPECT_EQ(document["drives"][0]["timesListed"], 2);
  EXPECT_EQ(document["drives"][3]["pciVendorId"], "0x1AB3");
  EXPECT_EQ(document["drives"][4]["pendingActivation"],
            nlohmann::json::parse(R"({"activeSlot": 2, "nextSlot": 0, "nextRevision": null})"));

  // A VROC member whose Identify wrote nothing keeps the request's fill: not a drive.
  nlohmann::json server = machineFile("examples/machines/vroc-server.json");
  server["faults"] = {{{"action", "fail"}, {"device", "\\\\.\\Scsi2:"}, {"request", "vroc.identify"},
                       {"drive", "vroc-member-2"}, {"error", 1117}}};
  const nlohmann::json unfilled = nlohmann::json::parse(runInventory(server, {"/json"}).standardOutput);
  ASSERT_EQ(unfilled["drives"].size(), 1u);
  EXPECT_EQ(unfilled["drives"][0]["serial"], "KOA0000000000000301");
  const nlohmann::json& last = unfilled["notIdentified"].back();
  EXPECT_EQ(last["route"], "vrocRaidMember");
  EXPECT_EQ(last["windowsError"], nullptr);
  EXPECT_EQ(last["reason"], "the VROC driver's Identify came back with nothing written");
}

// What each mode writes where, and its exit code, on a machine with drives
// that need the update, one where none does, one without the maker's drives,
// and the VROC server, whose walk writes lines of its own.
TEST(InventoryModes, EachModeAnswersOnItsOwnChannelsWithItsExitCode) {
  struct Case {
    const char* machine;
    const char* mode;
    std::string standardOutput;  // "{": a JSON document
    int exitCode;
  };
  const std::string none = "koa-update GXB4LTMW: 0 drive(s) up to date, 0 pending reboot\n";
  const Case cases[] = {
      {"examples/machines/workstation.json", "/detect", "", 0},
      {"examples/machines/workstation.json", "/require", "4\n", 0},
      {"examples/machines/workstation.json", "/json", "{", 1},
      {"examples/machines/empty.json", "/detect", none, 0},
      {"examples/machines/empty.json", "/require", "0\n", 0},
      {"examples/machines/empty.json", "/json", "{", 0},
      {"examples/machines/vroc-server.json", "/detect", "", 0},
      {"examples/machines/vroc-server.json", "/require", "2\n", 0},
      {"examples/machines/vroc-server.json", "/json", "{", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.machine) + " " + c.mode);
    const MachineRun run = runInventory(machineFile(c.machine), {c.mode});
    if (c.standardOutput == "{") {
      // One document and nothing else: discovery's own lines are its messages.
      const nlohmann::json document = nlohmann::json::parse(run.standardOutput);
      EXPECT_EQ(document["complete"], true);
      if (std::string(c.machine).find("vroc") != std::string::npos) {
        const auto& messages = document["messages"];
        EXPECT_NE(std::find(messages.begin(), messages.end(), "RaidVROC"), messages.end()) << messages.dump();
      }
    } else {
      EXPECT_EQ(run.standardOutput, c.standardOutput);
    }
    EXPECT_EQ(run.standardError, "");
    EXPECT_EQ(run.exitCode, c.exitCode);
  }
}

// The document names the machine as Windows does, in the host name's full
// length and letter case, read into a buffer that grows; a read that fails
// leaves the name out and changes nothing else.
TEST(InventoryModes, JsonNamesTheMachineOrLeavesTheNameOutWhenWindowsDoesNotGiveIt) {
  nlohmann::json machine = machineFile("examples/machines/workstation.json");
  machine["computerName"] = "Build-Agent-0042-WestEurope";
  const MachineRun named = runInventory(machine, {"/json"});
  EXPECT_EQ(nlohmann::json::parse(named.standardOutput)["machineName"], "Build-Agent-0042-WestEurope");
  const auto read = std::find_if(named.trace().begin(), named.trace().end(), [](const nlohmann::json& call) {
    return call.value("op", "") == "GetComputerNameExW";
  });
  ASSERT_NE(read, named.trace().end());

  machine["faults"] = {{{"action", "fail"}, {"call", (*read)["seq"]}, {"error", 1}}};
  const MachineRun unnamed = runInventory(machine, {"/json"});
  nlohmann::json document = nlohmann::json::parse(unnamed.standardOutput);
  EXPECT_FALSE(document.contains("machineName")) << document.dump();
  document["machineName"] = "Build-Agent-0042-WestEurope";
  EXPECT_EQ(document, nlohmann::json::parse(named.standardOutput));
  EXPECT_EQ(unnamed.exitCode, named.exitCode);
  EXPECT_EQ(unnamed.standardError, "");
}

// No administrator rights, a walk that stopped at a disk it could not open,
// one of the maker's NVMe disks that could not be identified, a refused
// command line: the same third exit code in every mode, the reason
// on standard error, never the detection line or a count.
TEST(InventoryModes, CouldNotLookIsTheThirdExitCodeInEveryModeAndNeverDone) {
  const nlohmann::json workstation = machineFile("examples/machines/workstation.json");
  nlohmann::json unelevated = workstation;
  unelevated["elevated"] = false;
  nlohmann::json inboxWalkStops = machineFile("examples/machines/inbox-granularity-8.json");
  inboxWalkStops["faults"] = {{{"action", "failOpen"}, {"path", "\\\\.\\PHYSICALDRIVE1"}, {"error", 32}}};
  nlohmann::json intelWalkStops = machineFile("tests/machines/inventory/mixed.json");
  for (const auto& device : intelWalkStops["devices"])
    if (device["instanceId"].get<std::string>().find("PROD_HDD_2TB") != std::string::npos)
      intelWalkStops["faults"] = {{{"action", "failOpen"}, {"path", device["interfaces"][0]["path"]}, {"error", 5}}};
  ASSERT_TRUE(intelWalkStops.contains("faults"));
  // Both of the maker's disks refuse the open that Identify needs.
  const nlohmann::json makerDisksUnread = machineFile("tests/windows/machines/refused-open-physical-drives.json");
  // The maker's disk opens but gives no device number: no candidate at all.
  nlohmann::json makerDiskUnnumbered = machineFile("examples/machines/inbox-granularity-8.json");
  makerDiskUnnumbered["faults"] = {
      {{"action", "fail"}, {"device", "\\\\.\\PHYSICALDRIVE1"}, {"request", "storage.deviceNumber"}, {"error", 1}}};

  const std::pair<const nlohmann::json*, std::string> machines[] = {
      {&unelevated, "koa-inventory: koa-inventory must run with administrator rights; no drive was opened\n"},
      {&inboxWalkStops, "koa-inventory: the walk of the maker's NVMe disks stopped before its end\n"},
      {&intelWalkStops, "koa-inventory: the walk of the disks behind the Intel controller stopped before its end\n"},
      {&makerDisksUnread,
       "koa-inventory: the maker's NVMe disk \\\\.\\PHYSICALDRIVE7 could not be identified (Windows error 5)\n"
       "koa-inventory: the maker's NVMe disk \\\\.\\PHYSICALDRIVE8 could not be identified (Windows error 32)\n"},
      {&makerDiskUnnumbered,
       "koa-inventory: the maker's NVMe disk SCSI\\DISK&VEN_NVME&PROD_KOA_NVME_SSD_1TB\\5&2C3D4E5F&0&000000 was left "
       "out of the walk: its instance identifier, interface or device number could not be read\n"},
  };
  for (const auto& [machine, reason] : machines) {
    for (const char* mode : {"", "/json", "/detect", "/require"}) {
      SCOPED_TRACE(reason + mode);
      const std::vector<std::string> arguments = *mode ? std::vector<std::string>{mode} : std::vector<std::string>{};
      const MachineRun run = runInventory(*machine, arguments);
      EXPECT_EQ(run.exitCode, 2);
      EXPECT_EQ(run.standardError, reason);
      const std::string m = mode;
      if (m == "/detect" || m == "/require") {
        EXPECT_EQ(run.standardOutput, "");
      } else if (m == "/json") {
        EXPECT_EQ(nlohmann::json::parse(run.standardOutput)["complete"], false);
      } else {
        for (std::size_t line = 0; line < reason.size(); line = reason.find('\n', line) + 1)
          EXPECT_NE(run.standardOutput.find("Incomplete: " + reason.substr(line + 15, reason.find('\n', line) - line - 14)),
                    std::string::npos)
              << run.standardOutput;
      }
    }
  }
  for (const std::vector<std::string>& refused : {std::vector<std::string>{"/JSON"}, {"/json", "/detect"}, {"/s"}}) {
    const MachineRun run = runInventory(workstation, refused);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(run.standardError.rfind("Usage: koa-inventory [/json | /detect | /require]\n", 0), 0u)
        << run.standardError;
  }
}

}  // namespace
}  // namespace koa::test
