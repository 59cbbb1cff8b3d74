#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/update_session.h"
#include "report/utf16_to_utf8.h"
#include "transfer/firmware_image.h"
#include "update/update_pass.h"

namespace koa {
namespace {

constexpr const char16_t* kQualifying = u"GXB3LTMW";

DriveRecord identified(const DriveRecord& candidate, std::u16string serial,
                       std::u16string revision = kQualifying) {
  DriveRecord record = candidate;
  record.serialNumber = std::move(serial);
  record.firmwareRevision = std::move(revision);
  return record;
}

// Operations that record every call and answer as each test sets up.
class UpdatePass : public ::testing::Test {
 protected:
  void SetUp() override {
    loadImage();
    operations.findIntelRaidController = [this](RaidController& controller) {
      calls.push_back("findIntelRaidController");
      EXPECT_FALSE(controller.present);  // created empty for the run
      controller.present = controllerFound;
      return controllerFound;
    };
    operations.enumerateIntelRaidDisks = [this](DriveDiscovery& discovery, const RaidController& controller) {
      calls.push_back("enumerateIntelRaidDisks");
      EXPECT_TRUE(controller.present);
      for (const auto& record : raidCandidates) discovery.candidates.push_back(record);
    };
    operations.enumerateInboxDrives = [this](DriveDiscovery& discovery) {
      calls.push_back("enumerateInboxDrives");
      for (const auto& record : inboxCandidates) discovery.candidates.push_back(record);
    };
    const auto identify = [this](const char* name) {
      return [this, name](DriveRecord candidate, DriveList& drives) {
        calls.push_back(std::string(name) + " " + utf16ToUtf8(candidate.devicePath));
        for (const auto& record : identifyAnswers[candidate.devicePath]) drives.push_back(record);
      };
    };
    operations.identifyInboxDrive = identify("identifyInboxDrive");
    operations.queryRaidConfig = identify("queryRaidConfig");
    operations.identifyIrstDrive = identify("identifyIrstDrive");
    operations.enumerateVrocMembers = [this](DriveRecord candidate, DriveList& drives, std::int32_t& port) {
      calls.push_back("enumerateVrocMembers " + utf16ToUtf8(candidate.devicePath) + " port " +
                      std::to_string(port));
      for (const auto& record : vrocMembers) drives.push_back(record);
      if (!vrocMembers.empty()) port = vrocPortFound;
    };
    const auto update = [this](const char* name) {
      return [this, name](const DriveRecord& target, const std::uint32_t& imageSize) {
        calls.push_back(std::string(name) + " " + utf16ToUtf8(target.serialNumber) + " size " +
                        std::to_string(imageSize));
        // A path that spoiled the size must not spoil the next target's.
        const_cast<std::uint32_t&>(imageSize) = 17;
        return results.at(target.serialNumber);
      };
    };
    operations.updateInboxDrive = update("updateInboxDrive");
    operations.updateIrstDrive = update("updateIrstDrive");
    operations.updateVrocDrive = [this](const DriveRecord& target, const std::uint32_t& imageSize,
                                        std::int32_t port) {
      calls.push_back("updateVrocDrive " + utf16ToUtf8(target.serialNumber) + " size " +
                      std::to_string(imageSize) + " port " + std::to_string(port));
      return results.at(target.serialNumber);
    };
  }

  std::int32_t run() { return runUpdatePass(*session.discovery, session.targets, imageRevision, operations); }

  std::vector<std::int32_t> targetResults() const {
    std::vector<std::int32_t> codes;
    for (const auto& target : session.targets) codes.push_back(target.updateResult);
    return codes;
  }

  UpdateSession session;
  UpdateOperations operations;
  std::vector<std::string> calls;
  bool controllerFound = false;
  DriveList raidCandidates;
  DriveList inboxCandidates;
  std::map<std::u16string, DriveList> identifyAnswers;
  DriveList vrocMembers;
  std::int32_t vrocPortFound = 3;
  std::map<std::u16string, std::int32_t> results;
};

const DriveRecord kInbox0 = makeCandidate(DriverKind::Inbox, u"PD0", -1);
const DriveRecord kInbox1 = makeCandidate(DriverKind::Inbox, u"PD1", -1);
const DriveRecord kVolume = makeCandidate(DriverKind::IrstRaid, u"RAID", 0);
const DriveRecord kLoose = makeCandidate(DriverKind::IrstNonRaid, u"LOOSE", 2);

TEST_F(UpdatePass, NoCandidateReturns2WithoutCallingTheGate) {
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(calls, (std::vector<std::string>{"findIntelRaidController", "enumerateInboxDrives"}));
  EXPECT_TRUE(session.targets.empty());
}

TEST_F(UpdatePass, ControllerDisksComeBeforeInboxDisks) {
  controllerFound = true;
  raidCandidates = {kLoose};
  inboxCandidates = {kInbox0};
  EXPECT_EQ(run(), 2);
  ASSERT_EQ(session.discovery->candidates.size(), 2u);
  EXPECT_EQ(session.discovery->candidates[0].devicePath, u"LOOSE");
  EXPECT_EQ(calls, (std::vector<std::string>{"findIntelRaidController", "enumerateIntelRaidDisks",
                                             "enumerateInboxDrives", "identifyIrstDrive LOOSE",
                                             "enumerateVrocMembers LOOSE port -1",
                                             "identifyInboxDrive PD0"}));
}

TEST_F(UpdatePass, CandidatesWithoutIdentifyDataGiveNothingToUpdate) {
  inboxCandidates = {kInbox0, kInbox1};
  EXPECT_EQ(run(), 2);
  EXPECT_TRUE(session.targets.empty());
}

TEST_F(UpdatePass, InboxCandidatesNeverLookForVroc) {
  inboxCandidates = {kInbox0, kInbox1};
  vrocMembers = {identified(makeCandidate(DriverKind::VrocRaid, u"PD0", 9), u"V")};
  (void)run();
  EXPECT_EQ(calls, (std::vector<std::string>{"findIntelRaidController", "enumerateInboxDrives",
                                             "identifyInboxDrive PD0", "identifyInboxDrive PD1"}));
}

TEST_F(UpdatePass, VrocIsAskedAfterEachControllerCandidateWhileNoDriveIsKnown) {
  controllerFound = true;
  raidCandidates = {kVolume, kLoose, makeCandidate(DriverKind::IrstNonRaid, u"THIRD", 3)};
  identifyAnswers[u"LOOSE"] = {identified(kLoose, u"L")};
  results[u"L"] = 0;
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"findIntelRaidController", "enumerateIntelRaidDisks",
                                             "enumerateInboxDrives", "queryRaidConfig RAID",
                                             "enumerateVrocMembers RAID port -1", "identifyIrstDrive LOOSE",
                                             "identifyIrstDrive THIRD", "updateIrstDrive L size 2097152"}));
}

