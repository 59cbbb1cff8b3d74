// The VROC walk against a recording platform: which ports are tried, the
// bytes of every list and Identify request, which branch runs, what is
// appended and printed, and how driver-reported counts are bounded.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "discovery/vroc_members.h"
#include "tests/support/bytes.h"
#include "tests/support/console_capture.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/vroc_requests.h"

namespace koa::test::vroc {
namespace {


std::u16string port(int n) { return u"\\\\.\\Scsi" + std::u16string(1, static_cast<char16_t>(u'0' + n)) + u":"; }

struct Disk {
  std::uint32_t diskId;
  std::string model;   // entry bytes 4 to 43
  std::string serial;  // entry bytes from 52
  std::uint32_t pathId;
  std::string identifySerial;  // Identify bytes 4 to 23
  std::string revision;        // Identify bytes 64 to 71
};

// A VROC driver as the walk sees it: answers the counts, the lists and
// Identify by disk id, on its ports; a call on any other port leaves the
// buffer as it was.
struct FakeVrocDriver {
  std::set<std::u16string> ports;
  std::uint32_t volumes = 0;
  std::int32_t passThrough = 0;
  std::uint32_t members = 0;  // as reported by volume information
  std::vector<Disk> memberDisks;
  std::vector<Disk> passThroughDisks;
  std::optional<std::uint32_t> listBytesReturned;  // default: the whole buffer
  bool listFails = false;
  bool identifyFails = false;

  std::uint32_t writeList(std::uint8_t* out, std::uint32_t outSize, std::size_t entriesOffset,
                          const std::vector<Disk>& disks, std::uint32_t& bytesReturned) {
    if (listFails) return ERROR_GEN_FAILURE;
    for (std::size_t i = 0; i < disks.size(); ++i) {
      std::uint8_t* entry = out + entriesOffset + 108 * i;
      if (entriesOffset + 108 * (i + 1) > outSize) break;
      putLe32(entry, 0, disks[i].diskId);
      putAscii(entry, 4, disks[i].model);
      putAscii(entry, 52, disks[i].serial);
      putLe32(entry, 100, disks[i].pathId);
    }
    if (listBytesReturned) bytesReturned = *listBytesReturned;
    return ERROR_SUCCESS;
  }

  Answer answer() {
    return [this](const IoCall& call, std::uint8_t* out, std::uint32_t& bytesReturned) -> std::uint32_t {
      if (ports.count(call.path) == 0) return ERROR_SUCCESS;
      switch (le32(call.input, 16)) {
        case 0xE0002014: putLe32(out, 28, volumes); return ERROR_SUCCESS;
        case 0xE0002028: putLe32(out, 28, static_cast<std::uint32_t>(passThrough)); return ERROR_SUCCESS;
        case 0xE0002018: putLe32(out, 128, members); return ERROR_SUCCESS;
        case 0xE000201C: return writeList(out, call.outSize, 36, memberDisks, bytesReturned);
        case 0xE000202C: return writeList(out, call.outSize, 32, passThroughDisks, bytesReturned);
        case 0xE0002000: {
          if (identifyFails) return ERROR_GEN_FAILURE;
          const std::uint32_t diskId = le32(call.input, 20);
          putLe32(out, 20, 0);
          for (const auto* list : {&memberDisks, &passThroughDisks})
            for (const Disk& disk : *list)
              if (disk.diskId == diskId) {
                putAscii(out, 152 + 4, disk.identifySerial);
                putAscii(out, 152 + 24, std::string(40, 'M'));  // never taken: the list's model is
                putAscii(out, 152 + 64, disk.revision);
              }
          return ERROR_SUCCESS;
        }
        default: return ERROR_INVALID_FUNCTION;
      }
    };
  }
};

const Disk kMemberA{0x01000000, std::string("TORVALE NVME SSD 2TB").append(20, ' '), "SERA", 7,
                    "S000VROC000A        ", "GXB3LTMW"};
const Disk kMemberB{0x01000001, std::string("TORVALE NVME SSD 4TB").append(20, ' '), "SERB", 0xFFFFFFFF,
                    "S000VROC000B        ", "GXB2LTMW"};
const Disk kLoose{0x02000005, std::string("TORVALE NVME SSD 1TB").append(20, ' '), "SERC", 3,
                  "S000VROC000C        ", "GXB1LTMW"};

class VrocWalk : public ::testing::Test {
 protected:
  VrocWalk() {
    platform.otherPathError = ERROR_FILE_NOT_FOUND;
    platform.answer = driver.answer();
    candidate = makeCandidate(DriverKind::IrstNonRaid, u"\\\\?\\pci#ven_8086&dev_2822", 4);
  }

