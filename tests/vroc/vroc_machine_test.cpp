// Whole runs on simulated machines with the VROC driver: discovery on the
// SCSI ports, the update of each VROC drive, every failure path the driver
// and the drives can take, the report and the machine left behind.
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "sim/sha256.h"
#include "tests/support/expected_text.h"
#include "tests/support/golden.h"
#include "tests/support/machine_run.h"
#include "transfer/firmware_image.h"

namespace koa::test::vroc {
namespace {

const std::string kPort2 = "\\\\.\\Scsi2:";
const std::string kStamp = "08-12-2026(14:30:05)";

nlohmann::json& vrocOf(nlohmann::json& machine) { return machine["scsiPorts"][2]["vroc"]; }

nlohmann::json fault(const std::string& action, const std::string& request, const std::string& drive) {
  nlohmann::json f = {{"action", action}, {"device", kPort2}, {"request", request}};
  if (!drive.empty()) f["drive"] = drive;
  return f;
}

// A server whose volume has one member, vroc-member-1 (GXB3LTMW).
nlohmann::json oneMemberServer() {
  nlohmann::json machine = machineFile("examples/machines/vroc-server.json");
  vrocOf(machine)["volumes"][0]["members"].erase(1);
  return machine;
}

// The console text from `first` (included) up to the end marker.
std::string consoleFrom(const std::string& console, const std::string& first) {
  const auto begin = console.find(first);
  const auto end = console.find("\n >> KOA Ended");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return "(not found: " + first + ")";
  return console.substr(begin, end - begin);
}

std::size_t countOpened(const MachineRun& run, const std::string& path) {
  std::size_t n = 0;
  for (const auto& opened : run.openedPaths()) n += opened == path;
  return n;
}

TEST(VrocMachine, TheServerUpdatesItsRaidMembersOnScsi2AndAsksForAReboot) {
  const MachineRun run = runOnMachine(machineFile("examples/machines/vroc-server.json"));

  EXPECT_EQ(run.exitCode, 1602);
  EXPECT_EQ(run.standardOutput, golden("vroc_server.stdout"));
  EXPECT_EQ(run.log, golden("vroc_server.log", {{"START", kStamp}, {"END", kStamp}}));

  const auto image = sim::sha256(std::span<const std::uint8_t>(imageBuffer, kImageSize));
  for (const char* name : {"vroc-member-1", "vroc-member-2"}) {
    const sim::NvmeDrive& drive = run.drive(name);
    EXPECT_EQ(drive.acceptedPieces(), 512u) << name;
    EXPECT_EQ(drive.revisionAfterReset(), "GXB4LTMW") << name;
    EXPECT_TRUE(drive.activationPending()) << name;
    ASSERT_TRUE(drive.committed().has_value()) << name;
    EXPECT_EQ(drive.committed()->sha256, image) << name;
  }
  EXPECT_EQ(run.drive("vroc-member-1").runningRevision(), "GXB3LTMW");
  // The pass-through drives stand on the same port but are never listed.
  for (const char* name : {"vroc-pass-1", "vroc-pass-2"}) {
    EXPECT_EQ(run.drive(name).acceptedPieces(), 0u) << name;
    EXPECT_EQ(run.drive(name).commitCount(), 0u) << name;
  }
  EXPECT_TRUE(run.requests("vroc.passThroughList").empty());
  ASSERT_EQ(run.requests("vroc.download").size(), 1024u);
  for (const auto& request : run.requests("vroc.download")) ASSERT_EQ(request["path"], kPort2);
  ASSERT_EQ(run.requests("vroc.commit").size(), 2u);
  // Scsi0: and Scsi1: are tried and refuse both counts; the walk stops at
  // Scsi2:, where only the volume count is asked.
  EXPECT_EQ(run.requests("vroc.volumeCount").size(), 1u);
  EXPECT_EQ(countOpened(run, "\\\\.\\Scsi1:"), 1u);
  EXPECT_EQ(countOpened(run, "\\\\.\\Scsi3:"), 0u);
  EXPECT_EQ(run.machine->openHandleCount(), 0u);
}

TEST(VrocMachine, WithoutTheSilentSwitchTheMessageSaysARebootIsNeeded) {
  RunOptions withoutSwitches;
  withoutSwitches.arguments = {};
  const MachineRun run = runOnMachine(oneMemberServer(), withoutSwitches);
  EXPECT_EQ(run.exitCode, 1602);
  ASSERT_EQ(run.machine->messageBoxes().size(), 1u);
  EXPECT_EQ(run.machine->messageBoxes()[0].text,
            u"Result Details : Downloaded firmware successfully, \nbut firmware activation requires reboot.\n");
}

TEST(VrocMachine, ASecondRunFromTheFinalStateFindsNothingToUpdate) {
  const MachineRun first = runOnMachine(machineFile("examples/machines/vroc-server.json"));
  ASSERT_EQ(first.exitCode, 1602);

  const MachineRun second = runOnMachine(first.state);

  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.log.find("[No Disk]\n"), std::string::npos);
  EXPECT_TRUE(second.requests("vroc.download").empty());
  EXPECT_TRUE(second.requests("vroc.commit").empty());
  // The members are found and identified again, now on the image's revision.
  EXPECT_EQ(second.requests("vroc.identify").size(), 2u);
  EXPECT_EQ(second.drive("vroc-member-2").runningRevision(), "GXB4LTMW");
}

TEST(VrocMachine, APortWithPassThroughDrivesOnlyListsThem) {
  nlohmann::json machine = machineFile("examples/machines/vroc-server.json");
  vrocOf(machine).erase("volumes");

  const MachineRun run = runOnMachine(machine);

  EXPECT_EQ(run.exitCode, 1602);
  // Neither the member count nor a Serial line: only the kind per drive.
  EXPECT_EQ(consoleFrom(run.standardOutput, "NonRaidVROC"),
            "NonRaidVROC\nNonRaidVROC\n" +
                displayBlock({.driver = "VROC", .model = padded("KOA NVMe SSD 1.92TB", 40),
                              .serial = padded("KOA0000000000000303", 20), .current = "GXR4LTMW"}) +
                "\n  [PASS] Firmware download succeeded.\n"
                "  [PASS] Firmware activation succeeded. Please reboot computer.\n\n");
  EXPECT_EQ(occurrences(run.standardOutput, "Number of NVMe RAID volume member disks"), 0u);
  EXPECT_EQ(run.drive("vroc-pass-1").revisionAfterReset(), "GXB4LTMW");
  EXPECT_EQ(run.drive("vroc-pass-2").acceptedPieces(), 0u);  // already on the image's revision
  EXPECT_EQ(run.requests("vroc.passThroughList").size(), 1u);
  ASSERT_EQ(run.requests("vroc.commit").size(), 1u);
  EXPECT_EQ(run.requests("vroc.commit")[0]["path"], kPort2);
}

TEST(VrocMachine, AVolumeWithoutMembersYieldsNothingAndTheWalkRunsAfterEveryIntelCandidate) {
  nlohmann::json machine = machineFile("examples/machines/vroc-server.json");
  vrocOf(machine)["volumes"][0]["members"] = nlohmann::json::array();

  const MachineRun run = runOnMachine(machine);

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.log.find("[No Disk]\n"), std::string::npos);
  // One RAID volume and two other disks below the controller: three walks,
  // each ending at Scsi2:.
  EXPECT_EQ(run.requests("vroc.volumeInfo").size(), 3u);
  // The open of Scsi2: cleared the error the ports before it left, so no
  // "dwError" line follows the requests that succeed there.
  EXPECT_EQ(occurrences(run.standardOutput, "Number of NVMe RAID volume member disks: 0\n"), 3u);
  EXPECT_EQ(occurrences(run.standardOutput, "dwError"), 0u);
  EXPECT_TRUE(run.requests("vroc.identify").empty());
  EXPECT_TRUE(run.requests("vroc.passThroughList").empty());
  EXPECT_EQ(countOpened(run, "\\\\.\\Scsi3:"), 0u);
}

