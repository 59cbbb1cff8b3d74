// The walk of the maker's NVMe disks on the inbox driver.
#include <gtest/gtest.h>

#include "discovery/device_property.h"
#include "tests/support/inbox_drive.h"
#include "tests/support/scripted_platform.h"
#include "update/drive_discovery.h"

namespace koa::test::inbox {
namespace {

ScriptedNode makerDisk(int n, std::uint32_t deviceNumber) {
  ScriptedNode disk;
  disk.interfacePath = u"\\\\?\\scsi#disk&ven_nvme#" + std::u16string(1, static_cast<char16_t>(u'0' + n));
  disk.properties[DEVPKEY_Device_Parent] = u"PCI\\VEN_D5A7&DEV_5017\\4&1";
  disk.properties[DEVPKEY_Device_InstanceId] = u"SCSI\\DISK&VEN_NVME\\5&1";
  disk.hardwareIds = {u"SCSI\\DiskNVMe____TORVALE", u"GenDisk"};
  disk.deviceNumber = deviceNumber;
  return disk;
}

ScriptedNode otherDisk(int n) {
  ScriptedNode disk = makerDisk(n, 9);
  disk.properties[DEVPKEY_Device_Parent] = u"PCI\\VEN_8086&DEV_F1A8\\4&2";
  return disk;
}

class InboxEnumeration : public ::testing::Test {
 protected:
  // The disks answer nothing but their device number.
  InboxEnumeration() {
    platform.answer = [](const IoCall&, std::uint8_t*, std::uint32_t&) { return ERROR_INVALID_FUNCTION; };
  }

  bool walk() {
    const bool result = discovery.enumerateInboxDrives();
    EXPECT_EQ(platform.openHandles(), 0) << "a disk handle was left open";
    EXPECT_EQ(platform.openSets(), 0) << "the device set was not released";
    EXPECT_EQ(platform.classDevsFlags, std::vector<std::uint32_t>{DIGCF_PRESENT | DIGCF_DEVICEINTERFACE});
    expectInboxOpens(platform);
    return result;
  }
  std::vector<std::u16string> paths() const {
    std::vector<std::u16string> result;
    for (const auto& record : discovery.candidates) result.push_back(record.devicePath);
    return result;
  }

