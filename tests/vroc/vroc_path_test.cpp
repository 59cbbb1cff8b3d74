// The VROC transfer path against a recording platform: the bytes of every
// Firmware Image Download and Firmware Commit, the walk, and the reading of
// each answer.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/bytes.h"
#include "tests/support/console_capture.h"
#include "tests/support/expected_text.h"
#include "tests/support/patterned_image.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/vroc_requests.h"
#include "transfer/firmware_image.h"
#include "transfer/vroc_path.h"

namespace koa::test::vroc {
namespace {


const std::u16string kPort2 = u"\\\\.\\Scsi2:";
constexpr std::uint32_t kDiskId = 0x01000203;

class VrocPath : public ::testing::Test {
 protected:
  VrocPath() {
    target.driverKind = DriverKind::VrocRaid;
    target.devicePath = u"\\\\?\\pci#ven_8086&dev_a77f";
    target.modelNumber = u"TORVALE NVME SSD 2TB                    ";
    target.serialNumber = u"S000VROC0001        ";
    target.firmwareRevision = u"GXB3LTMW";
    target.vrocDiskId = static_cast<std::int32_t>(kDiskId);
    platform.openable.insert(kPort2);
    platform.otherPathError = ERROR_FILE_NOT_FOUND;
  }

  // The display block: ten lines, no Raid line, "VROC Driver".
  static std::string displayBlock() {
    return test::displayBlock({.driver = "VROC", .model = "TORVALE NVME SSD 2TB                    ",
                               .serial = "S000VROC0001        ", .current = "GXB3LTMW"});
  }

  Handle openPort() { return platform.CreateFileW(kPort2.c_str(), 0, 0, 3, 0); }