TEST(VrocMachine, WhenNoPortAnswersEveryPortIsTriedAfterEveryIntelCandidate) {
  nlohmann::json machine = machineFile("examples/machines/vroc-server.json");
  machine["scsiPorts"].erase(2);

  const MachineRun run = runOnMachine(machine);

  EXPECT_EQ(run.exitCode, 1);
  for (int port = 0; port <= 15; ++port)
    EXPECT_EQ(countOpened(run, "\\\\.\\Scsi" + std::to_string(port) + ":"), 3u) << port;
  EXPECT_EQ(countOpened(run, "\\\\.\\Scsi16:"), 0u);
  EXPECT_EQ(occurrences(run.standardOutput, "dwError"), 0u);
  EXPECT_EQ(run.machine->openHandleCount(), 0u);
}

TEST(VrocMachine, AnAbsurdMemberCountAsksForABoundedListAndReadsOnlyWhatCameBack) {
  nlohmann::json machine = machineFile("examples/machines/vroc-server.json");
  vrocOf(machine)["volumes"][0]["reportedMemberCount"] = 0xFFFFFFFFu;

  const MachineRun run = runOnMachine(machine);

  EXPECT_NE(run.standardOutput.find("Number of NVMe RAID volume member disks: 4294967295\n"), std::string::npos);
  ASSERT_EQ(run.requests("vroc.memberList").size(), 1u);
  const nlohmann::json list = run.requests("vroc.memberList")[0];
  EXPECT_EQ(list["inSize"], 606 * 108 + 40);  // what fits a 64 KiB answer
  EXPECT_EQ(list["bytesReturned"], 2 * 108 + 40);
  EXPECT_EQ(run.requests("vroc.identify").size(), 2u);
  EXPECT_EQ(run.exitCode, 1602);
}

