// The RAID configuration and Identify queries on the IRST driver: what is
// appended, what is written, which handles stay open.
#include <gtest/gtest.h>

#include <cstring>

#include "discovery/irst_membership.h"
#include "tests/support/bytes.h"
#include "tests/support/console_capture.h"
#include "tests/support/scripted_platform.h"

namespace koa::test {
namespace {

const std::u16string kController = u"\\\\?\\pci#ven_8086&dev_2822#4&1&0&b8#{2accfe60-c130-11d2-b082-00a0c91efb8b}";

struct FakeNvmeDrive {
  std::string serial;    // 20 bytes on the wire
  std::string model;     // 40
  std::string revision;  // 8
  std::uint16_t major = 1;
  std::uint8_t minor = 4;
  std::uint8_t fwug = 8;
};

void putField(std::uint8_t* data, std::size_t offset, std::size_t width, const std::string& text) {
  std::memset(data + offset, ' ', width);
  std::memcpy(data + offset, text.data(), std::min(width, text.size()));
}

// An IRST driver with drives at path ids, a RAID set of the given members,
// and a CSMI answer that can be spoiled.
struct FakeIrstDriver {
  std::map<std::uint8_t, FakeNvmeDrive> drives;
  std::vector<std::uint8_t> raidMembers;  // path ids
  std::uint8_t reportedCount = 0xFF;      // 0xFF: the number of members
  std::uint32_t csmiReturnCode = 0;
  std::uint32_t csmiError = 0;            // fail the CSMI call with this
  std::uint32_t identifyError = 0;

  Answer driver() {
    return [this](const IoCall& call, std::uint8_t* buffer, std::uint32_t&) -> std::uint32_t {
      const std::string signature = ascii(call.input, 4, 8);
      if (signature == std::string("CSMIARY\0", 8)) {
        if (csmiError != 0) return csmiError;
        putLe32(buffer, 20, csmiReturnCode);
        buffer[43] = reportedCount == 0xFF ? static_cast<std::uint8_t>(raidMembers.size()) : reportedCount;
        for (std::size_t i = 0; i < raidMembers.size() && i < 2; ++i) buffer[64 + 136 * i + 90] = raidMembers[i];
        return ERROR_SUCCESS;
      }
      if (signature == "IntelNvm") {
        if (identifyError != 0) return identifyError;
        const auto found = drives.find(call.input[29]);
        if (found == drives.end()) return ERROR_IO_DEVICE;
        std::uint8_t* data = buffer + 164;
        putField(data, 4, 20, found->second.serial);
        putField(data, 24, 40, found->second.model);
        putField(data, 64, 8, found->second.revision);
        data[81] = found->second.minor;
        data[82] = static_cast<std::uint8_t>(found->second.major);
        data[83] = static_cast<std::uint8_t>(found->second.major >> 8);
        data[319] = found->second.fwug;
        return ERROR_SUCCESS;
      }
      return ERROR_INVALID_FUNCTION;
    };
  }
};

DriveRecord raidCandidate() { return makeCandidate(DriverKind::IrstRaid, kController, -1); }

TEST(IrstMembership, RaidSetOfTwoMembersGivesTwoIdentifiedRecords) {
  ScriptedPlatform machine;
  FakeIrstDriver irst;
  irst.drives[1] = {"SER-ONE", "KOA NVMe 2TB", "KOA10205", 1, 4, 8};
  irst.drives[3] = {"SER-THREE", "KOA NVMe 2TB", "KOA10204", 1, 2, 8};
  irst.raidMembers = {1, 3};
  machine.answer = irst.driver();
  ConsoleCapture console;
  DriveList drives;

  EXPECT_EQ(queryRaidConfig(raidCandidate(), drives), 0);

  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].driverKind, DriverKind::IrstRaid);
  EXPECT_EQ(drives[0].devicePath, kController);
  EXPECT_EQ(drives[0].pathId, 1);
  EXPECT_EQ(drives[0].serialNumber, u"SER-ONE             ");
  EXPECT_EQ(drives[0].modelNumber, u"KOA NVMe 2TB                            ");
  EXPECT_EQ(drives[0].firmwareRevision, u"KOA10205");
  EXPECT_EQ(drives[0].updateGranularity, 8);
  EXPECT_EQ(drives[1].pathId, 3);
  EXPECT_EQ(drives[1].serialNumber, u"SER-THREE           ");
  EXPECT_EQ(drives[1].updateGranularity, 1);  // NVMe 1.2 states no granularity
  EXPECT_EQ(console.text(), "");