  void attachDriverAt(int n) {
    platform.openable.insert(port(n));
    driver.ports.insert(port(n));
  }

  ScriptedPlatform platform;
  FakeVrocDriver driver;
  DriveRecord candidate;
  DriveList drives;
  std::int32_t vrocPort = -1;
};

std::vector<std::uint8_t> countRequest(std::uint32_t code) { return header(32, 40, code, 0); }

TEST_F(VrocWalk, ARaidVolumeOnScsi2ListsOnlyItsMembers) {
  driver.volumes = 1;
  driver.passThrough = 1;
  driver.members = 2;
  driver.memberDisks = {kMemberA, kMemberB};
  driver.passThroughDisks = {kLoose};
  attachDriverAt(2);
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  EXPECT_EQ(vrocPort, 2);
  ASSERT_EQ(platform.opens.size(), 3u);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(platform.opens[n].path, port(n));
    EXPECT_EQ(platform.opens[n].access, 0xC0000000u);
    EXPECT_EQ(platform.opens[n].shareMode, 3u);
    EXPECT_EQ(platform.opens[n].disposition, 3u);
    EXPECT_EQ(platform.opens[n].flags, 0x80u);
  }
  EXPECT_EQ(platform.openHandles(), 0);

  ASSERT_EQ(platform.calls.size(), 5u);
  EXPECT_EQ(platform.calls[0].input, countRequest(0xE0002014));
  auto information = header(132, 40, 0xE0002018, 0);
  putLe32(information, 28, 1);
  EXPECT_EQ(platform.calls[1].input, information);
  auto list = header(2 * 108 + 40, 40, 0xE000201C, 0);
  putLe32(list, 28, 1);
  putLe32(list, 32, 216);
  EXPECT_EQ(platform.calls[2].input, list);
  EXPECT_EQ(platform.calls[3].input, expectedIdentify(0x01000000));
  EXPECT_EQ(platform.calls[4].input, expectedIdentify(0x01000001));
  for (const auto& call : platform.calls) {
    EXPECT_EQ(call.code, kScsiMiniport);
    EXPECT_EQ(call.outSize, call.inSize);
    EXPECT_TRUE(call.sameBuffer);
  }

  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].driverKind, DriverKind::VrocRaid);
  EXPECT_EQ(drives[0].devicePath, candidate.devicePath);
  EXPECT_EQ(drives[0].modelNumber, u"TORVALE NVME SSD 2TB                    ");
  EXPECT_EQ(drives[0].serialNumber, u"S000VROC000A        ");
  EXPECT_EQ(drives[0].firmwareRevision, u"GXB3LTMW");
  EXPECT_EQ(drives[0].vrocDiskId, 0x01000000);
  EXPECT_EQ(drives[0].pathId, 7);
  EXPECT_EQ(drives[0].updateGranularity, 1);
  EXPECT_EQ(drives[0].updateResult, 0);
  EXPECT_EQ(drives[1].pathId, 0xFFFFFFFFll);  // zero-extended
  EXPECT_EQ(drives[1].firmwareRevision, u"GXB2LTMW");

  // The failed opens of Scsi0: and Scsi1: leave ERROR_FILE_NOT_FOUND behind,
  // and the successful requests do not clear it.
  EXPECT_EQ(console.text(),
            "dwError: 2\n"
            "Number of NVMe RAID volume member disks: 2\n"
            "dwError: 2\n"
            "\nSerial: SERA\nvrocDiskId:1000000\nRaidVROC\ndwError: 2\n"
            "\nSerial: SERB\nvrocDiskId:1000001\nRaidVROC\ndwError: 2\n");
}

