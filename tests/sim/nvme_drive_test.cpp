#include "sim/nvme_drive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_bytes.h"

namespace koa::sim {
namespace {

nlohmann::json baseDrive() {
  return {{"serialNumber", "KOA123"},
          {"modelNumber", "KOA NVMe SSD"},
          {"firmwareRevision", "GXB3LTMW"},
          {"pciVendorId", "0xD5A7"},
          {"version", {{"major", 1}, {"minor", 3}}},
          {"fwug", 1},
          {"expectedImageLength", 16384},
          {"slots",
           {{{"number", 1}, {"readOnly", true}, {"revision", "GXB1LTMW"}},
            {{"number", 2}, {"readOnly", false}, {"revision", "GXB3LTMW"}}}},
          {"activeSlot", 2}};
}

NvmeDrive driveFrom(const nlohmann::json& description) {
  return NvmeDrive::fromDescription(JsonField(description, "/drives/d"));
}

std::string loadFailure(const nlohmann::json& description) {
  try {
    (void)driveFrom(description);
  } catch (const DescriptionError& e) {
    return e.what();
  }
  return "<loaded>";
}

// An image whose every dword differs, with `revision` at 0x42.
std::vector<std::uint8_t> image(std::size_t length, const std::string& revision = "GXB4LTMW") {
  std::vector<std::uint8_t> bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 256) & 0xFF);
  std::copy(revision.begin(), revision.end(), bytes.begin() + 0x42);
  return bytes;
}

std::uint16_t sendWhole(NvmeDrive& drive, const std::vector<std::uint8_t>& bytes, std::size_t piece) {
  for (std::size_t offset = 0; offset < bytes.size(); offset += piece) {
    const std::size_t length = std::min(piece, bytes.size() - offset);
    const std::uint16_t status = drive.firmwareImageDownload(offset, std::span(bytes).subspan(offset, length));
    if (status != kNvmeSuccess) return status;
  }
  return kNvmeSuccess;
}

std::string textAt(const std::vector<std::uint8_t>& data, std::size_t offset, std::size_t length) {
  return std::string(data.begin() + offset, data.begin() + offset + length);
}

TEST(NvmeDriveIdentify, GeneratedDataCarriesTheDescribedFieldsAtTheirOffsets) {
  auto description = baseDrive();
  description["fwug"] = 8;
  description["activation"] = "reset";
  const auto data = driveFrom(description).identify();
  ASSERT_EQ(data.size(), 4096u);
  EXPECT_EQ(le16(data, 0), 0xD5A7);
  EXPECT_EQ(textAt(data, 4, 20), "KOA123              ");
  EXPECT_EQ(textAt(data, 24, 40), "KOA NVMe SSD" + std::string(28, ' '));
  EXPECT_EQ(textAt(data, 64, 8), "GXB3LTMW");
  EXPECT_EQ(data[80], 0);
  EXPECT_EQ(data[81], 3);
  EXPECT_EQ(le16(data, 82), 1);
  EXPECT_EQ(le16(data, 256) & 0x4, 0x4);  // OACS: firmware commands
  EXPECT_EQ(data[260], (2 << 1) | 1);      // FRMW: two slots, slot 1 read-only, reset needed
  EXPECT_EQ(data[319], 8);
  auto immediate = baseDrive();
  immediate["slots"][0]["readOnly"] = false;
  EXPECT_EQ(driveFrom(immediate).identify()[260], (2 << 1) | 0x10);
}

TEST(NvmeDriveIdentify, RawBytesAndPatchesOverrideTheGeneratedData) {
  auto description = baseDrive();
  description["identifyHex"] = "a7d5";
  description["identifyPatches"] = {{{"offset", 64}, {"hex", "4758423300000000"}}};
  const auto data = driveFrom(description).identify();
  ASSERT_EQ(data.size(), 4096u);
  EXPECT_EQ(le16(data, 0), 0xD5A7);
  EXPECT_EQ(data[4], 0);  // nothing generated behind raw bytes
  EXPECT_EQ(textAt(data, 64, 8), std::string("GXB3\0\0\0\0", 8));
}