TEST(VrocMachine, ANegativePassThroughCountMeansNoDrive) {
  nlohmann::json machine = machineFile("examples/machines/vroc-server.json");
  vrocOf(machine).erase("volumes");
  vrocOf(machine)["reportedPassThroughCount"] = -1;

  const MachineRun run = runOnMachine(machine);

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.requests("vroc.passThroughList").empty());
  EXPECT_EQ(countOpened(run, "\\\\.\\Scsi15:"), 3u);  // every port, after every Intel candidate
}

TEST(VrocMachine, ADriveWhoseIdentifyFailsIsListedWithTheFillRevisionAndNeverUpdated) {
  nlohmann::json machine = machineFile("examples/machines/vroc-server.json");
  nlohmann::json identifyFails = fault("fail", "vroc.identify", "vroc-member-1");
  identifyFails["error"] = 31;
  machine["faults"].push_back(identifyFails);

  const MachineRun run = runOnMachine(machine);

  EXPECT_EQ(run.exitCode, 1602);
  // The failed Identify leaves 31 behind, and the next member's successful
  // one shows it again.
  EXPECT_EQ(consoleFrom(run.standardOutput, "\nSerial: KOA0000000000000301"),
            "\nSerial: KOA0000000000000301\nvrocDiskId:1000000\nRaidVROC\ndwError: 31\n"
            "\nSerial: KOA0000000000000302\nvrocDiskId:1000001\nRaidVROC\ndwError: 31\n" +
                consoleFrom(run.standardOutput, "\n---"));
  EXPECT_EQ(occurrences(run.standardOutput, " Firmware Download | Target Disk Information "), 1u);
  EXPECT_EQ(occurrences(run.standardOutput, " Current FW : UUUUUUUU"), 0u);
  EXPECT_EQ(run.drive("vroc-member-1").acceptedPieces(), 0u);
  EXPECT_EQ(run.drive("vroc-member-1").revisionAfterReset(), "GXB3LTMW");
  EXPECT_EQ(run.drive("vroc-member-2").revisionAfterReset(), "GXB4LTMW");
  EXPECT_EQ(occurrences(run.log, "[Disk #"), 1u);
}