TEST_F(VrocWalk, PassThroughDrivesAreListedWhenThereIsNoVolume) {
  driver.passThrough = 2;
  driver.passThroughDisks = {kLoose, kMemberB};
  attachDriverAt(0);
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  EXPECT_EQ(vrocPort, 0);
  ASSERT_EQ(platform.calls.size(), 5u);
  EXPECT_EQ(platform.calls[0].input, countRequest(0xE0002014));
  EXPECT_EQ(platform.calls[1].input, countRequest(0xE0002028));
  auto list = header(2 * 108 + 36, 40, 0xE000202C, 0);
  putLe32(list, 28, 216);
  EXPECT_EQ(platform.calls[2].input, list);
  EXPECT_EQ(platform.calls[3].input, expectedIdentify(0x02000005));
  EXPECT_EQ(platform.calls[4].input, expectedIdentify(0x01000001));
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].driverKind, DriverKind::VrocNonRaid);
  EXPECT_EQ(drives[0].serialNumber, u"S000VROC000C        ");
  EXPECT_EQ(drives[0].pathId, 3);
  EXPECT_EQ(drives[1].driverKind, DriverKind::VrocNonRaid);
  EXPECT_EQ(drives[1].vrocDiskId, 0x01000001);
  // Nothing failed before, so no "dwError" line; no Serial line either.
  EXPECT_EQ(console.text(), "NonRaidVROC\nNonRaidVROC\n");
}

TEST_F(VrocWalk, AVolumeWithoutMembersStillNamesThePort) {
  driver.volumes = 1;
  driver.passThrough = 3;
  driver.passThroughDisks = {kLoose};
  attachDriverAt(5);
  platform.openable.insert(port(6));
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  EXPECT_EQ(vrocPort, 5);
  EXPECT_TRUE(drives.empty());
  ASSERT_EQ(platform.calls.size(), 3u);
  auto list = header(40, 40, 0xE000201C, 0);
  putLe32(list, 28, 1);
  EXPECT_EQ(platform.calls[2].input, list);
  EXPECT_EQ(platform.opens.size(), 6u);  // the walk ends at the port that answered
  EXPECT_EQ(console.text(), "dwError: 2\nNumber of NVMe RAID volume member disks: 0\ndwError: 2\n");
}

TEST_F(VrocWalk, PortsWithoutVolumesOrDrivesAreAllTriedAndLeaveThePortUnset) {
  for (int n = 0; n < 10; ++n) attachDriverAt(n);
  for (const char16_t* extra : {u"\\\\.\\Scsi10:", u"\\\\.\\Scsi15:", u"\\\\.\\Scsi16:"})
    platform.openable.insert(extra);
  driver.passThrough = -3;  // "no drive"
  driver.passThroughDisks = {kLoose};
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  EXPECT_EQ(vrocPort, -1);
  EXPECT_TRUE(drives.empty());
  ASSERT_EQ(platform.opens.size(), 16u);
  EXPECT_EQ(platform.opens[15].path, u"\\\\.\\Scsi15:");
  // Two count requests on each port that opened; nothing else.
  EXPECT_EQ(platform.calls.size(), 2u * 12u);
  EXPECT_EQ(callsWithControlCode(platform, 0xE000202C).size(), 0u);
  EXPECT_EQ(platform.openHandles(), 0);
  EXPECT_EQ(console.text(), "");
}