TEST(NvmeDriveDownload, PiecesMustBeDwordAlignedAndInsideTheImage) {
  auto description = baseDrive();
  description["fwug"] = 0xFF;  // no granularity restriction
  NvmeDrive drive = driveFrom(description);
  const auto bytes = image(16384);
  EXPECT_EQ(drive.firmwareImageDownload(0, std::span(bytes).first(6)), kNvmeInvalidField);
  EXPECT_EQ(drive.firmwareImageDownload(2, std::span(bytes).first(8)), kNvmeInvalidField);
  EXPECT_EQ(drive.firmwareImageDownload(0, {}), kNvmeInvalidField);
  EXPECT_EQ(drive.firmwareImageDownload(16380, std::span(bytes).first(8)), kNvmeInvalidField);
  EXPECT_EQ(drive.firmwareImageDownload(16384, std::span(bytes).first(4)), kNvmeInvalidField);
  EXPECT_EQ(drive.acceptedPieces(), 0u);
  EXPECT_EQ(drive.firmwareImageDownload(0, std::span(bytes).first(12)), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareImageDownload(12, std::span(bytes).subspan(12, 4)), kNvmeSuccess);
  EXPECT_EQ(drive.received().length, 16u);
}

TEST(NvmeDriveDownload, GranularityBindsOffsetAndLengthExceptForTheLastPiece) {
  auto description = baseDrive();
  description["fwug"] = 2;  // 8,192-byte units
  description["expectedImageLength"] = 20480;
  NvmeDrive drive = driveFrom(description);
  const auto bytes = image(20480);
  EXPECT_EQ(drive.firmwareImageDownload(0, std::span(bytes).first(4096)), kNvmeInvalidField);
  EXPECT_EQ(drive.firmwareImageDownload(0, std::span(bytes).first(8192)), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareImageDownload(8192, std::span(bytes).subspan(8192, 4096)), kNvmeInvalidField);
  EXPECT_EQ(drive.firmwareImageDownload(12288, std::span(bytes).subspan(12288, 8192)), kNvmeInvalidField);
  EXPECT_EQ(drive.firmwareImageDownload(8192, std::span(bytes).subspan(8192, 8192)), kNvmeSuccess);
  // 4,096 bytes are left: a short piece is fine when it ends the image.
  EXPECT_EQ(drive.firmwareImageDownload(16384, std::span(bytes).subspan(16384, 4096)), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeSuccess);
  EXPECT_EQ(drive.runningRevision(), "GXB4LTMW");
}

TEST(NvmeDriveDownload, GranularityZeroMeansNoRestriction) {
  auto description = baseDrive();
  description["fwug"] = 0;
  NvmeDrive drive = driveFrom(description);
  const auto bytes = image(16384);
  EXPECT_EQ(sendWhole(drive, bytes, 1000), kNvmeSuccess);  // 1,000 is a multiple of 4
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeSuccess);
}

TEST(NvmeDriveDownload, OverlappingPieceIsRejectedAndAPieceAtZeroStartsAgain) {
  NvmeDrive drive = driveFrom(baseDrive());
  const auto bytes = image(16384);
  ASSERT_EQ(drive.firmwareImageDownload(0, std::span(bytes).first(8192)), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareImageDownload(4096, std::span(bytes).subspan(4096, 4096)), kNvmeOverlappingRange);
  // Starting over at 0 drops the first attempt: the whole image then commits.
  EXPECT_EQ(sendWhole(drive, bytes, 4096), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeSuccess);
  EXPECT_EQ(drive.received().length, 8192u + 16384u);
  // The committed image is the second attempt alone, not the bytes received.
  ASSERT_TRUE(drive.committed().has_value());
  EXPECT_EQ(drive.committed()->sha256, sha256(bytes));
  EXPECT_NE(drive.received().sha256, sha256(bytes));
}