TEST(VrocMachine, ACompletionWithPhaseTagAndCommandIdentifierSetIsASuccess) {
  nlohmann::json machine = oneMemberServer();
  nlohmann::json phase = fault("patch", "vroc.commit", "");
  phase["offset"] = 128;
  phase["hex"] = "ffff0100";  // dword 3 = 0x0001FFFF
  machine["faults"].push_back(phase);

  const MachineRun run = runOnMachine(machine);

  EXPECT_EQ(run.exitCode, 1602);
  ASSERT_EQ(run.requests("vroc.commit").size(), 1u);
  EXPECT_EQ(run.requests("vroc.commit")[0]["output"].get<std::string>().substr(2 * 128, 8), "ffff0100");
  EXPECT_NE(run.standardOutput.find("  [PASS] Firmware activation succeeded. Please reboot computer.\n\n"),
            std::string::npos);
  EXPECT_EQ(run.drive("vroc-member-1").revisionAfterReset(), "GXB4LTMW");
}

TEST(VrocMachine, ANonzeroCompletionStatusFailsTheCommit) {
  struct Case {
    const char* name;
    nlohmann::json drivePatch;  // merged into vroc-member-1
    nlohmann::json extraFault;
    std::string status;
    std::string revisionAfterReset;
  };
  const Case cases[] = {
      // 0x00020000: status 1, no phase tag, command 0.
      {"status 1", nlohmann::json::object(), fault("completionStatus", "vroc.commit", "vroc-member-1"), "00000001",
       "GXB3LTMW"},
      // The drive takes the image but asks for a conventional reset; the path
      // still counts it as a failure.
      {"reset required", {{"commitStatus", {{"status", 0x10B}}}}, nullptr, "0000010b", "GXB4LTMW"},
      {"invalid image", {{"commitStatus", {{"status", 0x107}}}}, nullptr, "00000107", "GXB3LTMW"},
  };
  for (const Case& c : cases) {
    nlohmann::json machine = oneMemberServer();
    machine["drives"]["vroc-member-1"].update(c.drivePatch);
    if (!c.extraFault.is_null()) {
      nlohmann::json f = c.extraFault;
      f["status"] = 1;
      machine["faults"].push_back(f);
    }

    const MachineRun run = runOnMachine(machine);

    EXPECT_EQ(run.exitCode, 1) << c.name;
    EXPECT_NE(run.standardOutput.find("  [PASS] Firmware download succeeded.\n  [ERROR] Firmware activation failed: "
                               "Completion Queue Entry Status Value: 0x" +
                               c.status + "\n\n >> KOA Ended (Return Code : 1)\n"),
              std::string::npos)
        << c.name << "\n" << run.standardOutput;
    EXPECT_NE(run.log.find("Return Code : 5\nResult Details : Patch Failed.\n"), std::string::npos) << c.name;
    EXPECT_EQ(run.drive("vroc-member-1").revisionAfterReset(), c.revisionAfterReset) << c.name;
  }
}

TEST(VrocMachine, EveryDriverCodeAfterTheCommitHasItsOwnMessage) {
  const char* const names[] = {"INVALID_IOCTL_CODE",
                               "INVALID_SIGNATURE",
                               "INSUFFICIENT_IN_BUFFER",
                               "INSUFFICIENT_OUT_BUFFER",
                               "UNSUPPORTED_ADMIN_CMD",
                               "UNSUPPORTED_NVM_CMD",
                               "INVALID_ADMIN_VENDOR_SPECIFIC_OPCODE",
                               "INVALID_NVM_VENDOR_SPECIFIC_OPCODE",
                               "ADMIN_VENDOR_SPECIFIC_NOT_SUPPORTED",
                               "NVM_VENDOR_SPECIFIC_NOT_SUPPORTED",
                               "INVALID_DIRECTION_SPECIFIED",
                               "INVALID_META_BUFFER_LENGTH",
                               "PRP_TRANSLATION_ERROR",
                               "INVALID_PATH_TARGET_ID",
                               "FORMAT_NVM_PENDING"};
  for (std::uint32_t code = 1; code <= 16; ++code) {
    nlohmann::json machine = oneMemberServer();
    nlohmann::json refuse = fault("returnCode", "vroc.commit", "");
    refuse["returnCode"] = code;
    machine["faults"].push_back(refuse);

    const MachineRun run = runOnMachine(machine);

    const std::string message =
        code <= 15 ? "  [ERROR] NVME_IOCTL_" + std::string(names[code - 1]).substr(0) + "\n\n"
                   : "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 16\n\n";
    EXPECT_EQ(run.exitCode, 1) << code;
    EXPECT_NE(run.standardOutput.find("  [PASS] Firmware download succeeded.\n" + message + "\n >> KOA Ended"),
              std::string::npos)
        << code << "\n" << run.standardOutput;
    EXPECT_NE(run.log.find("Return Code : 1\nResult Details : Patch Failed.\n"), std::string::npos) << code;
    EXPECT_EQ(run.drive("vroc-member-1").commitCount(), 0u) << code;
  }
}

