// VROC drives next to drives on the other drivers: one run over all of
// them, and when the VROC walk runs at all, which depends on what the Intel
// controller's candidates yield before it.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/expected_text.h"
#include "tests/support/machine_run.h"

namespace koa::test::vroc {
namespace {

std::size_t scsiOpens(const MachineRun& run) {
  std::size_t n = 0;
  for (const auto& path : run.openedPaths()) n += path.rfind("\\\\.\\Scsi", 0) == 0;
  return n;
}

// The VROC server with the workstation's inbox drive (GXB3LTMW, activated at
// once) on its own NVMe controller, as \\.\PHYSICALDRIVE5.
nlohmann::json serverWithInboxDrive() {
  nlohmann::json machine = machineFile("examples/machines/vroc-server.json");
  const nlohmann::json workstation = machineFile("examples/machines/workstation.json");
  machine["drives"]["inbox-gxb3"] = workstation["drives"]["inbox-gxb3"];
  nlohmann::json controller = workstation["devices"][2];
  controller.erase("parent");
  nlohmann::json disk = workstation["devices"][3];
  disk["disk"]["deviceNumber"] = 5;
  machine["devices"].push_back(controller);
  machine["devices"].push_back(disk);
  return machine;
}

// The workstation (IRST RAID volume, an IRST non-RAID drive, inbox drives)
// with the VROC driver on \\.\Scsi2: serving one drive that the gate would
// take.
nlohmann::json workstationWithVrocPort() {
  nlohmann::json machine = machineFile("examples/machines/workstation.json");
  const nlohmann::json server = machineFile("examples/machines/vroc-server.json");
  machine["drives"]["vroc-member-1"] = server["drives"]["vroc-member-1"];
  machine["scsiPorts"].push_back(nlohmann::json::parse(
      R"({"port": 2, "vroc": {"passThrough": [{"diskId": 7, "pathId": 0, "drive": "vroc-member-1"}]}})"));
  return machine;
}

TEST(VrocMixedMachine, InboxAndVrocTargetsAreUpdatedInOneRunWithOneReport) {
  const MachineRun first = runOnMachine(serverWithInboxDrive());

  // 1602 from the VROC members outweighs the inbox drive's 0.
  EXPECT_EQ(first.exitCode, 1602);
  EXPECT_EQ(occurrences(first.log, "[Disk #"), 3u);
  const ShownDrive inbox{.model = padded("KOA NVMe SSD 1TB", 40), .serial = padded("KOA0000000000000101", 20),
                         .current = "GXB3LTMW"};
  EXPECT_NE(first.log.find(logBlock(3, inbox, 0)), std::string::npos) << first.log;
  // The two members and the final result.
  EXPECT_EQ(occurrences(first.log, "Return Code : 1602\nResult Details : Downloaded firmware successfully"), 3u);
  EXPECT_NE(first.log.find("[Final Result]\nReturn Code : 1602\n"), std::string::npos);
  EXPECT_EQ(first.drive("inbox-gxb3").runningRevision(), "GXB4LTMW");
  EXPECT_EQ(first.drive("vroc-member-1").revisionAfterReset(), "GXB4LTMW");
  EXPECT_EQ(first.drive("vroc-member-2").revisionAfterReset(), "GXB4LTMW");
  EXPECT_EQ(occurrences(first.standardOutput, " Driver : VROC Driver\n"), 2u);
  EXPECT_EQ(occurrences(first.standardOutput, " Driver : Inbox Driver\n"), 1u);
  EXPECT_EQ(first.machine->openHandleCount(), 0u);

  const MachineRun second = runOnMachine(first.state);

  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.log.find("[No Disk]\n"), std::string::npos);
  EXPECT_TRUE(second.requests("vroc.download").empty());
  EXPECT_TRUE(second.requests("inbox.download").empty());
}

TEST(VrocMixedMachine, AnIntelCandidateThatYieldsADriveSkipsTheVrocWalk) {
  const MachineRun run = runOnMachine(workstationWithVrocPort());

  EXPECT_EQ(scsiOpens(run), 0u);
  EXPECT_TRUE(run.requests("vroc.volumeCount").empty());
  EXPECT_EQ(run.drive("vroc-member-1").acceptedPieces(), 0u);
  EXPECT_EQ(occurrences(run.standardOutput, "VROC"), 0u);
  EXPECT_FALSE(run.requests("irst.download").empty());
}

TEST(VrocMixedMachine, AFirstIntelCandidateThatYieldsNothingRunsTheWalkOnce) {
  nlohmann::json machine = workstationWithVrocPort();
  const std::string controller = machine["devices"][7]["interfaces"][0]["path"];
  machine["faults"].push_back({{"action", "fail"}, {"device", controller}, {"request", "csmi.raidConfig"}, {"error", 31}});

  const MachineRun run = runOnMachine(machine);

  // The RAID volume's configuration cannot be read, so the walk runs after
  // it; the drive it finds keeps the walk from running after the next
  // candidate, whose own drive is identified all the same.
  EXPECT_NE(run.standardOutput.find("  [ERROR] CSMI GET RAID CONFIG IOCTL failed: 0x1F\n\n"
                             "NonRaidVROC\n\n---"),
            std::string::npos)
      << run.standardOutput;
  EXPECT_EQ(run.requests("vroc.volumeCount").size(), 1u);
  // The walk: Scsi0: and Scsi1: refuse the counts, Scsi2: answers (its open
  // clears their error 1); then the update opens Scsi2: once more.
  EXPECT_EQ(scsiOpens(run), 4u);
  EXPECT_EQ(run.drive("vroc-member-1").revisionAfterReset(), "GXB4LTMW");
  EXPECT_EQ(run.requests("irst.identify").size(), 1u);
  EXPECT_EQ(occurrences(run.standardOutput, " Driver : VROC Driver\n"), 1u);
}

}  // namespace
}  // namespace koa::test::vroc