TEST(NvmeDriveCommit, WholeImageInOrderReplacesTheSlotAndActivatesAtOnce) {
  NvmeDrive drive = driveFrom(baseDrive());
  const auto bytes = image(16384);
  ASSERT_EQ(sendWhole(drive, bytes, 4096), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeSuccess);
  EXPECT_EQ(drive.runningRevision(), "GXB4LTMW");
  EXPECT_EQ(textAt(drive.identify(), 64, 8), "GXB4LTMW");
  EXPECT_FALSE(drive.activationPending());
  ASSERT_TRUE(drive.committed().has_value());
  EXPECT_EQ(drive.committed()->length, 16384u);
  EXPECT_EQ(drive.committed()->sha256, sha256(bytes));
  EXPECT_EQ(drive.received().sha256, sha256(bytes));
  const auto info = drive.firmwareSlotInfo();
  EXPECT_EQ(info.activeSlot, 2);
  EXPECT_EQ(info.slots[1].revision, "GXB4LTMW");
  EXPECT_EQ(info.slots[0].revision, "GXB1LTMW");
}

TEST(NvmeDriveCommit, ResetBehaviourDefersActivationUntilTheNextReset) {
  auto description = baseDrive();
  description["activation"] = "reset";
  NvmeDrive drive = driveFrom(description);
  ASSERT_EQ(sendWhole(drive, image(16384), 4096), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeSuccess);
  EXPECT_EQ(drive.runningRevision(), "GXB3LTMW");
  EXPECT_EQ(drive.revisionAfterReset(), "GXB4LTMW");
  EXPECT_TRUE(drive.activationPending());
  EXPECT_EQ(drive.firmwareSlotInfo().pendingActivateSlot, 2);
  drive.reset();
  EXPECT_EQ(drive.runningRevision(), "GXB4LTMW");
  EXPECT_FALSE(drive.activationPending());
}

TEST(NvmeDriveCommit, CommitActionsZeroOneAndTwo) {
  NvmeDrive drive = driveFrom(baseDrive());
  ASSERT_EQ(sendWhole(drive, image(16384), 4096), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplace), kNvmeSuccess);  // replaced, not activated
  EXPECT_EQ(drive.firmwareSlotInfo().slots[1].revision, "GXB4LTMW");
  EXPECT_EQ(drive.runningRevision(), "GXB3LTMW");
  EXPECT_EQ(drive.revisionAfterReset(), "GXB4LTMW");  // a reset loads the active slot's new image
  EXPECT_EQ(drive.firmwareCommit(1, kCommitActivateAtReset), kNvmeSuccess);
  EXPECT_EQ(drive.revisionAfterReset(), "GXB1LTMW");
  ASSERT_EQ(sendWhole(drive, image(16384, "GXB5LTMW"), 4096), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateAtReset), kNvmeSuccess);
  // A second image in one run: committed is that image, received both.
  ASSERT_TRUE(drive.committed().has_value());
  EXPECT_EQ(drive.committed()->sha256, sha256(image(16384, "GXB5LTMW")));
  EXPECT_EQ(drive.received().length, 2u * 16384u);
  EXPECT_EQ(drive.runningRevision(), "GXB3LTMW");
  EXPECT_EQ(drive.revisionAfterReset(), "GXB5LTMW");
}

TEST(NvmeDriveCommit, ImageThatIsNotWholeOrNotInOrderIsInvalidAndChangesNothing) {
  const auto bytes = image(16384);
  {
    NvmeDrive drive = driveFrom(baseDrive());
    ASSERT_EQ(drive.firmwareImageDownload(0, std::span(bytes).first(12288)), kNvmeSuccess);
    EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeInvalidFirmwareImage);
    EXPECT_EQ(drive.runningRevision(), "GXB3LTMW");
    EXPECT_EQ(drive.firmwareSlotInfo().slots[1].revision, "GXB3LTMW");
    EXPECT_FALSE(drive.committed().has_value());
  }
  {
    NvmeDrive drive = driveFrom(baseDrive());
    for (std::size_t offset : {0u, 8192u, 4096u, 12288u})
      ASSERT_EQ(drive.firmwareImageDownload(offset, std::span(bytes).subspan(offset, 4096)), kNvmeSuccess);
    EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeInvalidFirmwareImage);
    EXPECT_EQ(drive.revisionAfterReset(), "GXB3LTMW");
  }
  {
    NvmeDrive drive = driveFrom(baseDrive());
    EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeInvalidFirmwareImage);
  }
}