TEST(VrocMachine, AFailedDownloadPieceStopsTheDownloadAndSkipsTheCommit) {
  struct Case {
    const char* name;
    nlohmann::json fault;
    std::string message;
  };
  nlohmann::json ioctl = fault("fail", "vroc.download", "vroc-member-1");
  ioctl["error"] = 0x45D;
  nlohmann::json driverCode = fault("returnCode", "vroc.download", "vroc-member-1");
  driverCode["returnCode"] = 4;
  nlohmann::json status = fault("completionStatus", "vroc.download", "vroc-member-1");
  status["status"] = 1;
  const Case cases[] = {
      {"ioctl", ioctl, "  [ERROR] Firmware download IOCTL failed: 0x45D\n"},
      {"driver code", driverCode, "  [ERROR] Firmware download failed: srbControl->ReturnCode 4\n"},
      {"status", status, "  [ERROR] Firmware download failed: (nvmePassThroughIoctl->CplEntry[3]) >> 17: 0x00000001\n"},
  };
  for (Case c : cases) {
    nlohmann::json machine = oneMemberServer();
    c.fault["nth"] = 3;
    machine["faults"].push_back(c.fault);

    const MachineRun run = runOnMachine(machine);

    EXPECT_EQ(run.exitCode, 1) << c.name;
    EXPECT_NE(run.standardOutput.find(std::string(45, '-') + "\n" + c.message +
                               "\n  [FAIL] Firmware download failed.\n\n >> KOA Ended (Return Code : 1)\n"),
              std::string::npos)
        << c.name << "\n" << run.standardOutput;
    EXPECT_EQ(run.requests("vroc.download").size(), 3u) << c.name;
    EXPECT_TRUE(run.requests("vroc.commit").empty()) << c.name;
    EXPECT_EQ(run.drive("vroc-member-1").acceptedPieces(), 2u) << c.name;
    EXPECT_NE(run.log.find("Return Code : 1\nResult Details : Patch Failed.\n"), std::string::npos) << c.name;
  }
}

TEST(VrocMachine, APortThatCannotBeOpenedForTheUpdateFailsEveryTarget) {
  nlohmann::json machine = machineFile("examples/machines/vroc-server.json");
  // The walk opens Scsi2: once per Intel candidate that leaves no drive (here
  // the first); the update's opens come after it.
  machine["faults"].push_back({{"action", "failOpen"}, {"path", kPort2}, {"nth", 2}, {"error", 0x20}});

  const MachineRun run = runOnMachine(machine);

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.standardOutput.find(std::string(45, '-') + "\n  [ERROR] Failed to get disk handle: 0x20\n\n\n"),
            std::string::npos)
      << run.standardOutput;
  EXPECT_EQ(run.requests("vroc.download").size(), 512u);  // the second member still got its image
  EXPECT_EQ(run.drive("vroc-member-1").acceptedPieces(), 0u);
  EXPECT_NE(run.log.find("Return Code : 5\nResult Details : Patch Failed.\n"), std::string::npos);
}

}  // namespace
}  // namespace koa::test::vroc
