// The Intel controller probe, the walk of the disks below it and the bus
// number of a disk.
#include <gtest/gtest.h>

#include "discovery/intel_raid_controller.h"
#include "tests/support/scripted_platform.h"
#include "update/drive_discovery.h"

namespace koa::test {
namespace {

const std::u16string kPortPath = u"\\\\?\\pci#ven_8086&dev_2822&subsys_00000000#3&11583659&0&b8#{2accfe60-c130-11d2-b082-00a0c91efb8b}";
const std::u16string kRaidDescription = u"Intel(R) Chipset SATA/PCIe RST Premium Controller";

constexpr std::u16string_view kControllerInstance = u"PCI\\VEN_8086&DEV_A77F&SUBSYS_00000000\\3&11583659&0&B8";

// An Intel storage controller port with the given path and driver text.
ScriptedNode intelControllerNode(std::u16string path, std::u16string driverDescription, std::uint32_t devInst) {
  ScriptedNode node;
  node.interfaceClass = GUID_DEVINTERFACE_STORAGEPORT;
  node.interfacePath = std::move(path);
  node.devInst = devInst;
  node.properties[DEVPKEY_Device_DriverDesc] = std::move(driverDescription);
  node.properties[DEVPKEY_Device_InstanceId] = kControllerInstance;
  return node;
}

ScriptedNode otherPort(std::u16string path, std::u16string description, std::uint32_t devInst) {
  return intelControllerNode(std::move(path), std::move(description), devInst);
}

// A disk below the Intel controller; RAID volumes carry VEN_INTEL&PROD_RAID.
ScriptedNode intelDiskNode(std::u16string path, std::u16string instanceId, std::u16string location,
                           std::uint32_t devInst) {
  ScriptedNode node;
  node.interfacePath = std::move(path);
  node.devInst = devInst;
  node.properties[DEVPKEY_Device_Parent] = kControllerInstance;
  node.properties[DEVPKEY_Device_InstanceId] = std::move(instanceId);
  if (!location.empty()) node.properties[DEVPKEY_Device_LocationInfo] = std::move(location);
  return node;
}

TEST(IntelRaidControllerProbe, FindsTheRstControllerAndKeepsThePathAsGiven) {
  ScriptedPlatform machine;
  machine.nodes.push_back(intelControllerNode(kPortPath, kRaidDescription, 10));
  RaidController controller;
  EXPECT_TRUE(findIntelRaidController(controller));
  EXPECT_TRUE(controller.present);
  EXPECT_EQ(controller.interfacePath, kPortPath);
  EXPECT_EQ(controller.instanceId, u"PCI\\VEN_8086&DEV_A77F&SUBSYS_00000000\\3&11583659&0&B8");
  ASSERT_EQ(machine.opens.size(), 1u);
  EXPECT_EQ(machine.opens[0].path, kPortPath);
  EXPECT_EQ(machine.opens[0].shareMode, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(machine.opens[0].flags, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(machine.classDevsFlags, std::vector<std::uint32_t>{0x12});
  EXPECT_EQ(machine.openHandles(), 0);
  EXPECT_EQ(machine.openSets(), 0);
}

TEST(IntelRaidControllerProbe, DescriptionWordsMustMatchInCase) {
  struct Case {
    std::u16string description;
    bool found;
  };
  for (const Case& c : {Case{u"Intel RAID Controller", true}, Case{u"Intel RST VMD Controller", true},
                        Case{u"Intel SATA AHCI Controller", false}, Case{u"Intel rst Controller", false},
                        Case{u"intel RST Controller", false}, Case{u"Intel RST controller", false},
                        Case{u"Intel RAID", false}}) {
    ScriptedPlatform machine;
    machine.nodes.push_back(intelControllerNode(kPortPath, c.description, 10));
    RaidController controller;
    EXPECT_EQ(findIntelRaidController(controller), c.found) << std::string(c.description.begin(), c.description.end());
  }
}

TEST(IntelRaidControllerProbe, VendorIsFoundInAnyCaseOfThePath) {
  ScriptedPlatform machine;
  machine.nodes.push_back(otherPort(u"\\\\?\\pci#ven_1022&dev_7901#{2accfe60-c130-11d2-b082-00a0c91efb8b}",
                                    kRaidDescription, 9));
  machine.nodes.push_back(intelControllerNode(u"\\\\?\\PCI#Ven_8086&DEV_2822#x", kRaidDescription, 10));
  RaidController controller;
  EXPECT_TRUE(findIntelRaidController(controller));
  EXPECT_EQ(controller.interfacePath, u"\\\\?\\PCI#Ven_8086&DEV_2822#x");
}

TEST(IntelRaidControllerProbe, AhciControllerIsSkippedForTheNextPort) {
  ScriptedPlatform machine;
  machine.nodes.push_back(otherPort(u"\\\\?\\pci#ven_8086&dev_a352#a", u"Intel(R) SATA AHCI Controller", 9));
  machine.nodes.push_back(intelControllerNode(kPortPath, kRaidDescription, 10));
  RaidController controller;
  EXPECT_TRUE(findIntelRaidController(controller));
  EXPECT_EQ(controller.interfacePath, kPortPath);
  ASSERT_EQ(machine.opens.size(), 1u);  // the AHCI controller is never opened
}

TEST(IntelRaidControllerProbe, NoMatchingPortOrAnUnopenableOneFindsNothing) {
  {
    ScriptedPlatform machine;
    machine.nodes.push_back(otherPort(u"\\\\?\\pci#ven_8086&dev_a352#a", u"Intel(R) SATA AHCI Controller", 9));
    RaidController controller;
    EXPECT_FALSE(findIntelRaidController(controller));
    EXPECT_FALSE(controller.present);
    EXPECT_EQ(machine.openSets(), 0);
  }
  {
    ScriptedPlatform machine;
    machine.nodes.push_back(intelControllerNode(kPortPath, kRaidDescription, 10));
    machine.refusedPaths[kPortPath] = ERROR_ACCESS_DENIED;
    RaidController controller;
    EXPECT_FALSE(findIntelRaidController(controller));
    EXPECT_FALSE(controller.present);
    EXPECT_EQ(machine.openSets(), 0);
  }
  {
    ScriptedPlatform machine;
    RaidController controller;
    EXPECT_FALSE(findIntelRaidController(controller));
  }
}

TEST(IntelRaidControllerProbe, UnreadableInstanceIdentifierFailsButReleasesEverything) {
  ScriptedPlatform machine;
  machine.nodes.push_back(intelControllerNode(kPortPath, kRaidDescription, 10));
  machine.nodes[0].properties.erase(DEVPKEY_Device_InstanceId);
  RaidController controller;
  EXPECT_FALSE(findIntelRaidController(controller));
  EXPECT_TRUE(controller.present);
  EXPECT_EQ(controller.interfacePath, kPortPath);
  EXPECT_EQ(machine.openHandles(), 0);
  EXPECT_EQ(machine.openSets(), 0);
}

RaidController foundController() {
  RaidController controller;
  controller.present = true;
  controller.interfacePath = kPortPath;
  return controller;
}

TEST(IntelRaidDiskWalk, VolumesAndOtherDisksBecomeCandidatesInOrder) {
  ScriptedPlatform machine;
  machine.nodes.push_back(intelDiskNode(u"\\\\?\\scsi#disk&ven_intel&prod_raid_0#1", u"SCSI\\DISK&VEN_INTEL&PROD_RAID_0_VOLUME\\1", u"", 20));
  machine.nodes.push_back(intelDiskNode(u"\\\\?\\scsi#disk&ven_nvme#2", u"SCSI\\DISK&VEN_NVME&PROD_KOA\\2", u"Bus Number 2, Target Id 0, LUN 0", 21));
  machine.nodes.push_back(intelDiskNode(u"\\\\?\\scsi#disk&ven_nvme#3", u"SCSI\\DISK&VEN_NVME&PROD_KOA\\3", u"", 22));
  ScriptedNode foreign = intelDiskNode(u"\\\\?\\scsi#disk#4", u"SCSI\\DISK&VEN_X\\4", u"Bus Number 4, Target Id 0, LUN 0", 23);
  foreign.properties[DEVPKEY_Device_Parent] = u"PCI\\VEN_1022&DEV_7901\\0";
  machine.nodes.push_back(foreign);
  DriveDiscovery discovery;

  EXPECT_TRUE(discovery.enumerateIntelRaidDisks(foundController()));

  ASSERT_EQ(discovery.candidates.size(), 3u);
  EXPECT_EQ(discovery.candidates[0].driverKind, DriverKind::IrstRaid);
  EXPECT_EQ(discovery.candidates[0].pathId, -1);
  EXPECT_EQ(discovery.candidates[1].driverKind, DriverKind::IrstNonRaid);
  EXPECT_EQ(discovery.candidates[1].pathId, 2);
  EXPECT_EQ(discovery.candidates[2].driverKind, DriverKind::IrstNonRaid);
  EXPECT_EQ(discovery.candidates[2].pathId, -1);  // no location text
  for (const DriveRecord& candidate : discovery.candidates) {
    EXPECT_EQ(candidate.devicePath, kPortPath);
    EXPECT_TRUE(candidate.modelNumber.empty() && candidate.serialNumber.empty() && candidate.firmwareRevision.empty());
    EXPECT_EQ(candidate.updateGranularity, 1);
  }
  // Only the two non-RAID disks are opened, and only to prove they can be.
  ASSERT_EQ(machine.opens.size(), 2u);
  EXPECT_EQ(machine.opens[0].path, u"\\\\?\\scsi#disk&ven_nvme#2");
  EXPECT_EQ(machine.opens[0].flags, 0u);
  EXPECT_TRUE(machine.calls.empty());
  EXPECT_EQ(machine.openHandles(), 0);
  EXPECT_EQ(machine.openSets(), 0);
  // The walk's own set, then one set of all device nodes per bus number.
  EXPECT_EQ(machine.classDevsFlags, (std::vector<std::uint32_t>{0x12, 0x06, 0x06}));
}

TEST(IntelRaidDiskWalk, DiskThatCannotBeOpenedEndsTheWalk) {
  ScriptedPlatform machine;
  machine.nodes.push_back(intelDiskNode(u"\\\\?\\scsi#disk#1", u"SCSI\\DISK&VEN_NVME\\1", u"Bus Number 1, Target Id 0, LUN 0", 20));
  machine.nodes.push_back(intelDiskNode(u"\\\\?\\scsi#disk#2", u"SCSI\\DISK&VEN_NVME\\2", u"Bus Number 2, Target Id 0, LUN 0", 21));
  machine.nodes.push_back(intelDiskNode(u"\\\\?\\scsi#disk#3", u"SCSI\\DISK&VEN_INTEL&PROD_RAID\\3", u"", 22));
  machine.refusedPaths[u"\\\\?\\scsi#disk#2"] = ERROR_ACCESS_DENIED;
  DriveDiscovery discovery;
  EXPECT_FALSE(discovery.enumerateIntelRaidDisks(foundController()));
  ASSERT_EQ(discovery.candidates.size(), 1u);
  EXPECT_EQ(discovery.candidates[0].pathId, 1);
  EXPECT_EQ(machine.openSets(), 0);
}

TEST(IntelRaidDiskWalk, RaidVolumeWordsAreMatchedInCase) {
  ScriptedPlatform machine;
  machine.nodes.push_back(intelDiskNode(u"\\\\?\\scsi#disk#1", u"SCSI\\DISK&VEN_Intel&PROD_RAID\\1", u"", 20));
  machine.nodes.push_back(intelDiskNode(u"\\\\?\\scsi#disk#2", u"SCSI\\DISK&VEN_INTEL&PROD_Raid\\2", u"", 21));
  DriveDiscovery discovery;
  EXPECT_TRUE(discovery.enumerateIntelRaidDisks(foundController()));
  ASSERT_EQ(discovery.candidates.size(), 2u);
  EXPECT_EQ(discovery.candidates[0].driverKind, DriverKind::IrstNonRaid);
  EXPECT_EQ(discovery.candidates[1].driverKind, DriverKind::IrstNonRaid);
}

TEST(BusNumber, IsTheNumberAfterTheSecondBlankBeforeTheFirstComma) {
  struct Case {
    std::u16string location;
    std::int32_t bus;
  };
  for (const Case& c : {Case{u"Bus Number 1, Target Id 0, LUN 0", 1}, Case{u"Bus Number 12", 12},
                        Case{u"Bus Number 3x, Target Id 0", 3}, Case{u"Bus Number , Target Id 5", -1},
                        Case{u"Bus Number -2, LUN 0", -2}, Case{u"PCI bus 0, device 23, function 0", -1},
                        Case{u"Bus Number ", -1}, Case{u"Bus Number -, LUN 0", -1}, Case{u"Bus Number 99999999999", 2147483647},
                        Case{u"X,Bus Number 4", -1}, Case{u"", -1}}) {
    ScriptedPlatform machine;
    machine.nodes.push_back(intelDiskNode(u"\\\\?\\a", u"A", u"", 7));
    machine.nodes.push_back(intelDiskNode(u"\\\\?\\b", u"B", c.location, 8));
    EXPECT_EQ(readBusNumber(8), c.bus) << std::string(c.location.begin(), c.location.end());
    EXPECT_EQ(machine.openSets(), 0);
  }
  ScriptedPlatform machine;
  machine.nodes.push_back(intelDiskNode(u"\\\\?\\b", u"B", u"Bus Number 1", 8));
  EXPECT_EQ(readBusNumber(9), -1);  // no such device node
}

}  // namespace
}  // namespace koa::test