TEST(NvmeDriveCommit, ReadOnlyOrAbsentSlotIsInvalid) {
  NvmeDrive drive = driveFrom(baseDrive());
  ASSERT_EQ(sendWhole(drive, image(16384), 4096), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareCommit(1, kCommitReplaceActivateNow), kNvmeInvalidFirmwareSlot);
  EXPECT_EQ(drive.firmwareCommit(3, kCommitReplaceActivateNow), kNvmeInvalidFirmwareSlot);
  EXPECT_EQ(drive.firmwareCommit(2, 5), kNvmeInvalidField);
  EXPECT_EQ(drive.firmwareSlotInfo().slots[0].revision, "GXB1LTMW");
  // The staged image survived the refusals.
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeSuccess);
  EXPECT_EQ(drive.runningRevision(), "GXB4LTMW");
}

TEST(NvmeDriveCommit, ForcedStatusOnTheNthCommit) {
  auto description = baseDrive();
  description["commitStatus"] = {{"status", "0x107"}, {"nth", 1}};
  NvmeDrive drive = driveFrom(description);
  ASSERT_EQ(sendWhole(drive, image(16384), 4096), kNvmeSuccess);
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeInvalidFirmwareImage);
  EXPECT_EQ(drive.runningRevision(), "GXB3LTMW");
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeSuccess);
  EXPECT_EQ(drive.runningRevision(), "GXB4LTMW");
}

TEST(NvmeDriveCommit, ForcedResetRequiredStatusCommitsAndWaitsForTheReset) {
  for (std::uint16_t status : {kNvmeActivationRequiresConventionalReset, kNvmeActivationRequiresSubsystemReset,
                               kNvmeActivationRequiresControllerReset}) {
    auto description = baseDrive();
    description["commitStatus"] = {{"status", status}};
    NvmeDrive drive = driveFrom(description);
    ASSERT_EQ(sendWhole(drive, image(16384), 4096), kNvmeSuccess);
    EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), status);
    EXPECT_EQ(drive.runningRevision(), "GXB3LTMW");
    EXPECT_EQ(drive.revisionAfterReset(), "GXB4LTMW");
  }
}

TEST(NvmeDriveCommit, DriveWithoutFirmwareCommandsRefusesThem) {
  auto description = baseDrive();
  description["upgradeSupport"] = false;
  NvmeDrive drive = driveFrom(description);
  EXPECT_EQ(drive.firmwareImageDownload(0, image(4096)), kNvmeInvalidOpcode);
  EXPECT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateNow), kNvmeInvalidOpcode);
  EXPECT_EQ(le16(drive.identify(), 256) & 0x4, 0);
}

TEST(NvmeDriveState, StateAfterResetLoadsAsTheUpdatedDrive) {
  auto description = baseDrive();
  description["activation"] = "reset";
  NvmeDrive drive = driveFrom(description);
  const auto bytes = image(16384);
  ASSERT_EQ(sendWhole(drive, bytes, 4096), kNvmeSuccess);
  ASSERT_EQ(drive.firmwareCommit(2, kCommitReplaceActivateAtReset), kNvmeSuccess);
  const nlohmann::json state = drive.stateAfterReset();
  EXPECT_EQ(state["firmwareRevision"], "GXB4LTMW");
  EXPECT_EQ(state["activeSlot"], 2);
  EXPECT_EQ(state["received"]["length"], 16384);
  EXPECT_EQ(state["received"]["sha256"], toHex(sha256(bytes)));
  EXPECT_EQ(state["committed"]["sha256"], toHex(sha256(bytes)));
  const NvmeDrive rebooted = driveFrom(state);
  EXPECT_EQ(rebooted.runningRevision(), "GXB4LTMW");
  EXPECT_EQ(textAt(rebooted.identify(), 64, 8), "GXB4LTMW");
  EXPECT_EQ(rebooted.received().length, 0u);  // a new run has received nothing yet
  EXPECT_EQ(rebooted.identify(), [&] { drive.reset(); return drive.identify(); }());
}