TEST_F(VrocWalk, ADriveWhoseIdentifyFailsIsListedWithTheFillBytes) {
  driver.passThrough = 1;
  driver.passThroughDisks = {kLoose};
  driver.identifyFails = true;
  attachDriverAt(0);
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].firmwareRevision, u"UUUUUUUU");
  EXPECT_EQ(drives[0].serialNumber, std::u16string(20, u'U'));
  EXPECT_EQ(drives[0].modelNumber, u"TORVALE NVME SSD 1TB                    ");
  EXPECT_EQ(drives[0].vrocDiskId, 0x02000005);
  EXPECT_EQ(console.text(), "NonRaidVROC\ndwError: 31\n");
}

TEST_F(VrocWalk, AnAbsurdMemberCountIsBoundedAndOnlyAnsweredEntriesAreRead) {
  driver.volumes = 1;
  driver.members = 0xFFFFFFFF;
  driver.memberDisks = {kMemberA, kMemberB, kLoose};
  driver.listBytesReturned = 36 + 3 * 108 + 4;
  attachDriverAt(0);
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  const auto lists = callsWithControlCode(platform, 0xE000201C);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0].inSize, 606u * 108u + 40u);
  EXPECT_EQ(le32(lists[0].input, 32), 606u * 108u);
  EXPECT_EQ(callsWithControlCode(platform, 0xE0002000).size(), 3u);
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[2].vrocDiskId, 0x02000005);
  EXPECT_EQ(console.text().rfind("Number of NVMe RAID volume member disks: 4294967295\n", 0), 0u);
}

TEST_F(VrocWalk, AnAnswerShorterThanTheCountYieldsOnlyItsWholeEntries) {
  driver.passThrough = 3;
  driver.passThroughDisks = {kLoose, kMemberA, kMemberB};
  driver.listBytesReturned = 32 + 2 * 108 + 107;  // the third entry is cut
  attachDriverAt(0);
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[1].vrocDiskId, 0x01000000);
  EXPECT_EQ(vrocPort, 0);
}

TEST_F(VrocWalk, AnAbsurdPassThroughCountIsBounded) {
  driver.passThrough = 0x7FFFFFFF;
  driver.passThroughDisks = {kLoose};
  driver.listBytesReturned = 32 + 108;
  attachDriverAt(0);
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  const auto lists = callsWithControlCode(platform, 0xE000202C);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0].inSize, 606u * 108u + 36u);
  EXPECT_EQ(le32(lists[0].input, 28), 606u * 108u);
  EXPECT_EQ(drives.size(), 1u);
}

TEST_F(VrocWalk, AFailedMemberListYieldsNoEntries) {
  driver.volumes = 2;
  driver.members = 2;
  driver.memberDisks = {kMemberA, kMemberB};
  driver.listFails = true;
  attachDriverAt(0);
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  EXPECT_TRUE(drives.empty());
  EXPECT_EQ(callsWithControlCode(platform, 0xE0002000).size(), 0u);
  EXPECT_EQ(vrocPort, 0);
  EXPECT_EQ(console.text(), "Number of NVMe RAID volume member disks: 2\ndwError: 31\n");
}

TEST_F(VrocWalk, ASerialWithoutAZeroByteEndsBeforeThePathId) {
  Disk noTerminator = kMemberA;
  noTerminator.serial = std::string(48, 'Z');
  noTerminator.pathId = 0x41414141;  // "AAAA", would continue the text
  driver.volumes = 1;
  driver.members = 1;
  driver.memberDisks = {noTerminator};
  attachDriverAt(0);
  ConsoleCapture console;

  EXPECT_EQ(enumerateVrocMembers(candidate, drives, vrocPort), 0);

  EXPECT_NE(console.text().find("\nSerial: " + std::string(48, 'Z') + "\nvrocDiskId:1000000\n"),
            std::string::npos);
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].pathId, 0x41414141);
}

}  // namespace
}  // namespace koa::test::vroc