  ScriptedPlatform platform;
  DriveDiscovery discovery;
};

TEST_F(InboxEnumeration, AMachineWithoutTheMakersDisksGivesNothingAndSucceeds) {
  platform.nodes = {otherDisk(0), otherDisk(1)};
  EXPECT_TRUE(walk());
  EXPECT_TRUE(discovery.candidates.empty());
  EXPECT_TRUE(platform.opens.empty());
}

TEST_F(InboxEnumeration, EachMakerDiskBecomesAnInboxCandidateInEnumerationOrder) {
  platform.nodes = {makerDisk(0, 3), otherDisk(1), makerDisk(2, 12)};
  discovery.candidates.push_back(makeCandidate(DriverKind::IrstNonRaid, u"\\\\?\\pci#irst", 5));
  EXPECT_TRUE(walk());
  ASSERT_EQ(discovery.candidates.size(), 3u);
  EXPECT_EQ(discovery.candidates[0].driverKind, DriverKind::IrstNonRaid);
  const DriveRecord& first = discovery.candidates[1];
  EXPECT_EQ(first.devicePath, u"\\\\.\\PHYSICALDRIVE3");
  EXPECT_EQ(first.pathId, -1);
  EXPECT_EQ(first.driverKind, DriverKind::Inbox);
  EXPECT_EQ(first.modelNumber, u"");
  EXPECT_EQ(first.serialNumber, u"");
  EXPECT_EQ(first.firmwareRevision, u"");
  EXPECT_EQ(first.updateGranularity, 1);
  EXPECT_EQ(first.vrocDiskId, 0);
  EXPECT_EQ(first.updateResult, 0);
  EXPECT_EQ(discovery.candidates[2].devicePath, u"\\\\.\\PHYSICALDRIVE12");
}

TEST_F(InboxEnumeration, MatchesAreCaseSensitive) {
  ScriptedNode lowerVendor = makerDisk(0, 1);
  lowerVendor.properties[DEVPKEY_Device_Parent] = u"PCI\\ven_d5a7&DEV_5017\\4&1";
  ScriptedNode otherCaseNvme = makerDisk(1, 2);
  otherCaseNvme.hardwareIds = {u"SCSI\\DiskNVME____TORVALE", u"SCSI\\DiskNvme", u"GenDisk"};
  platform.nodes = {lowerVendor, otherCaseNvme, makerDisk(2, 3)};
  EXPECT_TRUE(walk());
  EXPECT_EQ(paths(), std::vector<std::u16string>{u"\\\\.\\PHYSICALDRIVE3"});
  EXPECT_EQ(platform.opens.size(), 1u);
}

TEST_F(InboxEnumeration, ALaterHardwareIdentifierWithTheNvmeMarkIsTaken) {
  ScriptedNode disk = makerDisk(0, 6);
  disk.hardwareIds = {u"SCSI\\DiskTORVALE_SSD", u"SCSI\\Disk", u"SCSI\\NVMe_Disk", u"GenDisk"};
  platform.nodes = {disk};
  EXPECT_TRUE(walk());
  EXPECT_EQ(paths(), std::vector<std::u16string>{u"\\\\.\\PHYSICALDRIVE6"});
}

TEST_F(InboxEnumeration, ADeviceGivesOneRecordWhateverNumberOfIdentifiersMatch) {
  ScriptedNode disk = makerDisk(0, 2);
  disk.hardwareIds = {u"SCSI\\DiskNVMe_A", u"SCSI\\DiskNVMe_B"};
  platform.nodes = {disk};
  EXPECT_TRUE(walk());
  EXPECT_EQ(discovery.candidates.size(), 1u);
  EXPECT_EQ(platform.opens.size(), 1u);
}

TEST_F(InboxEnumeration, ADiskThatCannotBeOpenedEndsTheWalk) {
  ScriptedNode locked = makerDisk(1, 2);
  platform.refusedPaths[locked.interfacePath] = ERROR_ACCESS_DENIED;
  platform.nodes = {makerDisk(0, 1), locked, makerDisk(2, 3)};
  EXPECT_FALSE(walk());
  EXPECT_EQ(paths(), std::vector<std::u16string>{u"\\\\.\\PHYSICALDRIVE1"});
  ASSERT_EQ(platform.opens.size(), 2u);
  EXPECT_EQ(platform.opens[1].path, locked.interfacePath);
}

TEST_F(InboxEnumeration, ADiskWithoutADeviceNumberIsLeftOutAndTheWalkGoesOn) {
  ScriptedNode silent = makerDisk(0, 1);
  silent.deviceNumber.reset();
  platform.nodes = {silent, makerDisk(1, 2)};
  EXPECT_TRUE(walk());
  EXPECT_EQ(paths(), std::vector<std::u16string>{u"\\\\.\\PHYSICALDRIVE2"});
  EXPECT_EQ(platform.opens.size(), 2u);
}

TEST_F(InboxEnumeration, UnreadableIdentifiersSkipTheDiskWithoutOpeningIt) {
  ScriptedNode noParent = makerDisk(0, 1);
  noParent.properties.erase(DEVPKEY_Device_Parent);
  ScriptedNode noHardwareIds = makerDisk(1, 2);
  noHardwareIds.hardwareIds.clear();
  ScriptedNode noInstanceId = makerDisk(2, 3);
  noInstanceId.properties.erase(DEVPKEY_Device_InstanceId);
  platform.nodes = {noParent, noHardwareIds, noInstanceId, makerDisk(3, 4)};
  EXPECT_TRUE(walk());
  EXPECT_EQ(paths(), std::vector<std::u16string>{u"\\\\.\\PHYSICALDRIVE4"});
  EXPECT_EQ(platform.opens.size(), 1u);
}

TEST_F(InboxEnumeration, ADeviceSetThatCannotBeBuiltEndsTheWalkAtOnce) {
  platform.nodes = {makerDisk(0, 1)};
  platform.classDevsError = ERROR_NOT_ENOUGH_MEMORY;
  EXPECT_FALSE(walk());
  EXPECT_TRUE(discovery.candidates.empty());
}

class DevicePropertyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.nodes = {makerDisk(0, 1)};
    set = platform.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    device.cbSize = 32;
    ASSERT_TRUE(platform.SetupDiEnumDeviceInfo(set, 0, &device));
  }
  std::u16string& stored(const DevPropKey& key) { return platform.nodes[0].properties[key]; }
  bool read(const DevPropKey& key, std::u16string& out) { return readDeviceProperty(set, device, key, out); }

  ScriptedPlatform platform;
  DevInfoSet set = kInvalidDevInfoSet;
  SpDevInfoData device{};
};

TEST_F(DevicePropertyTest, AsksForTheSizeThenWithTwiceTheReportedSize) {
  stored(DEVPKEY_Device_Parent) = u"PCI\\VEN_D5A7";  // 12 characters and a NUL: 26 bytes
  std::u16string out;
  EXPECT_TRUE(read(DEVPKEY_Device_Parent, out));
  EXPECT_EQ(out, u"PCI\\VEN_D5A7");
  EXPECT_EQ(platform.propertyBufferSizes, (std::vector<std::uint32_t>{0, 52}));
}

