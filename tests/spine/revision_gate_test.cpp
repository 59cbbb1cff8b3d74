#include <gtest/gtest.h>

#include "app/update_session.h"
#include "transfer/firmware_image.h"

namespace koa {
namespace {

DriveRecord drive(std::u16string revision, DriverKind kind = DriverKind::Inbox, std::u16string serial = u"S") {
  DriveRecord record = makeCandidate(kind, u"\\\\.\\PHYSICALDRIVE0", -1);
  record.firmwareRevision = std::move(revision);
  record.serialNumber = std::move(serial);
  return record;
}

class RevisionGate : public ::testing::Test {
 protected:
  void SetUp() override { imageRevision = u"GXB4LTMW"; }
  void TearDown() override { loadImage(); }

  std::vector<std::u16string> selectedSerials() {
    EXPECT_EQ(session.discovery->selectTargets(session.targets, imageRevision), 1);
    std::vector<std::u16string> serials;
    for (const auto& target : session.targets) serials.push_back(target.serialNumber);
    return serials;
  }

  UpdateSession session;
};

TEST_F(RevisionGate, EmptyDriveListGivesNoTarget) {
  EXPECT_TRUE(selectedSerials().empty());
}

TEST_F(RevisionGate, EachReplaceableRevisionQualifies) {
  for (const char16_t* revision : {u"GXR4LTMW", u"GXB3LTMW", u"GXB2LTMW", u"GXB1LTMW"})
    session.discovery->drives.push_back(drive(revision, DriverKind::Inbox, revision));
  EXPECT_EQ(selectedSerials(),
            (std::vector<std::u16string>{u"GXR4LTMW", u"GXB3LTMW", u"GXB2LTMW", u"GXB1LTMW"}));
}

TEST_F(RevisionGate, OnlyExactRevisionsQualify) {
  for (const std::u16string& revision :
       {std::u16string(u"GXB4LTMW"), std::u16string(u"GXR4LTMW "), std::u16string(u" GXR4LTMW"),
        std::u16string(u"gxr4ltmw"), std::u16string(u"GXR4LTM"), std::u16string(u"GXR4LTMW\0", 9),
        std::u16string(u"GXB0LTMW"), std::u16string(u""), std::u16string(u"GXB3LtMW")})
    session.discovery->drives.push_back(drive(revision));
  EXPECT_TRUE(selectedSerials().empty());
}

TEST_F(RevisionGate, SixthCharacterMustAgreeWithTheImage) {
  session.discovery->drives.push_back(drive(u"GXB3LTMW"));
  imageRevision = u"GXB4LXMW";
  EXPECT_TRUE(selectedSerials().empty());
}

TEST_F(RevisionGate, OnlyTheSixthCharacterOfTheImageMatters) {
  session.discovery->drives.push_back(drive(u"GXB3LTMW"));
  imageRevision = u"ZZZZZTZZ";
  EXPECT_EQ(selectedSerials().size(), 1u);
}

TEST_F(RevisionGate, AnImageWithoutRevisionSelectsNothing) {
  session.discovery->drives.push_back(drive(u"GXB3LTMW"));
  imageRevision.clear();
  EXPECT_TRUE(selectedSerials().empty());
}

TEST_F(RevisionGate, KeepsOrderDuplicatesAndWholeRecords) {
  DriveRecord vroc = drive(u"GXB1LTMW", DriverKind::VrocRaid, u"A");
  vroc.pathId = 0x1234;
  vroc.vrocDiskId = 7;
  vroc.updateGranularity = 8;
  vroc.modelNumber = u"MODEL";
  vroc.devicePath = u"\\\\?\\pci#ven_8086";
  session.discovery->drives = {vroc, drive(u"GXB4LTMW", DriverKind::Inbox, u"skip"),
                               drive(u"GXR4LTMW", DriverKind::IrstNonRaid, u"B"), vroc};
  EXPECT_EQ(selectedSerials(), (std::vector<std::u16string>{u"A", u"B", u"A"}));
  const DriveRecord& first = session.targets[0];
  EXPECT_EQ(first.driverKind, DriverKind::VrocRaid);
  EXPECT_EQ(first.pathId, 0x1234);
  EXPECT_EQ(first.vrocDiskId, 7);
  EXPECT_EQ(first.updateGranularity, 8);
  EXPECT_EQ(first.modelNumber, u"MODEL");
  EXPECT_EQ(first.devicePath, u"\\\\?\\pci#ven_8086");
  EXPECT_EQ(session.targets[1].driverKind, DriverKind::IrstNonRaid);
  // Copies: the drive list is not touched.
  EXPECT_EQ(session.discovery->drives.size(), 4u);
}

}  // namespace
}  // namespace koa