  ScriptedPlatform platform;
  PatternedImage image{u"GXB4LTMW"};
  DriveRecord target;
  std::uint32_t imageSize = 0x200000;
};

TEST_F(VrocPath, UpdateSendsTheWholeImageAsNumd1023PiecesThenCommitsSlotTwo) {
  platform.answer = completeWith(0, 0x0001FFFF);
  ConsoleCapture console;

  EXPECT_EQ(updateVrocDrive(target, imageSize, 2), 1602u);

  ASSERT_EQ(platform.opens.size(), 1u);
  EXPECT_EQ(platform.opens[0].path, kPort2);
  EXPECT_EQ(platform.opens[0].access, 0xC0000000u);
  EXPECT_EQ(platform.opens[0].shareMode, 0u);
  EXPECT_EQ(platform.opens[0].disposition, 3u);
  EXPECT_EQ(platform.opens[0].flags, 0u);

  ASSERT_EQ(platform.calls.size(), 513u);
  for (std::uint32_t i = 0; i < 512; ++i) {
    const auto& call = platform.calls[i];
    ASSERT_EQ(call.code, kScsiMiniport);
    ASSERT_EQ(call.inSize, 4256u);
    ASSERT_EQ(call.outSize, 153u) << "piece " << i;
    ASSERT_TRUE(call.sameBuffer);
    ASSERT_EQ(le32(call.input, 92), 1023u);
    ASSERT_EQ(le32(call.input, 96), i * 1024u);
    ASSERT_EQ(call.input, expectedDownload(kDiskId, i * 4096, 4096)) << "piece " << i;
  }
  EXPECT_EQ(le32(platform.calls[511].input, 96), 523264u);
  const auto& commit = platform.calls[512];
  EXPECT_EQ(commit.inSize, 153u);
  EXPECT_EQ(commit.outSize, 153u);
  EXPECT_EQ(commit.input, expectedCommit(kDiskId));
  EXPECT_EQ(platform.openHandles(), 0);

  EXPECT_EQ(console.text(), displayBlock() +
                               "\n  [PASS] Firmware download succeeded.\n"
                               "  [PASS] Firmware activation succeeded. Please reboot computer.\n\n");
}

TEST_F(VrocPath, PowerOfTwoGranularitiesCutTheImageIntoEqualPieces) {
  platform.answer = completeWith(0, 0);
  ConsoleCapture console;
  for (const std::int32_t granularity : {2, 8, 128}) {
    platform.calls.clear();
    target.updateGranularity = granularity;
    EXPECT_EQ(updateVrocDrive(target, imageSize, 2), 1602u);
    const std::uint32_t pieceSize = static_cast<std::uint32_t>(granularity) * 4096;
    const std::uint32_t count = 0x200000 / pieceSize;
    ASSERT_EQ(platform.calls.size(), count + 1) << granularity;
    for (std::uint32_t i = 0; i < count; ++i)
      ASSERT_EQ(platform.calls[i].input, expectedDownload(kDiskId, i * pieceSize, pieceSize))
          << granularity << " piece " << i;
  }
}

TEST_F(VrocPath, AGranularityThatDoesNotDivideTheImageSendsAShorterLastPiece) {
  platform.answer = completeWith(0, 0);
  target.updateGranularity = 3;  // 12,288-byte pieces: 170 whole, then 8,192 bytes
  ConsoleCapture console;

  EXPECT_EQ(updateVrocDrive(target, imageSize, 2), 1602u);

  ASSERT_EQ(platform.calls.size(), 172u);
  for (std::uint32_t i = 0; i < 170; ++i)
    ASSERT_EQ(platform.calls[i].input, expectedDownload(kDiskId, i * 12288, 12288)) << "piece " << i;
  const auto& last = platform.calls[170];
  EXPECT_EQ(last.inSize, 160u + 8192u);
  EXPECT_EQ(last.outSize, 153u);
  EXPECT_EQ(le32(last.input, 92), 2047u);
  EXPECT_EQ(last.input, expectedDownload(kDiskId, 2088960, 8192));
  EXPECT_EQ(platform.calls[171].input, expectedCommit(kDiskId));
}

TEST_F(VrocPath, TheFirstFailingPieceEndsTheDownloadWithoutACommit) {
  struct Case {
    const char* name;
    std::uint32_t returnCode;
    std::uint32_t dword3;
    bool ioctlFails;
    std::string message;
  };
  const Case cases[] = {
      {"driver code", 7, 0, false, "  [ERROR] Firmware download failed: srbControl->ReturnCode 7\n"},
      {"unexpected code", 0xFFFFFFFF, 0, false,
       "  [ERROR] Firmware download failed: srbControl->ReturnCode -1\n"},
      {"status 1", 0, 0x00020000, false,
       "  [ERROR] Firmware download failed: (nvmePassThroughIoctl->CplEntry[3]) >> 17: 0x00000001\n"},
      {"invalid image", 0, 0x0107u << 17 | 0x1ABCD, false,
       "  [ERROR] Firmware download failed: (nvmePassThroughIoctl->CplEntry[3]) >> 17: 0x00000107\n"},
      {"ioctl", 0, 0, true, "  [ERROR] Firmware download IOCTL failed: 0x1F\n"},
  };
  for (const Case& c : cases) {
    ScriptedPlatform fresh;
    fresh.openable.insert(kPort2);
    int piece = 0;
    fresh.answer = [&](const IoCall&, std::uint8_t* out, std::uint32_t&) -> std::uint32_t {
      const bool failing = ++piece == 3;
      if (failing && c.ioctlFails) return ERROR_GEN_FAILURE;
      putLe32(out, 20, failing ? c.returnCode : 0);
      putLe32(out, 128, failing ? c.dword3 : 0x0001FFFF);
      return ERROR_SUCCESS;
    };
    ConsoleCapture console;

    EXPECT_EQ(updateVrocDrive(target, imageSize, 2), 1u) << c.name;

    EXPECT_EQ(fresh.calls.size(), 3u) << c.name;  // no fourth piece, no commit
    EXPECT_EQ(callsWithControlCode(fresh, kPassThroughCode).size(), 3u);
    for (const auto& call : fresh.calls) EXPECT_EQ(call.input[52], 0x11) << c.name;
    EXPECT_EQ(fresh.openHandles(), 0);
    EXPECT_EQ(console.text(), displayBlock() + c.message + "\n  [FAIL] Firmware download failed.\n") << c.name;
  }
}

TEST_F(VrocPath, APortThatCannotBeOpenedIsReportedInLowerCaseHex) {
  platform.openable.clear();
  platform.otherPathError = ERROR_SHARING_VIOLATION;
  ConsoleCapture console;

  EXPECT_EQ(updateVrocDrive(target, imageSize, 2), 5u);

  EXPECT_TRUE(platform.calls.empty());
  EXPECT_EQ(console.text(), displayBlock() + "  [ERROR] Failed to get disk handle: 0x20\n\n");
}

TEST_F(VrocPath, ThePortPathCarriesThePortNumberInSignedDecimal) {
  platform.openable.clear();
  ConsoleCapture console;
  for (const std::int32_t port : {0, 15, -1}) (void)updateVrocDrive(target, imageSize, port);
  ASSERT_EQ(platform.opens.size(), 3u);
  EXPECT_EQ(platform.opens[0].path, u"\\\\.\\Scsi0:");
  EXPECT_EQ(platform.opens[1].path, u"\\\\.\\Scsi15:");
  EXPECT_EQ(platform.opens[2].path, u"\\\\.\\Scsi-1:");
}

TEST_F(VrocPath, NoPieceAtAllIsASuccessfulDownload) {
  ConsoleCapture console;
  const Handle port = openPort();
  const std::uint32_t empty = 0;
  EXPECT_EQ(downloadVroc(port, target, empty), 0u);
  EXPECT_TRUE(platform.calls.empty());
  EXPECT_EQ(console.text(), "\n  [PASS] Firmware download succeeded.\n");
}

TEST_F(VrocPath, AGranularityWithoutAPieceLengthFailsInsteadOfDividingByZero) {
  ConsoleCapture console;
  const Handle port = openPort();
  target.updateGranularity = 0;
  EXPECT_EQ(downloadVroc(port, target, imageSize), 1u);
  EXPECT_TRUE(platform.calls.empty());
  EXPECT_EQ(console.text(), "\n  [FAIL] Firmware download failed.\n");
}

TEST_F(VrocPath, ActivationReadsEveryDriverStatusAndTheCompletionEntry) {
  struct Case {
    std::uint32_t returnCode;
    std::uint32_t dword3;
    std::uint32_t result;
    std::string message;
  };
  const Case cases[] = {
      {0, 0x00000000, 1602, "  [PASS] Firmware activation succeeded. Please reboot computer.\n\n"},
      {0, 0x0001FFFF, 1602, "  [PASS] Firmware activation succeeded. Please reboot computer.\n\n"},
      {0, 0x00020000, 5, "  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: 0x00000001\n"},
      // Reset-required statuses are failures too (0x10B: conventional reset).
      {0, 0x010Bu << 17, 5,
       "  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: 0x0000010b\n"},
      {0, 0xFFFFFFFF, 5, "  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: 0x00007fff\n"},
      {1, 0, 1, "  [ERROR] NVME_IOCTL_INVALID_IOCTL_CODE\n\n"},
      {2, 0, 1, "  [ERROR] NVME_IOCTL_INVALID_SIGNATURE\n\n"},
      {3, 0, 1, "  [ERROR] NVME_IOCTL_INSUFFICIENT_IN_BUFFER\n\n"},
      {4, 0, 1, "  [ERROR] NVME_IOCTL_INSUFFICIENT_OUT_BUFFER\n\n"},
      {5, 0, 1, "  [ERROR] NVME_IOCTL_UNSUPPORTED_ADMIN_CMD\n\n"},
      {6, 0, 1, "  [ERROR] NVME_IOCTL_UNSUPPORTED_NVM_CMD\n\n"},
      {7, 0, 1, "  [ERROR] NVME_IOCTL_INVALID_ADMIN_VENDOR_SPECIFIC_OPCODE\n\n"},
      {8, 0, 1, "  [ERROR] NVME_IOCTL_INVALID_NVM_VENDOR_SPECIFIC_OPCODE\n\n"},
      {9, 0, 1, "  [ERROR] NVME_IOCTL_ADMIN_VENDOR_SPECIFIC_NOT_SUPPORTED\n\n"},
      {10, 0, 1, "  [ERROR] NVME_IOCTL_NVM_VENDOR_SPECIFIC_NOT_SUPPORTED\n\n"},
      {11, 0, 1, "  [ERROR] NVME_IOCTL_INVALID_DIRECTION_SPECIFIED\n\n"},
      {12, 0, 1, "  [ERROR] NVME_IOCTL_INVALID_META_BUFFER_LENGTH\n\n"},
      {13, 0, 1, "  [ERROR] NVME_IOCTL_PRP_TRANSLATION_ERROR\n\n"},
      {14, 0, 1, "  [ERROR] NVME_IOCTL_INVALID_PATH_TARGET_ID\n\n"},
      {15, 0, 1, "  [ERROR] NVME_IOCTL_FORMAT_NVM_PENDING\n\n"},
      // A driver status is read before the completion entry.
      {15, 0x00020000, 1, "  [ERROR] NVME_IOCTL_FORMAT_NVM_PENDING\n\n"},
      {16, 0, 1, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 16\n\n"},
      {0x80000000u, 0, 1,
       "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode -2147483648\n\n"},
  };
  for (const Case& c : cases) {
    ScriptedPlatform fresh;
    fresh.openable.insert(kPort2);
    fresh.answer = completeWith(c.returnCode, c.dword3);
    ConsoleCapture console;
    const Handle port = fresh.CreateFileW(kPort2.c_str(), 0, 0, 3, 0);

    EXPECT_EQ(activateVroc(port, 9), c.result) << c.returnCode << " " << c.dword3;

    ASSERT_EQ(fresh.calls.size(), 1u);
    EXPECT_EQ(fresh.calls[0].input, expectedCommit(9));
    EXPECT_EQ(console.text(), c.message);
  }
}

TEST_F(VrocPath, AnActivationRequestThatFailsIsReportedInUpperCaseHex) {
  platform.answer = [](const IoCall&, std::uint8_t*, std::uint32_t&) { return ERROR_IO_DEVICE; };
  ConsoleCapture console;
  EXPECT_EQ(activateVroc(openPort(), 3), 1u);
  EXPECT_EQ(console.text(), "  [ERROR] Firmware activate IOCTL failed: 0x45D\n");
}

}  // namespace
}  // namespace koa::test::vroc