  // The CSMI answer is read on an exclusive handle that is closed before the
  // members are identified on handles of their own.
  ASSERT_EQ(machine.opens.size(), 3u);
  EXPECT_EQ(machine.opens[0].shareMode, 0u);
  EXPECT_EQ(machine.opens[0].flags, 0u);
  EXPECT_EQ(machine.opens[1].shareMode, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(machine.opens[1].flags, FILE_ATTRIBUTE_NORMAL);  // synchronous I/O
  EXPECT_EQ(machine.sharingViolations, 0);
  EXPECT_EQ(machine.openHandles(), 0);
  ASSERT_EQ(machine.calls.size(), 3u);
  EXPECT_EQ(machine.calls[1].input[29], 1);
  EXPECT_EQ(machine.calls[2].input[29], 3);
}

TEST(IrstMembership, DriveCountAboveTwoUsesTheTwoEntriesTheBufferHolds) {
  ScriptedPlatform machine;
  FakeIrstDriver irst;
  irst.drives[0] = {"A", "M", "KOA10205"};
  irst.drives[1] = {"B", "M", "KOA10205"};
  irst.raidMembers = {0, 1};
  irst.reportedCount = 4;
  machine.answer = irst.driver();
  DriveList drives;
  EXPECT_EQ(queryRaidConfig(raidCandidate(), drives), 0);
  EXPECT_EQ(drives.size(), 2u);
  EXPECT_EQ(machine.calls.size(), 3u);
}

TEST(IrstMembership, FailedCsmiCallIsReportedInUpperCaseHex) {
  ScriptedPlatform machine;
  FakeIrstDriver irst;
  irst.csmiError = 0x1F;  // ERROR_GEN_FAILURE
  machine.answer = irst.driver();
  ConsoleCapture console;
  DriveList drives;
  EXPECT_EQ(queryRaidConfig(raidCandidate(), drives), 5);
  EXPECT_EQ(console.text(), "  [ERROR] CSMI GET RAID CONFIG IOCTL failed: 0x1F\n\n");
  EXPECT_TRUE(drives.empty());
  EXPECT_EQ(machine.calls.size(), 1u);
  EXPECT_EQ(machine.openHandles(), 0);
}

TEST(IrstMembership, CsmiReturnCodeIsReportedInLowerCaseHex) {
  ScriptedPlatform machine;
  FakeIrstDriver irst;
  irst.drives[0] = {"A", "M", "KOA10205"};
  irst.raidMembers = {0};
  irst.csmiReturnCode = 0x2C;
  machine.answer = irst.driver();
  ConsoleCapture console;
  DriveList drives;
  EXPECT_EQ(queryRaidConfig(raidCandidate(), drives), 5);
  EXPECT_EQ(console.text(), "  [ERROR] CSMI GET RAID CONFIG ReturnCode: 0x2c\n\n");
  EXPECT_TRUE(drives.empty());
  EXPECT_EQ(machine.calls.size(), 1u);  // no member is identified
  EXPECT_EQ(machine.openHandles(), 0);
}

TEST(IrstMembership, ControllerThatCannotBeOpenedGivesNothingAndNoMessage) {
  ScriptedPlatform machine;
  machine.refusedPaths[kController] = ERROR_ACCESS_DENIED;
  ConsoleCapture console;
  DriveList drives;
  EXPECT_EQ(queryRaidConfig(raidCandidate(), drives), 0);
  EXPECT_EQ(identifyIrstDrive(makeCandidate(DriverKind::IrstNonRaid, kController, 2), drives), 8);
  EXPECT_TRUE(drives.empty());
  EXPECT_TRUE(machine.calls.empty());
  EXPECT_EQ(console.text(), "");
}

TEST(IrstMembership, FailedIdentifyAppendsNothingAndClosesTheController) {
  ScriptedPlatform machine;
  FakeIrstDriver irst;
  irst.identifyError = ERROR_IO_DEVICE;
  machine.answer = irst.driver();
  ConsoleCapture console;
  DriveList drives;
  EXPECT_EQ(identifyIrstDrive(makeCandidate(DriverKind::IrstNonRaid, kController, 2), drives), 5);
  EXPECT_TRUE(drives.empty());
  EXPECT_EQ(console.text(), "");
  EXPECT_EQ(machine.openHandles(), 0);
}

TEST(IrstMembership, IdentifyKeepsWholeFieldsAndFollowsTheGranularityRule) {
  struct Case {
    std::uint16_t major;
    std::uint8_t minor;
    std::uint8_t fwug;
    std::int32_t granularity;
  };
  for (const Case& c : {Case{1, 2, 8, 1}, Case{1, 3, 8, 8}, Case{1, 4, 0, 1}, Case{1, 4, 0xFF, 1},
                        Case{2, 0, 16, 16}, Case{0, 9, 8, 1}, Case{1, 3, 200, 200}}) {
    ScriptedPlatform machine;
    FakeIrstDriver irst;
    irst.drives[7] = {"S", "M", "R", c.major, c.minor, c.fwug};
    machine.answer = irst.driver();
    DriveList drives;
    DriveRecord candidate = makeCandidate(DriverKind::IrstNonRaid, kController, 7);
    ASSERT_EQ(identifyIrstDrive(candidate, drives), 0);
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].updateGranularity, c.granularity)
        << "version " << c.major << "." << int{c.minor} << " FWUG " << int{c.fwug};
    EXPECT_EQ(drives[0].firmwareRevision, u"R       ");
    EXPECT_EQ(drives[0].driverKind, DriverKind::IrstNonRaid);
    EXPECT_EQ(drives[0].pathId, 7);
  }
}

TEST(IrstMembership, NulBytesInTheIdentifyFieldsArePartOfTheText) {
  ScriptedPlatform machine;
  machine.answer = [](const IoCall&, std::uint8_t* buffer, std::uint32_t&) -> std::uint32_t {
    std::memcpy(buffer + 164 + 64, "AB\0D\xE9" "FGH", 8);
    return ERROR_SUCCESS;
  };
  DriveList drives;
  ASSERT_EQ(identifyIrstDrive(makeCandidate(DriverKind::IrstNonRaid, kController, 1), drives), 0);
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].firmwareRevision, std::u16string(u"AB\0D\u00E9FGH", 8));
  EXPECT_EQ(drives[0].serialNumber, std::u16string(20, u'\0'));
}

}  // namespace
}  // namespace koa::test
