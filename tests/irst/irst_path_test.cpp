// The IRST transfer path: its console text, its result codes and which
// requests it sends after a failure.
#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/console_capture.h"
#include "tests/support/expected_text.h"
#include "tests/support/scripted_platform.h"
#include "transfer/firmware_image.h"
#include "transfer/irst_path.h"

namespace koa::test {
namespace {

const std::u16string kController = u"\\\\?\\pci#ven_8086&dev_2822#4&1&0&b8#{2accfe60-c130-11d2-b082-00a0c91efb8b}";

DriveRecord target(DriverKind kind, std::int32_t granularity = 128) {
  loadImage();
  DriveRecord record = makeCandidate(kind, kController, 4);
  record.modelNumber = u"KOA NVMe 1TB";
  record.serialNumber = u"SN0001";
  record.firmwareRevision = u"KOA10204";
  record.updateGranularity = granularity;
  return record;
}

std::string displayBlock(const std::string& raid) {
  std::string revision;
  for (char16_t unit : imageRevision) {
    if (unit == u'\0') break;
    revision.push_back(static_cast<char>(unit));
  }
  return test::displayBlock({.driver = "IRST", .raid = raid == "Yes", .model = "KOA NVMe 1TB", .serial = "SN0001",
                             .current = "KOA10204", .updated = revision});
}

// Answers every download piece with 0 and the activation with status.
Answer activationAnswers(std::uint32_t status) {
  return [status](const IoCall& call, std::uint8_t* buffer, std::uint32_t&) -> std::uint32_t {
    if (le32(call.input, 40) == 3) putLe32(buffer, 20, status);
    return ERROR_SUCCESS;
  };
}

TEST(IrstPath, ActivationStatusesGiveTheirMessagesAndResults) {
  struct Case {
    std::uint32_t status;
    std::string message;
    std::uint32_t result;
  };
  const std::vector<Case> cases{
      {0, "  [PASS] Firmware activation succeeded.\n\n", 0},
      {0x20, "  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n", 1602},
      {1, "  [ERROR] Firmware activate failed: error returned\n\n", 1},
      {2, "  [ERROR] Firmware activate parameter error: srbControl->ReturnCode 2\n\n", 1},
      {3, "  [ERROR] Firmware activate parameter error: srbControl->ReturnCode 3\n\n", 1},
      {4, "  [ERROR] Firmware activate parameter error: srbControl->ReturnCode 4\n\n", 1},
      {5, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 5\n\n", 1},
      {6, "  [ERROR] Firmware activate failed: invalid slot number\n\n", 1},
      {7, "  [ERROR] Firmware activate failed: invalid firmware image\n\n", 1},
      {16, "  [ERROR] Firmware activate failed: error returned\n\n", 1},
      {17, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 17\n\n", 1},
      {0x21, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 33\n\n", 1},
      {0xFFFFFFFF, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode -1\n\n", 1},
  };
  for (const Case& c : cases) {
    ScriptedPlatform machine;
    machine.answer = activationAnswers(c.status);
    ConsoleCapture console;
    EXPECT_EQ(updateIrstDrive(target(DriverKind::IrstNonRaid), kImageSize), c.result) << c.status;
    EXPECT_EQ(console.text(), displayBlock("No") + "\n  [PASS] Firmware download succeeded.\n" + c.message)
        << c.status;
    EXPECT_EQ(machine.openHandles(), 0);
  }
}

TEST(IrstPath, RaidMemberShowsRaidYesAndOpensTheControllerExclusively) {
  ScriptedPlatform machine;
  ConsoleCapture console;
  EXPECT_EQ(updateIrstDrive(target(DriverKind::IrstRaid), kImageSize), 0u);
  EXPECT_EQ(console.text(), displayBlock("Yes") + "\n  [PASS] Firmware download succeeded.\n" +
                                "  [PASS] Firmware activation succeeded.\n\n");
  ASSERT_EQ(machine.opens.size(), 1u);
  EXPECT_EQ(machine.opens[0].path, kController);
  EXPECT_EQ(machine.opens[0].access, GENERIC_READ | GENERIC_WRITE);
  EXPECT_EQ(machine.opens[0].shareMode, 0u);
  EXPECT_EQ(machine.opens[0].disposition, OPEN_EXISTING);
  EXPECT_EQ(machine.opens[0].flags, 0u);
  for (const IoCall& call : machine.calls) EXPECT_EQ(call.handle, machine.opens[0].handle);
}

TEST(IrstPath, RefusedPieceStopsTheDownloadAndNothingIsActivated) {
  ScriptedPlatform machine;
  machine.answer = [](const IoCall& call, std::uint8_t* buffer, std::uint32_t&) -> std::uint32_t {
    if (le64(call.input, 64) == 2 * 32768) putLe32(buffer, 20, 7);
    return ERROR_SUCCESS;
  };
  ConsoleCapture console;
  EXPECT_EQ(updateIrstDrive(target(DriverKind::IrstNonRaid, 8), kImageSize), 1u);
  EXPECT_EQ(console.text(), displayBlock("No") +
                                "  [ERROR] Firmware download failed: srbControl->ReturnCode 7\n"
                                "\n  [FAIL] Firmware download failed.\n");
  ASSERT_EQ(machine.calls.size(), 3u);
  for (const IoCall& call : machine.calls) EXPECT_EQ(le32(call.input, 40), 2u);
  EXPECT_EQ(machine.openHandles(), 0);
}

TEST(IrstPath, FailedPieceCallStopsTheDownloadAndNothingIsActivated) {
  ScriptedPlatform machine;
  machine.answer = [](const IoCall& call, std::uint8_t*, std::uint32_t&) -> std::uint32_t {
    if (le64(call.input, 64) == 4096) return ERROR_SEM_TIMEOUT;
    return ERROR_SUCCESS;
  };
  ConsoleCapture console;
  EXPECT_EQ(updateIrstDrive(target(DriverKind::IrstRaid, 1), kImageSize), 1u);
  EXPECT_EQ(console.text(), displayBlock("Yes") +
                                "  [ERROR] Firmware download IOCTL failed: 0x79\n"
                                "\n  [FAIL] Firmware download failed.\n");
  EXPECT_EQ(machine.calls.size(), 2u);
  EXPECT_EQ(machine.openHandles(), 0);
}

TEST(IrstPath, FailedActivationCallIsReportedInUpperCaseHex) {
  ScriptedPlatform machine;
  machine.answer = [](const IoCall& call, std::uint8_t*, std::uint32_t&) -> std::uint32_t {
    if (le32(call.input, 40) == 3) return ERROR_IO_DEVICE;
    return ERROR_SUCCESS;
  };
  ConsoleCapture console;
  EXPECT_EQ(updateIrstDrive(target(DriverKind::IrstNonRaid), kImageSize), 1u);
  EXPECT_EQ(console.text(), displayBlock("No") + "\n  [PASS] Firmware download succeeded.\n" +
                                "  [ERROR] Firmware activate IOCTL failed: 0x45D\n");
}

TEST(IrstPath, ControllerThatCannotBeOpenedGivesFiveAndNoRequest) {
  ScriptedPlatform machine;
  machine.refusedPaths[kController] = ERROR_ACCESS_DENIED;
  ConsoleCapture console;
  EXPECT_EQ(updateIrstDrive(target(DriverKind::IrstNonRaid), kImageSize), 5u);
  EXPECT_EQ(console.text(), displayBlock("No") + "  [ERROR] Failed to get disk handle: 0x5\n\n");
  EXPECT_TRUE(machine.calls.empty());
}

TEST(IrstPath, OpenErrorIsWrittenInLowerCaseHex) {
  ScriptedPlatform machine;
  machine.refusedPaths[kController] = 0xABC;  // an error whose hex digits have letters
  ConsoleCapture console;
  EXPECT_EQ(updateIrstDrive(target(DriverKind::IrstNonRaid), kImageSize), 5u);
  EXPECT_NE(console.text().find("  [ERROR] Failed to get disk handle: 0xabc\n\n"), std::string::npos);
}

}  // namespace
}  // namespace koa::test