TEST(NvmeDriveDescription, MalformedDrivesAreNamedByField) {
  auto mismatch = baseDrive();
  mismatch["firmwareRevision"] = "GXB2LTMW";
  EXPECT_EQ(loadFailure(mismatch),
            "/drives/d/firmwareRevision: differs from the revision of the active slot (\"GXB3LTMW\")");
  auto numbering = baseDrive();
  numbering["slots"][1]["number"] = 3;
  EXPECT_EQ(loadFailure(numbering), "/drives/d/slots/1/number: slots must be numbered 1, 2, ... in order");
  auto longSerial = baseDrive();
  longSerial["serialNumber"] = std::string(21, 'S');
  EXPECT_EQ(loadFailure(longSerial), "/drives/d/serialNumber: longer than 20 characters");
  auto badHex = baseDrive();
  badHex["identifyHex"] = "0g";
  EXPECT_EQ(loadFailure(badHex), "/drives/d/identifyHex: expected hex text (pairs of 0-9, a-f)");
  auto noActive = baseDrive();
  noActive["activeSlot"] = 4;
  EXPECT_EQ(loadFailure(noActive), "/drives/d/activeSlot: no such slot in \"slots\"");
  auto typo = baseDrive();
  typo["fwgu"] = 1;
  EXPECT_EQ(loadFailure(typo), "/drives/d/fwgu: unknown field");
  auto behaviour = baseDrive();
  behaviour["activation"] = "later";
  EXPECT_EQ(loadFailure(behaviour), "/drives/d/activation: expected \"immediate\" or \"reset\"");
  auto missing = baseDrive();
  missing.erase("modelNumber");
  EXPECT_EQ(loadFailure(missing), "/drives/d/modelNumber: missing required field");
  auto wrongType = baseDrive();
  wrongType["fwug"] = "eight";
  EXPECT_EQ(loadFailure(wrongType), "/drives/d/fwug: expected a number or \"0x\" hex text, found \"eight\"");
  auto tooBig = baseDrive();
  tooBig["fwug"] = 256;
  EXPECT_EQ(loadFailure(tooBig), "/drives/d/fwug: expected a number from 0 to 255, found 256");
  auto pendingEmpty = baseDrive();
  pendingEmpty["slots"].push_back({{"number", 3}});
  pendingEmpty["pendingSlot"] = 3;
  EXPECT_EQ(loadFailure(pendingEmpty), "/drives/d/pendingSlot: the slot holds no image");
  auto pendingAbsent = baseDrive();
  pendingAbsent["pendingSlot"] = 3;
  EXPECT_EQ(loadFailure(pendingAbsent), "/drives/d/pendingSlot: no such slot in \"slots\"");
  auto notReplaced = baseDrive();
  notReplaced["activeSlotReplaced"] = true;
  EXPECT_EQ(loadFailure(notReplaced),
            "/drives/d/activeSlotReplaced: the active slot holds the running revision (\"GXB3LTMW\")");
}

TEST(NvmeDriveDescription, WithoutSlotsTheDriveHasOneWritableSlotRunningItsRevision) {
  auto description = baseDrive();
  description.erase("slots");
  description.erase("activeSlot");
  const NvmeDrive drive = driveFrom(description);
  const auto info = drive.firmwareSlotInfo();
  ASSERT_EQ(info.slots.size(), 1u);
  EXPECT_EQ(info.slots[0].number, 1);
  EXPECT_FALSE(info.slots[0].readOnly);
  EXPECT_EQ(info.slots[0].revision, "GXB3LTMW");
  EXPECT_EQ(info.activeSlot, 1);
  EXPECT_EQ(drive.identify()[260], (1 << 1) | 0x10);
}

}  // namespace
}  // namespace koa::sim
