// What updateInboxDrive and identifyInboxDrive return and write, on every
// way out, against a scripted drive.
#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/console_capture.h"
#include "tests/support/expected_text.h"
#include "tests/support/inbox_drive.h"
#include "tests/support/patterned_image.h"
#include "tests/support/scripted_platform.h"
#include "transfer/inbox_path.h"

namespace koa::test::inbox {
namespace {

// The block inboxTarget() is shown with.
const std::string kDisplayBlock =
    displayBlock({.model = "TORVALE NVME SSD 1TB", .serial = "S0TEST0001", .current = "GXB3LTMW"});

class InboxUpdate : public ::testing::Test {
 protected:
  void SetUp() override { drive.install(platform); }

  std::int32_t update(std::int32_t granularity = 1) {
    const std::uint32_t imageSize = 0x200000;
    const std::int32_t result = updateInboxDrive(inboxTarget(granularity), imageSize);
    EXPECT_EQ(platform.openHandles(), 0) << "a handle was left open";
    expectInboxOpens(platform);
    return result;
  }

  std::size_t functionCount(std::uint32_t function) const {
    std::size_t count = 0;
    for (const auto& request : platform.calls)
      if (le32(request.input, 36) == function) ++count;
    return count;
  }

  PatternedImage image{u"GXB4LTMW"};
  ScriptedPlatform platform;
  FakeFirmwareDrive drive;
  ConsoleCapture console;
};

TEST_F(InboxUpdate, ASuccessfulUpdateWritesOnlyTheDisplayBlock) {
  EXPECT_EQ(update(), 0);
  EXPECT_EQ(console.text(), kDisplayBlock);
  EXPECT_EQ(functionCount(2), 512u);
  EXPECT_EQ(functionCount(3), 1u);
}

TEST_F(InboxUpdate, PowerCycleRequiredIsReportedAs1602) {
  drive.activateStatus = 0x20;
  EXPECT_EQ(update(), 1602);
  EXPECT_EQ(console.text(), kDisplayBlock);
}

TEST_F(InboxUpdate, AnyOtherActivationStatusRefusesWithoutAMessage) {
  for (std::uint32_t status : {0x1u, 0x7u, 0x21u, 0x40u}) {
    drive.activateStatus = status;
    const std::size_t before = console.text().size();
    EXPECT_EQ(update(), 1) << status;
    EXPECT_EQ(console.text().substr(before), kDisplayBlock);
  }
}

TEST_F(InboxUpdate, AFailedActivationCallIsReportedWithItsError) {
  drive.activateError = 0x45D;
  EXPECT_EQ(update(), 5);
  EXPECT_EQ(console.text(), kDisplayBlock + "DeviceIO failed. activate failed: 0x45d\n");
}

TEST_F(InboxUpdate, ADriveThatCannotBeOpenedGetsTheHandleMessageAndNoRequest) {
  platform.refusedPaths[inboxTarget().devicePath] = 5;
  EXPECT_EQ(update(), 5);
  EXPECT_EQ(console.text(), kDisplayBlock + "  [ERROR] Failed to get disk handle: 0x5\n\n");
  EXPECT_TRUE(platform.calls.empty());
}

TEST_F(InboxUpdate, AFailedGetInfoCallEndsTheUpdate) {
  drive.getInfoError = 0x1F;
  EXPECT_EQ(update(), 5);
  EXPECT_EQ(console.text(), kDisplayBlock + "Get device Information Failed: 0x1f\n");
  EXPECT_EQ(platform.calls.size(), 1u);
}

TEST_F(InboxUpdate, AGetInfoStatusEndsTheUpdate) {
  drive.getInfoStatus = 0x3;
  EXPECT_EQ(update(), 5);
  EXPECT_EQ(console.text(), kDisplayBlock + "Get device info failed. ReturnCode: 0x3\n");
  EXPECT_EQ(platform.calls.size(), 1u);
}

TEST_F(InboxUpdate, TheFirstWritableSlotIsActivated) {
  drive.slots = {{1, true}, {2, false}, {3, false}};
  EXPECT_EQ(update(), 0);
  EXPECT_EQ(platform.calls.back().input.at(60), 2u);
}

TEST_F(InboxUpdate, NoWritableSlotRefusesWithoutDownloadingOrWriting) {
  for (auto slots : {std::vector<FakeFirmwareDrive::Slot>{{1, true}, {2, true}},
                     std::vector<FakeFirmwareDrive::Slot>{}}) {
    drive.slots = slots;
    platform.calls.clear();
    const std::size_t before = console.text().size();
    EXPECT_EQ(update(), 1);
    EXPECT_EQ(console.text().substr(before), kDisplayBlock);
    EXPECT_EQ(platform.calls.size(), 1u);
  }
}

TEST_F(InboxUpdate, NoUpgradeSupportRefusesEvenWithAWritableSlot) {
  drive.upgradeSupport = 0;
  EXPECT_EQ(update(), 1);
  EXPECT_EQ(platform.calls.size(), 1u);
}

TEST_F(InboxUpdate, AVersionTwoAnswerIsReadWithItsOwnSlotLayout) {
  // Read as version 1, slot 1's entry would begin at byte 16 (inside the
  // version 2 header, which is zero there) and be taken as writable slot 0.
  drive.infoVersion = 2;
  drive.slots = {{1, true}, {4, false}};
  EXPECT_EQ(update(), 0);
  EXPECT_EQ(platform.calls.back().input.at(60), 4u);
}

TEST_F(InboxUpdate, AnUnknownInfoVersionIsAFailedGetInfo) {
  drive.infoVersion = 3;
  EXPECT_EQ(update(), 5);
  EXPECT_EQ(console.text(), kDisplayBlock + "Get device info failed. Unsupported Version: 0x3\n");
  EXPECT_EQ(platform.calls.size(), 1u);
}

TEST_F(InboxUpdate, InformationPlacedOutsideTheBufferIsNeverRead) {
  drive.infoOffset = 4172 - 8;  // the header would end past the 4,172-byte buffer
  EXPECT_EQ(update(), 5);
  EXPECT_EQ(console.text(),
            kDisplayBlock + "Get device info failed. DataBufferOffset out of range: 0x1044\n");
  EXPECT_EQ(platform.calls.size(), 1u);
}

TEST_F(InboxUpdate, AHugeDataBufferOffsetIsNeverRead) {
  drive.infoOffset = 0xFFFFFFF0u;
  EXPECT_EQ(update(), 5);
  EXPECT_EQ(console.text(),
            kDisplayBlock + "Get device info failed. DataBufferOffset out of range: 0xfffffff0\n");
}

TEST_F(InboxUpdate, SlotEntriesPlacedOutsideTheBufferAreNeverRead) {
  // 4,172 - 4,000 = 172 bytes from the info: room for the header and 9 slots.
  drive.infoOffset = 4000;
  drive.slots.assign(10, {1, false});
  EXPECT_EQ(update(), 5);
  EXPECT_EQ(console.text(), kDisplayBlock + "Get device info failed. SlotCount out of range: 0xa\n");
  EXPECT_EQ(platform.calls.size(), 1u);
  drive.slots.assign(9, {1, false});
  EXPECT_EQ(update(), 0);
}

TEST_F(InboxUpdate, AFailedPieceCallStopsTheDownloadBeforeTheActivation) {
  drive.failingPiece = 3;
  drive.pieceError = 0x79;
  EXPECT_EQ(update(), 5);
  EXPECT_EQ(console.text(), kDisplayBlock + "DeviceIO failed. Function: 0x79\n");
  EXPECT_EQ(functionCount(2), 4u);
  EXPECT_EQ(functionCount(3), 0u);
}

TEST_F(InboxUpdate, APieceAnsweredWithAStatusStopsTheDownloadBeforeTheActivation) {
  drive.failingPiece = 1;
  drive.pieceStatus = 1;
  EXPECT_EQ(update(8), 5);
  EXPECT_EQ(console.text(), kDisplayBlock + "DeviceIO failed. ReturnCode: 0x1\n");
  EXPECT_EQ(functionCount(2), 2u);
  EXPECT_EQ(functionCount(3), 0u);
}

TEST(InboxIdentify, FillsTheRecordFromTheIdentifyDataAndAppendsIt) {
  ScriptedPlatform platform;
  FakeFirmwareDrive drive;
  drive.identify = [](std::uint8_t* data) {
    putAscii(data, 4, "S0TEST0001          ");
    putAscii(data, 24, "TORVALE");
    putAscii(data, 64, "GXB3LTMW");
    data[81] = 3;
    data[82] = 1;
    data[319] = 8;
  };
  drive.install(platform);
  DriveRecord candidate = makeCandidate(DriverKind::Inbox, u"\\\\.\\PHYSICALDRIVE4", 12);
  DriveList drives(1);
  EXPECT_EQ(identifyInboxDrive(candidate, drives), 0);
  ASSERT_EQ(drives.size(), 2u);
  const DriveRecord& drive4 = drives[1];
  EXPECT_EQ(drive4.devicePath, u"\\\\.\\PHYSICALDRIVE4");
  EXPECT_EQ(drive4.serialNumber, u"S0TEST0001          ");
  EXPECT_EQ(drive4.modelNumber, u"TORVALE");
  EXPECT_EQ(drive4.firmwareRevision, u"GXB3LTMW");
  EXPECT_EQ(drive4.updateGranularity, 8);
  EXPECT_EQ(drive4.pathId, -1);
  EXPECT_EQ(drive4.driverKind, DriverKind::Inbox);
  EXPECT_EQ(platform.openHandles(), 0);
  expectInboxOpens(platform);
}

TEST(InboxIdentify, ADriveThatCannotBeOpenedIsReportedAndNotListed) {
  ScriptedPlatform platform;
  platform.refusedPaths[inboxTarget().devicePath] = 0x20;
  ConsoleCapture console;
  DriveList drives;
  EXPECT_EQ(identifyInboxDrive(inboxTarget(), drives), 2);
  EXPECT_TRUE(drives.empty());
  EXPECT_EQ(console.text(), "  [ERROR] Failed to get disk handle: 0x20\n\n");
  expectInboxOpens(platform);
}

TEST(InboxIdentify, AFailedQueryIsSilentAndNotListed) {
  ScriptedPlatform platform;
  FakeFirmwareDrive drive;
  drive.identifyError = ERROR_INVALID_FUNCTION;
  drive.install(platform);
  ConsoleCapture console;
  DriveList drives;
  EXPECT_EQ(identifyInboxDrive(inboxTarget(), drives), 5);
  EXPECT_TRUE(drives.empty());
  EXPECT_EQ(console.text(), "");
  EXPECT_EQ(platform.openHandles(), 0);
  expectInboxOpens(platform);
}

}  // namespace
}  // namespace koa::test::inbox