TEST_F(UpdatePass, VrocMembersAreUpdatedThroughThePortTheWalkFound) {
  controllerFound = true;
  raidCandidates = {kVolume, kLoose};
  DriveRecord member = identified(makeCandidate(DriverKind::VrocRaid, u"RAID", 0x10), u"M1");
  member.vrocDiskId = 4;
  DriveRecord passThrough = identified(makeCandidate(DriverKind::VrocNonRaid, u"RAID", 0x11), u"M2");
  vrocMembers = {member, passThrough};
  vrocPortFound = 5;
  results = {{u"M1", 0}, {u"M2", 1}};
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "findIntelRaidController", "enumerateIntelRaidDisks", "enumerateInboxDrives",
                       "queryRaidConfig RAID", "enumerateVrocMembers RAID port -1",
                       "identifyIrstDrive LOOSE", "updateVrocDrive M1 size 2097152 port 5",
                       "updateVrocDrive M2 size 2097152 port 5"}));
  EXPECT_EQ(targetResults(), (std::vector<std::int32_t>{0, 1}));
}

TEST_F(UpdatePass, UnknownKindsAreSkipped) {
  inboxCandidates = {makeCandidate(DriverKind::VrocRaid, u"ODD", 1),
                     makeCandidate(static_cast<DriverKind>(9), u"ODDER", 1), kInbox0};
  (void)run();
  EXPECT_EQ(calls, (std::vector<std::string>{"findIntelRaidController", "enumerateInboxDrives",
                                             "identifyInboxDrive PD0"}));
}

TEST_F(UpdatePass, EveryTargetIsUpdatedAndTheLastResultIsReturned) {
  inboxCandidates = {kInbox0, kInbox1};
  identifyAnswers[u"PD0"] = {identified(kInbox0, u"A"), identified(kInbox0, u"skip", u"GXB4LTMW")};
  identifyAnswers[u"PD1"] = {identified(kInbox1, u"B"), identified(kInbox1, u"C")};
  results = {{u"A", 0}, {u"B", 1}, {u"C", 0}};
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(targetResults(), (std::vector<std::int32_t>{0, 1, 0}));
  EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
            (std::vector<std::string>{"updateInboxDrive A size 2097152", "updateInboxDrive B size 2097152",
                                      "updateInboxDrive C size 2097152"}));
  // Results go into the targets only.
  for (const auto& drive : session.discovery->drives) EXPECT_EQ(drive.updateResult, 0);
}

TEST_F(UpdatePass, TheLastResultWinsEvenAfterAFailure) {
  inboxCandidates = {kInbox0};
  identifyAnswers[u"PD0"] = {identified(kInbox0, u"A"), identified(kInbox0, u"B")};
  results = {{u"A", 0}, {u"B", 5}};
  EXPECT_EQ(run(), 5);
  EXPECT_EQ(targetResults(), (std::vector<std::int32_t>{0, 5}));
}

TEST_F(UpdatePass, EachKindGoesToItsOwnPath) {
  controllerFound = true;
  raidCandidates = {kVolume};
  inboxCandidates = {kInbox0};
  identifyAnswers[u"RAID"] = {identified(makeCandidate(DriverKind::IrstRaid, u"RAID", 1), u"R"),
                              identified(makeCandidate(DriverKind::IrstNonRaid, u"RAID", 2), u"N")};
  identifyAnswers[u"PD0"] = {identified(kInbox0, u"I")};
  results = {{u"R", 1602}, {u"N", 0}, {u"I", 1602}};
  EXPECT_EQ(run(), 1602);
  EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
            (std::vector<std::string>{"updateIrstDrive R size 2097152", "updateIrstDrive N size 2097152",
                                      "updateInboxDrive I size 2097152"}));
  EXPECT_EQ(targetResults(), (std::vector<std::int32_t>{1602, 0, 1602}));
}

TEST_F(UpdatePass, TheSameDriveFoundTwiceIsUpdatedTwice) {
  inboxCandidates = {kInbox0, kInbox0};
  identifyAnswers[u"PD0"] = {identified(kInbox0, u"A")};
  results = {{u"A", 0}};
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(session.discovery->drives.size(), 2u);
  EXPECT_EQ(session.targets.size(), 2u);
}

}  // namespace
}  // namespace koa
