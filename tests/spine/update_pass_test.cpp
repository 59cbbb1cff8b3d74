// The update pass on whole machines: which drives are found in which order,
// which path updates each, that one target's failure stops neither the
// next target nor the run, and when the VROC walk runs at all. The VROC
// walk after the Intel controller's candidates is in
// tests/vroc/vroc_mixed_machine_test.cpp and vroc_machine_test.cpp; a
// member listed twice and updated twice in irst_end_to_end_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/expected_text.h"
#include "tests/support/machine_run.h"
#include "transfer/firmware_image.h"
#include "update/update_pass.h"

namespace koa::test {
namespace {

// The drives the activations went to, in order.
std::vector<std::string> activated(const MachineRun& run) {
  std::vector<std::string> drives;
  for (const auto& call : run.calls("DeviceIoControl")) {
    const std::string kind = call.value("request", "");
    if (kind == "inbox.activate" || kind == "irst.activate" || kind == "vroc.commit")
      drives.push_back(call.value("drive", ""));
  }
  return drives;
}

// The workstation's drives as the log shows them.
ShownDrive workstationDrive(const std::string& model, const std::string& serial, const std::string& current) {
  return {.model = padded(model, 40), .serial = padded(serial, 20), .current = current};
}

const ShownDrive kRaidA = workstationDrive("KOA NVMe SSD 1TB", "KOA0000000000000201", "GXB3LTMW");
const ShownDrive kRaidB = workstationDrive("KOA NVMe SSD 1TB", "KOA0000000000000202", "GXR4LTMW");
const ShownDrive kSingle = workstationDrive("KOA NVMe SSD 512GB", "KOA0000000000000203", "GXB2LTMW");
const ShownDrive kInbox = workstationDrive("KOA NVMe SSD 1TB", "KOA0000000000000101", "GXB3LTMW");

// The workstation's enumeration lists its inbox disks before the Intel
// controller; the controller's drives are updated first all the same, each
// drive by its own driver's requests, and each with the whole image.
TEST(UpdatePass, IntelControllerDrivesComeBeforeInboxDrivesAndEachGoesByItsOwnPath) {
  const MachineRun run = runOnMachine(machineFile("examples/machines/workstation.json"));

  EXPECT_EQ(activated(run), (std::vector<std::string>{"irst-raid-a", "irst-raid-b", "irst-single", "inbox-gxb3"}));
  for (const std::string drive : {"irst-raid-a", "irst-raid-b", "irst-single"}) {
    EXPECT_EQ(run.requests("irst.download", drive).size(), 512u) << drive;
    EXPECT_TRUE(run.requests("inbox.download", drive).empty()) << drive;
  }
  EXPECT_EQ(run.requests("inbox.download", "inbox-gxb3").size(), 512u);
  EXPECT_TRUE(run.requests("irst.download", "inbox-gxb3").empty());
  for (const std::string drive : {"irst-raid-a", "irst-raid-b", "irst-single", "inbox-gxb3"})
    EXPECT_EQ(run.state["drives"][drive]["committed"]["length"], 2097152) << drive;
  // Already on the image's revision, or another maker's: never a target.
  for (const std::string drive : {"inbox-gxb4", "system-disk"}) {
    EXPECT_EQ(run.drive(drive).acceptedPieces(), 0u) << drive;
    EXPECT_EQ(run.drive(drive).commitCount(), 0u) << drive;
  }
  EXPECT_NE(run.log.find(logBlock(1, kRaidA, 1602) + logBlock(2, kRaidB, 1602) + logBlock(3, kSingle, 1602) +
                         logBlock(4, kInbox, 0) + "\n[Final Result]\nReturn Code : 1602\n"),
            std::string::npos)
      << run.log;
  EXPECT_EQ(run.exitCode, 1602);
}

TEST(UpdatePass, AFailedTargetStopsNeitherTheNextTargetsNorTheRunAndKeepsItsOwnResult) {
  nlohmann::json machine = machineFile("examples/machines/workstation.json");
  const std::string controller = machine["devices"][7]["interfaces"][0]["path"];
  machine["faults"] = {{{"action", "returnCode"}, {"device", controller}, {"request", "irst.download"},
                        {"drive", "irst-raid-a"}, {"nth", 3}, {"returnCode", 1}}};

  const MachineRun run = runOnMachine(machine);

  // The refused piece ends that drive's download: nothing is activated on it.
  EXPECT_EQ(run.requests("irst.download", "irst-raid-a").size(), 3u);
  EXPECT_EQ(run.drive("irst-raid-a").commitCount(), 0u);
  EXPECT_EQ(run.drive("irst-raid-a").revisionAfterReset(), "GXB3LTMW");
  EXPECT_EQ(activated(run), (std::vector<std::string>{"irst-raid-b", "irst-single", "inbox-gxb3"}));
  for (const std::string drive : {"irst-raid-b", "irst-single", "inbox-gxb3"}) {
    EXPECT_EQ(run.drive(drive).revisionAfterReset(), "GXB4LTMW") << drive;
    EXPECT_EQ(run.state["drives"][drive]["committed"]["length"], 2097152) << drive;
  }
  EXPECT_NE(run.log.find(logBlock(1, kRaidA, 1) + logBlock(2, kRaidB, 1602) + logBlock(3, kSingle, 1602) +
                         logBlock(4, kInbox, 0) +
                         "\n[Final Result]\nReturn Code : 1\nResult Details : Patch Failed..\n"),
            std::string::npos)
      << run.log;
  EXPECT_EQ(run.exitCode, 1);
}

// The VROC driver answers for the Intel controller only: disks on the inbox
// driver never start its walk, whether their drive is identified or not,
// though a walk would find a drive here.
TEST(UpdatePass, InboxDisksNeverStartTheVrocWalk) {
  const nlohmann::json server = machineFile("examples/machines/vroc-server.json");
  for (const bool identifyFails : {false, true}) {
    SCOPED_TRACE(identifyFails ? "identify fails" : "identified");
    nlohmann::json machine = machineFile("tests/machines/inbox/one-drive.json");
    machine["drives"]["vroc-member-1"] = server["drives"]["vroc-member-1"];
    machine["scsiPorts"] = nlohmann::json::parse(
        R"([{"port": 2, "vroc": {"passThrough": [{"diskId": 7, "pathId": 0, "drive": "vroc-member-1"}]}}])");
    if (identifyFails)
      machine["faults"] = {{{"action", "fail"}, {"device", "\\\\.\\PHYSICALDRIVE1"}, {"request", "storage.identify"},
                            {"error", 1}}};

    const MachineRun run = runOnMachine(machine);

    for (const auto& path : run.openedPaths()) EXPECT_NE(path.rfind("\\\\.\\Scsi", 0), 0u) << path;
    EXPECT_EQ(run.drive("vroc-member-1").acceptedPieces(), 0u);
    EXPECT_EQ(run.drive("koa").revisionAfterReset(), identifyFails ? "GXB3LTMW" : "GXB4LTMW");
    EXPECT_EQ(run.exitCode, identifyFails ? 1 : 0);
  }
}

// What no machine can show: the enumerations only ever give inbox and IRST
// candidates, and the program reads each drive's result from the report,
// not the pass's own answer. A candidate of another kind is passed over (the
// queries left empty would throw if it reached one); without a target the
// pass answers 2, otherwise the last target's result, whatever came before.
TEST(UpdatePass, CandidatesOfOtherKindsArePassedOverAndThePassAnswersTheLastResult) {
  loadImage();
  UpdateOperations operations;
  operations.findIntelRaidController = [](RaidController&) { return false; };
  DriveList candidates = {makeCandidate(DriverKind::VrocRaid, u"ODD", 1),
                          makeCandidate(static_cast<DriverKind>(9), u"ODDER", 1)};
  operations.enumerateInboxDrives = [&candidates](DriveDiscovery& discovery) {
    discovery.candidates = candidates;
    return true;
  };
  DriveDiscovery discovery;
  DriveList targets;
  EXPECT_EQ(runUpdatePass(discovery, targets, imageRevision, operations), 2);
  EXPECT_TRUE(discovery.drives.empty());
  EXPECT_TRUE(targets.empty());

  candidates = {makeCandidate(DriverKind::Inbox, u"PD0", -1), makeCandidate(DriverKind::Inbox, u"PD1", -1)};
  operations.identifyInboxDrive = [](DriveRecord candidate, DriveList& drives) {
    candidate.serialNumber = candidate.devicePath;
    candidate.firmwareRevision = u"GXB3LTMW";
    drives.push_back(candidate);
  };
  for (const auto& [first, last] : {std::pair{5, 0}, std::pair{0, 5}}) {
    operations.updateInboxDrive = [first, last](const DriveRecord& target, const std::uint32_t&) {
      return target.devicePath == u"PD0" ? first : last;
    };
    DriveDiscovery again;
    targets.clear();
    EXPECT_EQ(runUpdatePass(again, targets, imageRevision, operations), last);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].updateResult, first);
    EXPECT_EQ(targets[1].updateResult, last);
  }
}

}  // namespace
}  // namespace koa::test
