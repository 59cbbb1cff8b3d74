// The Linux program on simulated machines with an Intel RST controller:
// what it prints, logs and returns, what it sends, and what the drives end
// up running.
#include <gtest/gtest.h>

#include "tests/support/expected_text.h"
#include "tests/support/irst_machine.h"
#include "tests/support/machine_run.h"

namespace koa::test {
namespace {

constexpr const char* kImageRevision = "GXB4LTMW";

// A drive of these machines as the program shows it: the maker's 1 TB model.
ShownDrive shown(bool raid, const std::string& serial, const std::string& current) {
  return {.driver = "IRST", .raid = raid, .model = padded("KOA NVMe SSD 1TB", 40), .serial = padded(serial, 20),
          .current = current, .updated = kImageRevision};
}

std::string irstBlock(bool raid, const std::string& serial, const std::string& current) {
  return displayBlock(shown(raid, serial, current));
}

const std::string kDownloadPassed = "\n  [PASS] Firmware download succeeded.\n";
const std::string kActivationPassed = "  [PASS] Firmware activation succeeded.\n\n";
const std::string kPowerCycle = "  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n";

IrstMachine raidOfTwo(const std::string& activation = "immediate") {
  IrstMachine machine;
  machine.drive("member-a", "KOA-RAID-A", "GXB3LTMW", activation)
      .drive("member-b", "KOA-RAID-B", "GXR4LTMW", activation)
      .controller(kIntelControllerPath, kRstDescription)
      .irstDrive(0, "member-a", 0)
      .irstDrive(1, "member-b", 0)
      .raidVolume("v1");
  return machine;
}

IrstMachine singleNonRaid(const std::string& activation = "immediate") {
  IrstMachine machine;
  machine.drive("single", "KOA-SINGLE", "GXB2LTMW", activation)
      .controller(kIntelControllerPath, kRstDescription)
      .irstDrive(2, "single")
      .nonRaidDisk("d2", "Bus Number 2, Target Id 0, LUN 0");
  return machine;
}

TEST(IrstEndToEnd, RaidVolumeOfTwoMembersIsIdentifiedAndUpdated) {
  const MachineRun run = runOnMachine(raidOfTwo().description(), separateProcess());

  EXPECT_EQ(runBody(run.standardOutput), irstBlock(true, "KOA-RAID-A", "GXB3LTMW") + kDownloadPassed +
                                             kActivationPassed + irstBlock(true, "KOA-RAID-B", "GXR4LTMW") +
                                             kDownloadPassed + kActivationPassed + "\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.standardOutput.find(" >> KOA Ended (Return Code : 0)"), std::string::npos);

  ASSERT_EQ(run.requests("csmi.raidConfig").size(), 1u);
  ASSERT_EQ(run.requests("irst.identify", "member-a").size(), 1u);
  ASSERT_EQ(run.requests("irst.identify", "member-b").size(), 1u);
  EXPECT_EQ(inputOf(run.requests("irst.identify", "member-a")[0])[29], 0);
  EXPECT_EQ(inputOf(run.requests("irst.identify", "member-b")[0])[29], 1);
  for (const std::string drive : {"member-a", "member-b"}) {
    EXPECT_EQ(run.requests("irst.download", drive).size(), 512u) << drive;
    EXPECT_EQ(run.requests("irst.activate", drive).size(), 1u) << drive;
    EXPECT_EQ(run.revision(drive), kImageRevision) << drive;
    EXPECT_EQ(run.state["drives"][drive]["committed"], run.state["drives"][drive]["received"]) << drive;
  }
  // The exclusive CSMI handle is closed before the members are identified:
  // no open is refused for sharing.
  for (const auto& open : run.calls("CreateFileW")) EXPECT_NE(open["result"].get<std::int64_t>(), -1) << open.dump();
  EXPECT_EQ(run.handlesLeftOpen(), 0);
  EXPECT_EQ(run.deviceSetsLeftOpen(), 0);
  EXPECT_NE(run.log.find(logBlock(2, shown(true, "KOA-RAID-B", "GXR4LTMW"), 0)), std::string::npos) << run.log;
}

TEST(IrstEndToEnd, NonRaidDriveIsAddressedByItsBusNumber) {
  const MachineRun run = runOnMachine(singleNonRaid().description(), separateProcess());

  EXPECT_EQ(runBody(run.standardOutput),
            irstBlock(false, "KOA-SINGLE", "GXB2LTMW") + kDownloadPassed + kActivationPassed + "\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.requests("csmi.raidConfig").empty());
  const auto identify = run.requests("irst.identify", "single");
  ASSERT_EQ(identify.size(), 1u);
  EXPECT_EQ(inputOf(identify[0])[29], 2);
  const auto pieces = run.requests("irst.download", "single");
  ASSERT_EQ(pieces.size(), 512u);
  for (const auto& piece : pieces) ASSERT_EQ(inputOf(piece)[29], 2);
  EXPECT_EQ(inputOf(run.requests("irst.activate", "single")[0])[29], 2);
  EXPECT_EQ(run.revision("single"), kImageRevision);
}

TEST(IrstEndToEnd, ALocationTextWithoutABusNumberAddressesNoDriveRatherThanTheDriveOnBusZero) {
  // "Bus Number " with no digit after it is no bus; read as 0 it would send
  // the RAID member on path 0 a second update through the non-RAID route.
  IrstMachine machine = raidOfTwo();
  machine.drive("single", "KOA-SINGLE", "GXB2LTMW").irstDrive(2, "single").nonRaidDisk("d2", "Bus Number , Target Id 0, LUN 0");
  const MachineRun run = runOnMachine(machine.description(), separateProcess());

  EXPECT_EQ(run.requests("irst.download", "member-a").size(), 512u);
  EXPECT_EQ(run.requests("irst.activate", "member-a").size(), 1u);
  EXPECT_TRUE(run.requests("irst.download", "single").empty());
  EXPECT_EQ(occurrences(run.log, "Serial Number : " + padded("KOA-RAID-A", 20)), 1u) << run.log;
  EXPECT_EQ(run.revision("member-a"), kImageRevision);
  EXPECT_EQ(run.revision("single"), "GXB2LTMW");
}

// The disks below the controller ask for their detail again whatever size a
// failed call names. A driver that answers ERROR_INSUFFICIENT_BUFFER once,
// naming the size it was just given, must not cost the non-RAID drive its
// update: the RAID members would carry the exit code and nothing would tell.
TEST(IrstEndToEnd, AOneOffInsufficientBufferOnANonRaidDisksDetailIsAskedPast) {
  IrstMachine machine = raidOfTwo("reset");
  machine.drive("single", "KOA-SINGLE", "GXB2LTMW")
      .irstDrive(2, "single")
      .nonRaidDisk("d2", "Bus Number 2, Target Id 0, LUN 0");
  RunOptions inProcess;
  inProcess.traceBuffers = false;
  std::uint64_t filling = 0;
  for (const auto& call : runOnMachine(machine.description(), inProcess).calls("SetupDiGetDeviceInterfaceDetailW"))
    if (call["detailGiven"] == true && call.value("path", "") == IrstMachine::diskPath("d2")) filling = call["seq"];
  ASSERT_NE(filling, 0u);
  nlohmann::json faulty = machine.description();
  faulty["faults"].push_back({{"action", "fail"}, {"call", filling}, {"error", ERROR_INSUFFICIENT_BUFFER}});
  const MachineRun run = runOnMachine(faulty, inProcess);

  ASSERT_TRUE(run.trace()[filling - 1].contains("fault"));
  EXPECT_EQ(run.exitCode, 1602);
  EXPECT_NE(run.log.find(logBlock(3, shown(false, "KOA-SINGLE", "GXB2LTMW"), 0)), std::string::npos) << run.log;
  EXPECT_EQ(run.revision("single"), kImageRevision);
  EXPECT_EQ(run.state["drives"]["single"]["committed"], run.state["drives"]["single"]["received"]);
}

TEST(IrstEndToEnd, DriveThatActivatesAtResetEndsWith1602AndTheRebootTexts) {
  const MachineRun run = runOnMachine(singleNonRaid("reset").description(), separateProcess({}));

  EXPECT_EQ(runBody(run.standardOutput),
            irstBlock(false, "KOA-SINGLE", "GXB2LTMW") + kDownloadPassed + kPowerCycle + "\n");
  EXPECT_EQ(run.exitCode, 1602 % 256);
  EXPECT_NE(run.standardOutput.find(" >> KOA Ended (Return Code : 1602)"), std::string::npos);
  EXPECT_NE(run.log.find("Return Code : 1602\nResult Details : Downloaded firmware successfully, but firmware "
                         "activation requires reboot.\n"),
            std::string::npos);
  EXPECT_NE(run.standardError.find("Downloaded firmware successfully, \\nbut firmware activation requires reboot."),
            std::string::npos)
      << run.standardError;
  // The new image waits in the slot for the power cycle.
  EXPECT_EQ(run.state["drives"]["single"]["committed"], run.state["drives"]["single"]["received"]);
  EXPECT_EQ(run.revision("single"), kImageRevision);
}

TEST(IrstEndToEnd, ActivationStatusesGiveTheirMessagesAndExitCodes) {
  struct Case {
    unsigned status;
    std::string message;
  };
  const std::vector<Case> cases{
      {1, "  [ERROR] Firmware activate failed: error returned\n\n"},
      {2, "  [ERROR] Firmware activate parameter error: srbControl->ReturnCode 2\n\n"},
      {6, "  [ERROR] Firmware activate failed: invalid slot number\n\n"},
      {7, "  [ERROR] Firmware activate failed: invalid firmware image\n\n"},
      {16, "  [ERROR] Firmware activate failed: error returned\n\n"},
      {48, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 48\n\n"},
  };
  for (const Case& c : cases) {
    IrstMachine machine = singleNonRaid();
    machine.fault({{"action", "returnCode"}, {"request", "irst.activate"}, {"returnCode", c.status}});
    const MachineRun run = runOnMachine(machine.description(), separateProcess());
    EXPECT_EQ(runBody(run.standardOutput),
              irstBlock(false, "KOA-SINGLE", "GXB2LTMW") + kDownloadPassed + c.message + "\n")
        << c.status;
    EXPECT_EQ(run.exitCode, 1) << c.status;
    EXPECT_NE(run.log.find("Return Code : 1\nResult Details : Patch Failed.\n"), std::string::npos) << c.status;
    EXPECT_EQ(run.revision("single"), "GXB2LTMW") << c.status;
    EXPECT_FALSE(run.state["drives"]["single"].contains("committed")) << c.status;
  }
}

TEST(IrstEndToEnd, DriveWithoutSlotTwoRefusesTheActivation) {
  // One writable slot only: slot 2 does not exist on this drive.
  nlohmann::json doc = singleNonRaid().description();
  doc["drives"]["single"]["slots"] = {{{"number", 1u}, {"revision", "GXB2LTMW"}}};
  doc["drives"]["single"]["activeSlot"] = 1u;
  const MachineRun run = runOnMachine(doc, separateProcess());
  EXPECT_NE(run.standardOutput.find(kDownloadPassed + "  [ERROR] Firmware activate failed: invalid slot number\n\n"),
            std::string::npos)
      << run.standardOutput;
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.revision("single"), "GXB2LTMW");
}

TEST(IrstEndToEnd, RefusedPieceEndsTheDownloadWithoutActivation) {
  IrstMachine machine = singleNonRaid();
  machine.fault({{"action", "returnCode"}, {"request", "irst.download"}, {"nth", 3u}, {"returnCode", 1u}});
  const MachineRun run = runOnMachine(machine.description(), separateProcess());

  EXPECT_EQ(runBody(run.standardOutput), irstBlock(false, "KOA-SINGLE", "GXB2LTMW") +
                                             "  [ERROR] Firmware download failed: srbControl->ReturnCode 1\n"
                                             "\n  [FAIL] Firmware download failed.\n\n");
  EXPECT_EQ(run.requests("irst.download").size(), 3u);
  EXPECT_TRUE(run.requests("irst.activate").empty());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.revision("single"), "GXB2LTMW");
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

TEST(IrstEndToEnd, FailedPieceCallEndsTheDownloadWithoutActivation) {
  IrstMachine machine = singleNonRaid();
  machine.fault({{"action", "fail"}, {"request", "irst.download"}, {"nth", 2u}, {"error", 1117u}});
  const MachineRun run = runOnMachine(machine.description(), separateProcess());

  EXPECT_EQ(runBody(run.standardOutput), irstBlock(false, "KOA-SINGLE", "GXB2LTMW") +
                                             "  [ERROR] Firmware download IOCTL failed: 0x45D\n"
                                             "\n  [FAIL] Firmware download failed.\n\n");
  EXPECT_EQ(run.requests("irst.download").size(), 2u);
  EXPECT_TRUE(run.requests("irst.activate").empty());
  EXPECT_EQ(run.exitCode, 1);
}

TEST(IrstEndToEnd, ControllerThatCannotBeOpenedForTheUpdateGivesFive) {
  IrstMachine machine = singleNonRaid();
  // The probe, the identify open; the third open is the update's.
  machine.fault({{"action", "failOpen"}, {"path", kIntelControllerPath}, {"nth", 3u}, {"error", 5u}});
  const MachineRun run = runOnMachine(machine.description(), separateProcess());
  EXPECT_EQ(runBody(run.standardOutput),
            irstBlock(false, "KOA-SINGLE", "GXB2LTMW") + "  [ERROR] Failed to get disk handle: 0x5\n\n\n");
  EXPECT_TRUE(run.requests("irst.download").empty());
  EXPECT_NE(run.log.find("Return Code : 5\n"), std::string::npos);
}

TEST(IrstEndToEnd, GranularityThatDoesNotDivideTheImageSendsAShorterLastPiece) {
  IrstMachine machine;
  machine.drive("single", "KOA-SINGLE", "GXB2LTMW", "immediate", 3)
      .controller(kIntelControllerPath, kRstDescription)
      .irstDrive(2, "single")
      .nonRaidDisk("d2", "Bus Number 2, Target Id 0, LUN 0");
  const MachineRun run = runOnMachine(machine.description(), separateProcess());
  const auto pieces = run.requests("irst.download", "single");
  ASSERT_EQ(pieces.size(), 171u);
  EXPECT_EQ(pieces.back()["inSize"], 88 + 8192);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.revision("single"), kImageRevision);
  EXPECT_EQ(run.state["drives"]["single"]["committed"]["length"], 2097152);
}

TEST(IrstEndToEnd, ControllerProbeRaisesOnlyThePathToUpperCase) {
  IrstMachine mixedCase;
  const std::string path =
      "\\\\?\\PCI#Ven_8086&Dev_282A&SUBSYS_86961043&REV_20#3&11583659&0&B8#{2accfe60-c130-11d2-b082-00a0c91efb8b}";
  mixedCase.drive("single", "KOA-SINGLE", "GXB2LTMW")
      .controller(path, kRstDescription)
      .irstDrive(2, "single")
      .nonRaidDisk("d2", "Bus Number 2, Target Id 0, LUN 0");
  const MachineRun found = runOnMachine(mixedCase.description(), separateProcess());
  EXPECT_EQ(found.exitCode, 0);
  ASSERT_EQ(found.requests("irst.activate").size(), 1u);
  // The controller is opened by the path as SetupAPI gave it.
  EXPECT_EQ(found.requests("irst.activate")[0]["path"], path);

  for (const std::string description : {"Intel(R) Chipset SATA/PCIe rst Premium Controller",
                                        "Intel(R) RST Premium controller", "intel(R) RAID Controller"}) {
    IrstMachine machine;
    machine.drive("single", "KOA-SINGLE", "GXB2LTMW")
        .controller(kIntelControllerPath, description)
        .irstDrive(2, "single")
        .nonRaidDisk("d2", "Bus Number 2, Target Id 0, LUN 0");
    const MachineRun run = runOnMachine(machine.description(), separateProcess());
    EXPECT_TRUE(run.requests("irst.identify").empty()) << description;
    EXPECT_EQ(run.revision("single"), "GXB2LTMW") << description;
    EXPECT_EQ(run.exitCode, 1) << description;
  }
}

TEST(IrstEndToEnd, AhciControllerIsSkippedForTheRstController) {
  const std::string ahciPath =
      "\\\\?\\pci#ven_8086&dev_a352&subsys_86941043&rev_10#3&11583659&0&b9#{2accfe60-c130-11d2-b082-00a0c91efb8b}";
  IrstMachine machine;
  machine.storagePort("PCI\\VEN_8086&DEV_A352&SUBSYS_86941043&REV_10\\3&11583659&0&B9", ahciPath,
                      "Intel(R) 300 Series Chipset Family SATA AHCI Controller")
      .drive("single", "KOA-SINGLE", "GXB2LTMW")
      .controller(kIntelControllerPath, kRstDescription)
      .irstDrive(2, "single")
      .nonRaidDisk("d2", "Bus Number 2, Target Id 0, LUN 0");
  const MachineRun run = runOnMachine(machine.description(), separateProcess());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.revision("single"), kImageRevision);
  for (const auto& open : run.calls("CreateFileW")) EXPECT_NE(open["path"], ahciPath);
}

TEST(IrstEndToEnd, DiskThatCannotBeOpenedEndsTheWalkBelowTheController) {
  IrstMachine machine = raidOfTwo();
  machine.drive("later", "KOA-LATER", "GXB2LTMW")
      .irstDrive(3, "later")
      .nonRaidDisk("locked", "Bus Number 4, Target Id 0, LUN 0")
      .nonRaidDisk("d3", "Bus Number 3, Target Id 0, LUN 0")
      .fault({{"action", "failOpen"}, {"path", IrstMachine::diskPath("locked")}, {"error", 5u}});
  const MachineRun run = runOnMachine(machine.description(), separateProcess());
  // The volume before the locked disk is kept; the disk after it is never seen.
  EXPECT_EQ(run.requests("irst.activate", "member-a").size(), 1u);
  EXPECT_EQ(run.requests("irst.activate", "member-b").size(), 1u);
  EXPECT_TRUE(run.requests("irst.identify", "later").empty());
  EXPECT_EQ(run.revision("later"), "GXB2LTMW");
  for (const auto& open : run.calls("CreateFileW")) EXPECT_NE(open["path"], IrstMachine::diskPath("d3"));
  EXPECT_EQ(run.exitCode, 0);
}

TEST(IrstEndToEnd, FailedCsmiRequestIsReportedAndNoMemberIsIdentified) {
  IrstMachine machine = raidOfTwo();
  machine.fault({{"action", "fail"}, {"request", "csmi.raidConfig"}, {"error", 31u}});
  const MachineRun run = runOnMachine(machine.description(), separateProcess());
  EXPECT_EQ(runBody(run.standardOutput), "  [ERROR] CSMI GET RAID CONFIG IOCTL failed: 0x1F\n\n\n");
  EXPECT_TRUE(run.requests("irst.identify").empty());
  EXPECT_EQ(run.exitCode, 1);
}

TEST(IrstEndToEnd, CsmiReturnCodeIsReportedAndNoMemberIsIdentified) {
  // A RAID volume whose controller knows no RAID set 0.
  IrstMachine machine;
  machine.drive("member-a", "KOA-RAID-A", "GXB3LTMW")
      .controller(kIntelControllerPath, kRstDescription)
      .irstDrive(0, "member-a")
      .raidVolume("v1");
  const MachineRun run = runOnMachine(machine.description(), separateProcess());
  EXPECT_EQ(runBody(run.standardOutput), "  [ERROR] CSMI GET RAID CONFIG ReturnCode: 0x3e8\n\n\n");
  EXPECT_TRUE(run.requests("irst.identify").empty());

  IrstMachine spoiled = raidOfTwo();
  spoiled.fault({{"action", "returnCode"}, {"request", "csmi.raidConfig"}, {"returnCode", 0xABu}});
  const MachineRun refused = runOnMachine(spoiled.description(), separateProcess());
  EXPECT_EQ(runBody(refused.standardOutput), "  [ERROR] CSMI GET RAID CONFIG ReturnCode: 0xab\n\n\n");
}

TEST(IrstEndToEnd, TwoRaidVolumesListTheMembersTwiceAndUpdateThemTwice) {
  IrstMachine machine = raidOfTwo();
  machine.raidVolume("v2");
  const MachineRun run = runOnMachine(machine.description(), separateProcess());
  EXPECT_EQ(run.requests("csmi.raidConfig").size(), 2u);
  const std::string body = runBody(run.standardOutput);
  EXPECT_EQ(occurrences(body, " Raid : Yes\n"), 4u);
  EXPECT_LT(body.find("KOA-RAID-A"), body.find("KOA-RAID-B"));
  EXPECT_LT(body.find("KOA-RAID-B"), body.rfind("KOA-RAID-A"));
  for (const std::string drive : {"member-a", "member-b"}) {
    EXPECT_EQ(run.requests("irst.identify", drive).size(), 2u) << drive;
    EXPECT_EQ(run.requests("irst.download", drive).size(), 1024u) << drive;
    EXPECT_EQ(run.requests("irst.activate", drive).size(), 2u) << drive;
  }
  EXPECT_NE(run.log.find("[Disk #4]"), std::string::npos);
  EXPECT_EQ(run.exitCode, 0);
}

TEST(IrstEndToEnd, InboxAndIrstTargetsAreUpdatedInDiscoveryOrderWithOneExitCode) {
  IrstMachine machine = raidOfTwo("reset");
  machine.drive("single", "KOA-SINGLE", "GXB2LTMW")
      .irstDrive(2, "single")
      .nonRaidDisk("d2", "Bus Number 2, Target Id 0, LUN 0")
      .drive("inbox", "KOA-INBOX", "GXB3LTMW")
      .inboxDisk("i1", "inbox", 1);
  const MachineRun run = runOnMachine(machine.description(), separateProcess());
  const std::string body = runBody(run.standardOutput);
  const std::size_t raidA = body.find("KOA-RAID-A");
  const std::size_t raidB = body.find("KOA-RAID-B");
  const std::size_t single = body.find("KOA-SINGLE");
  const std::size_t inbox = body.find(" Driver : Inbox Driver");
  ASSERT_NE(inbox, std::string::npos) << body;
  EXPECT_LT(raidA, raidB);
  EXPECT_LT(raidB, single);
  EXPECT_LT(single, inbox);
  EXPECT_EQ(occurrences(body, " Raid : Yes\n"), 2u);
  EXPECT_EQ(occurrences(body, " Raid : No\n"), 2u);
  EXPECT_EQ(occurrences(body, kPowerCycle), 2u);
  // Two members need a power cycle, the others are done: 1602 overall.
  EXPECT_EQ(run.exitCode, 1602 % 256);
  EXPECT_NE(run.log.find("[Disk #4]"), std::string::npos);
  EXPECT_NE(run.log.find("[Final Result]\nReturn Code : 1602\n"), std::string::npos) << run.log;
  for (const std::string drive : {"member-a", "member-b", "single", "inbox"})
    EXPECT_EQ(run.revision(drive), kImageRevision) << drive;
}

}  // namespace
}  // namespace koa::test
