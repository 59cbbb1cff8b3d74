// The run invariants catch what they are there to catch: each test takes a
// clean run of one inbox drive and breaks one thing in what the run left.
#include <gtest/gtest.h>

#include "tests/reliability/run_invariants.h"
#include "tests/support/irst_machine.h"
#include "transfer/firmware_image.h"

namespace koa::reliability {
namespace {

const nlohmann::json kOneInboxDrive = nlohmann::json::parse(R"({
  "clock": "2026-12-08T14:30:05",
  "drives": {
    "ssd": {"serialNumber": "KOA0000000000000101", "modelNumber": "KOA NVMe SSD 1TB", "firmwareRevision": "GXB3LTMW",
            "pciVendorId": "0xD5A7", "slots": [{"number": 1, "readOnly": true, "revision": "GXB1LTMW"},
                                               {"number": 2, "readOnly": false, "revision": "GXB3LTMW"}],
            "activeSlot": 2}
  },
  "devices": [
    {"instanceId": "PCI\\VEN_D5A7&DEV_5016\\4&1A2B3C4D&0&0008",
     "interfaces": [{"class": "storagePort", "path": "\\\\?\\pci#ven_d5a7&dev_5016#4&1a2b3c4d&0&0008#{2accfe60-c130-11d2-b082-00a0c91efb8b}"}]},
    {"instanceId": "SCSI\\DISK&VEN_NVME&PROD_KOA\\5&2C3D4E5F&0&000000",
     "parent": "PCI\\VEN_D5A7&DEV_5016\\4&1A2B3C4D&0&0008",
     "hardwareIds": ["SCSI\\DiskNVMe____KOA_NVMe_SSD_1TBGXB3LTMW", "GenDisk"],
     "interfaces": [{"class": "disk", "path": "\\\\?\\scsi#disk&ven_nvme&prod_koa#5&2c3d4e5f&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"}],
     "disk": {"deviceNumber": 1, "drive": "ssd"}}
  ]
})");

bool mentions(const std::vector<std::string>& broken, const std::string& text) {
  for (const auto& line : broken)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

std::string joined(const std::vector<std::string>& broken) {
  std::string text;
  for (const auto& line : broken) text += line + "\n";
  return text;
}

class RunInvariants : public ::testing::Test {
 protected:
  void SetUp() override {
    run = test::runOnMachine(kOneInboxDrive, checkedRunOptions());
    ASSERT_EQ(run.exitCode, 0) << run.standardOutput;
    ASSERT_EQ(run.recorder->requests().size(), 513u);  // 512 pieces and the activation
  }
  std::vector<test::RecordedRequest>& requests() { return run.recorder->requests(); }
  MachineRun run;
};

TEST_F(RunInvariants, ACleanRunBreaksNone) { EXPECT_EQ(joined(brokenInvariants(run)), ""); }

TEST_F(RunInvariants, APieceCarryingAnotherByteIsCaught) {
  requests()[7].input.back() ^= 0x01;
  EXPECT_TRUE(mentions(brokenInvariants(run), "does not carry the image's bytes")) << joined(brokenInvariants(run));
}

TEST_F(RunInvariants, APieceReachingPastTheImageIsCaught) {
  auto& last = requests()[511].input;
  last.insert(last.end(), 4, 0);
  EXPECT_TRUE(mentions(brokenInvariants(run), "is outside the image")) << joined(brokenInvariants(run));
}

TEST_F(RunInvariants, AnActivationAfterAFailedPieceIsCaught) {
  requests()[100].succeeded = false;
  EXPECT_TRUE(mentions(brokenInvariants(run), "after a failed piece")) << joined(brokenInvariants(run));
}

TEST_F(RunInvariants, AnActivationWithoutTheWholeImageIsCaught) {
  requests().erase(requests().begin() + 300);
  EXPECT_TRUE(mentions(brokenInvariants(run), "not the whole image")) << joined(brokenInvariants(run));
}

TEST_F(RunInvariants, AnExitCodeThatHidesAFailedDriveIsCaught) {
  const std::size_t at = run.log.find("Return Code : 0\n");
  ASSERT_NE(at, std::string::npos);
  run.log.replace(at, 16, "Return Code : 5\n");
  EXPECT_TRUE(mentions(brokenInvariants(run), "exit code 0 where the drives' Return Codes give 1"))
      << joined(brokenInvariants(run));
}

TEST_F(RunInvariants, ADriveReportedUpdatedThatDoesNotHoldTheImageIsCaught) {
  nlohmann::json refusing = kOneInboxDrive;
  refusing["drives"]["ssd"]["commitStatus"] = {{"status", "0x107"}};
  MachineRun failed = test::runOnMachine(refusing, checkedRunOptions());
  ASSERT_EQ(failed.exitCode, 1);
  ASSERT_EQ(joined(brokenInvariants(failed)), "");
  // The clean run's report over the drive that refused the image: a failure
  // reported as success.
  failed.standardOutput = run.standardOutput;
  failed.log = run.log;
  failed.exitCode = run.exitCode;
  const auto broken = brokenInvariants(failed);
  EXPECT_TRUE(mentions(broken, "reported updated (0) but holds GXB3LTMW")) << joined(broken);
  EXPECT_TRUE(mentions(broken, "was sent pieces but does not hold the image, yet the exit code is 0")) << joined(broken);
}

TEST_F(RunInvariants, ADriveKnownOnlyByTheSerialItsIdentifyDataGaveIsMatched) {
  // A serial that starts with a NUL reads as empty on the inbox path; the
  // drive that was sent the image and holds it answers for the report.
  nlohmann::json nulSerial = kOneInboxDrive;
  nulSerial["drives"]["ssd"]["identifyPatches"] = {{{"offset", 4}, {"hex", "00"}}};
  MachineRun updated = test::runOnMachine(nulSerial, checkedRunOptions());
  ASSERT_EQ(updated.exitCode, 0) << updated.standardOutput;
  ASSERT_NE(updated.log.find("Serial Number : \n"), std::string::npos) << updated.log;
  EXPECT_EQ(joined(brokenInvariants(updated)), "");

  // The same report over a drive that refused the image is caught by that
  // serial; under a serial no drive has, nothing covers it.
  nlohmann::json refusing = nulSerial;
  refusing["drives"]["ssd"]["commitStatus"] = {{"status", "0x107"}};
  MachineRun failed = test::runOnMachine(refusing, checkedRunOptions());
  ASSERT_EQ(failed.exitCode, 1);
  failed.standardOutput = updated.standardOutput;
  failed.log = updated.log;
  failed.exitCode = updated.exitCode;
  EXPECT_TRUE(mentions(brokenInvariants(failed), "drive '' reported updated (0) but holds GXB3LTMW"))
      << joined(brokenInvariants(failed));
  const std::size_t at = failed.log.find("Serial Number : \n");
  failed.log.replace(at, 17, "Serial Number : NOSUCHSERIAL\n");
  EXPECT_TRUE(mentions(brokenInvariants(failed),
                       "the log reports 1 updated drive(s) by serials no drive has (first 'NOSUCHSERIAL'), but only 0"))
      << joined(brokenInvariants(failed));
}

TEST(RunInvariantsOfRaid, AMemberThatTwoVolumesListAndThatIsUpdatedTwiceBreaksNone) {
  test::IrstMachine machine;
  machine.drive("member-a", "KOA-RAID-A", "GXB3LTMW")
      .drive("member-b", "KOA-RAID-B", "GXB3LTMW")
      .controller(test::kIntelControllerPath, test::kRstDescription)
      .irstDrive(0, "member-a", 0)
      .irstDrive(1, "member-b", 0)
      .raidVolume("v1")
      .raidVolume("v2");
  const MachineRun run = test::runOnMachine(machine.description(), checkedRunOptions());
  ASSERT_EQ(run.exitCode, 0) << run.standardOutput;
  ASSERT_NE(run.log.find("[Disk #4]"), std::string::npos) << run.log;
  EXPECT_EQ(joined(brokenInvariants(run)), "");
}

TEST_F(RunInvariants, AMissingEndMarkerOrLogIsCaught) {
  run.standardOutput.resize(run.standardOutput.size() - 3);
  run.logWritten = false;
  const auto broken = brokenInvariants(run);
  EXPECT_TRUE(mentions(broken, "does not end with the end marker")) << joined(broken);
  EXPECT_TRUE(mentions(broken, "no log file")) << joined(broken);
}

TEST_F(RunInvariants, AHandleOrDeviceSetLeftOpenIsCaught) {
  const Handle handle = run.machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE1", GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  ASSERT_NE(handle, kInvalidHandle);
  (void)run.machine->SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  const auto broken = brokenInvariants(run);
  EXPECT_TRUE(mentions(broken, "1 handle(s) left open")) << joined(broken);
  EXPECT_TRUE(mentions(broken, "1 device information set(s) left open")) << joined(broken);
}

}  // namespace
}  // namespace koa::reliability