TEST_F(DevicePropertyTest, AMissingPropertyLeavesTheTextAsItWas) {
  platform.nodes[0].properties.erase(DEVPKEY_Device_InstanceId);
  std::u16string out = u"before";
  EXPECT_FALSE(read(DEVPKEY_Device_InstanceId, out));
  EXPECT_EQ(out, u"before");
}

TEST_F(DevicePropertyTest, LongValuesAreCutToTheNarrowBufferOfTheirKey) {
  stored(DEVPKEY_Device_Parent) = std::u16string(300, u'P');
  stored(DEVPKEY_Device_InstanceId) = std::u16string(300, u'I');
  std::u16string parent;
  std::u16string instance;
  EXPECT_TRUE(read(DEVPKEY_Device_Parent, parent));
  EXPECT_TRUE(read(DEVPKEY_Device_InstanceId, instance));
  EXPECT_EQ(parent, std::u16string(256, u'P'));    // at most 256 characters
  EXPECT_EQ(instance, std::u16string(255, u'I'));  // 256 bytes with the terminator
}

TEST_F(DevicePropertyTest, TheNarrowRoundTripKeepsAsciiOnly) {
  stored(DEVPKEY_Device_Parent) = u"PCI\u00E9X";  // one byte in the "C" locale, not UTF-8
  stored(DEVPKEY_Device_InstanceId) = u"A\u4E2DB";  // not convertible at all
  std::u16string parent;
  std::u16string instance = u"before";
  EXPECT_TRUE(read(DEVPKEY_Device_Parent, parent));
  EXPECT_TRUE(read(DEVPKEY_Device_InstanceId, instance));
  EXPECT_EQ(parent, u"PCI\uFFFDX");
  EXPECT_EQ(instance, u"");
}

// A named size whose double does not fit in 32 bits must end the read: a
// wrapped size would hand the platform a buffer far smaller than it asked for
// and ask again for ever.
TEST_F(DevicePropertyTest, ASizeTooLargeToDoubleEndsTheReadWithoutAnotherCall) {
  const GrowingRule anyRetry{GrowingRule::Allocation::TwiceReportedSize, GrowingRule::Retry::WhileInsufficient};
  const auto property =
      readGrowing(anyRetry, [&](std::uint8_t* buffer, std::uint32_t size, std::uint32_t* required) {
        const bool done = platform.SetupDiGetDevicePropertyW(set, &device, &DEVPKEY_Device_Parent, nullptr,
                                                             buffer, size, required, 0);
        if (buffer == nullptr) *required = 0x80000000u;  // the size query names 2 GiB
        return done;
      });
  EXPECT_FALSE(property);
  EXPECT_EQ(platform.propertyBufferSizes, std::vector<std::uint32_t>{0});
}

// A driver that, handed a buffer, answers ERROR_INSUFFICIENT_BUFFER and names
// the very size it was handed; from the fifth call on it fills the buffer, so
// that a reader that never gives up still ends.
class SameSizeDriver : public ScriptedPlatform {
 public:
  bool SetupDiGetDevicePropertyW(DevInfoSet set, const SpDevInfoData* device, const DevPropKey* key,
                                 std::uint32_t* type, std::uint8_t* buffer, std::uint32_t size,
                                 std::uint32_t* required, std::uint32_t flags) override {
    if (buffer == nullptr || propertyBufferSizes.size() >= 4)
      return ScriptedPlatform::SetupDiGetDevicePropertyW(set, device, key, type, buffer, size, required, flags);
    propertyBufferSizes.push_back(size);
    *required = size;
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
};

// Identifiers are asked for again only while the size named grows: such a
// driver would otherwise be asked for ever, each time with twice the buffer.
TEST(DeviceIdentifierRead, ADriverThatNamesTheSizeItWasGivenEndsTheReadWithNothing) {
  SameSizeDriver platform;
  platform.nodes = {makerDisk(0, 1)};
  platform.nodes[0].properties[DEVPKEY_Device_Parent] = u"PCI\\VEN_D5A7";  // 26 bytes with the NUL
  const DevInfoSet set =
      platform.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SpDevInfoData device{};
  device.cbSize = 32;
  ASSERT_TRUE(platform.SetupDiEnumDeviceInfo(set, 0, &device));
  std::u16string parent = u"before";
  EXPECT_FALSE(readDeviceProperty(set, device, DEVPKEY_Device_Parent, parent));
  EXPECT_EQ(parent, u"before");
  EXPECT_EQ(platform.propertyBufferSizes, (std::vector<std::uint32_t>{0, 52}));
  EXPECT_TRUE(platform.SetupDiDestroyDeviceInfoList(set));
}

}  // namespace
}  // namespace koa::test::inbox
