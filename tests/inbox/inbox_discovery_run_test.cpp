// Which of a machine's disks the program takes for the maker's drives on
// the inbox driver, end to end: the case-sensitive matches, the order, a
// disk that cannot be opened, one that has no device number, and a run
// without the rights to open any device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/one_drive_machine.h"

namespace koa::test::inbox {
namespace {

struct DiskSpec {
  std::string name;  // the drive's name; also makes its identifiers unique
  std::uint32_t deviceNumber;
  std::vector<std::string> hardwareIds{"SCSI\\DiskNVMe____KOA_NVMe_SSD_1TB", "GenDisk"};
  std::string vendor = "VEN_D5A7";  // as the controller's instance identifier spells it
};

std::string interfacePath(const DiskSpec& disk) {
  return "\\\\?\\scsi#disk&ven_nvme&prod_" + disk.name + "#5&0&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

// Adds the drive, its NVMe controller and its disk to the machine.
void addDisk(nlohmann::json& machine, const DiskSpec& disk) {
  nlohmann::json drive = machine["drives"]["koa"];
  drive["serialNumber"] = "KOA-" + disk.name;
  machine["drives"][disk.name] = drive;
  const std::string controller = "PCI\\" + disk.vendor + "&DEV_5016\\4&" + disk.name;
  machine["devices"].push_back({{"instanceId", controller}, {"hardwareIds", {"PCI\\" + disk.vendor + "&DEV_5016"}}});
  machine["devices"].push_back({{"instanceId", "SCSI\\DISK&VEN_NVME&PROD_" + disk.name + "\\5&0"},
                                {"parent", controller},
                                {"hardwareIds", disk.hardwareIds},
                                {"interfaces", {{{"class", "disk"}, {"path", interfacePath(disk)}}}},
                                {"disk", {{"deviceNumber", disk.deviceNumber}, {"drive", disk.name}}}});
}

// The one-drive machine without its drive: only another maker's disk.
nlohmann::json machineWith(const std::vector<DiskSpec>& disks) {
  nlohmann::json machine = oneDriveMachine();
  auto& devices = machine["devices"];
  devices.erase(devices.begin() + 2, devices.begin() + 4);
  for (const DiskSpec& disk : disks) addDisk(machine, disk);
  machine["drives"].erase("koa");
  return machine;
}

// The drives the program identified, in order.
std::vector<std::string> identified(const MachineRun& run) {
  std::vector<std::string> names;
  for (const auto& request : run.requests("storage.identify")) names.push_back(request.value("drive", ""));
  return names;
}

std::vector<std::string> updated(const MachineRun& run) {
  std::vector<std::string> names;
  for (const auto& request : run.requests("inbox.activate")) names.push_back(request.value("drive", ""));
  return names;
}

bool opened(const MachineRun& run, const std::string& path) {
  for (const auto& p : run.openedPaths())
    if (p == path) return true;
  return false;
}

TEST(InboxDiscoveryRun, TwoDrivesAreTakenInEnumerationOrderByTheirDeviceNumbers) {
  const MachineRun run = runOnMachine(machineWith({{"second", 7}, {"first", 3}}), separateProcess());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(identified(run), (std::vector<std::string>{"second", "first"}));
  const auto identifies = run.requests("storage.identify");
  EXPECT_EQ(identifies[0]["path"], "\\\\.\\PHYSICALDRIVE7");
  EXPECT_EQ(identifies[1]["path"], "\\\\.\\PHYSICALDRIVE3");
  EXPECT_EQ(updated(run), (std::vector<std::string>{"second", "first"}));
  EXPECT_NE(run.log.find("[Disk #2]\n"), std::string::npos);
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

TEST(InboxDiscoveryRun, MatchesAreCaseSensitive) {
  DiskSpec lowerVendor{"lowervendor", 1};
  lowerVendor.vendor = "ven_d5a7";
  DiskSpec otherCase{"othercase", 2, {"SCSI\\DiskNVME____KOA", "SCSI\\DiskNvme____KOA", "nvme", "GenDisk"}};
  const MachineRun run = runOnMachine(machineWith({lowerVendor, otherCase, {"taken", 3}}), separateProcess());
  EXPECT_EQ(identified(run), std::vector<std::string>{"taken"});
  EXPECT_FALSE(opened(run, interfacePath(lowerVendor)));
  EXPECT_FALSE(opened(run, interfacePath(otherCase)));
  EXPECT_EQ(run.revision("lowervendor"), "GXB3LTMW");
  EXPECT_EQ(run.revision("othercase"), "GXB3LTMW");
  EXPECT_EQ(run.revision("taken"), "GXB4LTMW");
}

TEST(InboxDiscoveryRun, ALaterHardwareIdentifierWithTheNvmeMarkIsEnough) {
  const DiskSpec later{"later", 4, {"SCSI\\DiskKOA_SSD_1TB", "SCSI\\Disk", "SCSI\\NVMe_KOA_SSD", "GenDisk"}};
  const MachineRun run = runOnMachine(machineWith({later}), separateProcess());
  EXPECT_EQ(identified(run), std::vector<std::string>{"later"});
  EXPECT_EQ(run.revision("later"), "GXB4LTMW");
}

TEST(InboxDiscoveryRun, TheSecondOfThreeDisksCannotBeOpened) {
  const DiskSpec first{"first", 1};
  const DiskSpec locked{"locked", 2};
  const DiskSpec third{"third", 3};
  nlohmann::json machine = machineWith({first, locked, third});
  machine["faults"].push_back({{"action", "failOpen"}, {"path", interfacePath(locked)}, {"error", 32}});
  const MachineRun run = runOnMachine(machine, separateProcess());
  // The walk ends at the disk it cannot open: the first stays a candidate,
  // the third is never looked at.
  EXPECT_EQ(identified(run), std::vector<std::string>{"first"});
  EXPECT_TRUE(opened(run, interfacePath(locked)));
  EXPECT_FALSE(opened(run, interfacePath(third)));
  EXPECT_FALSE(opened(run, "\\\\.\\PHYSICALDRIVE3"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.revision("first"), "GXB4LTMW");
  EXPECT_EQ(run.revision("third"), "GXB3LTMW");
  EXPECT_EQ(run.handlesLeftOpen(), 0);
  EXPECT_EQ(run.deviceSetsLeftOpen(), 0);
}

TEST(InboxDiscoveryRun, ADiskWithoutADeviceNumberIsLeftOutAndTheWalkGoesOn) {
  const DiskSpec silent{"silent", 1};
  nlohmann::json machine = machineWith({silent, {"next", 2}});
  machine["faults"].push_back({{"action", "fail"},
                               {"device", interfacePath(silent)},
                               {"request", "storage.deviceNumber"},
                               {"error", 1}});
  const MachineRun run = runOnMachine(machine, separateProcess());
  EXPECT_EQ(identified(run), std::vector<std::string>{"next"});
  EXPECT_FALSE(opened(run, "\\\\.\\PHYSICALDRIVE1"));
  EXPECT_EQ(run.revision("silent"), "GXB3LTMW");
  EXPECT_EQ(run.revision("next"), "GXB4LTMW");
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

// Without administrator rights the run says so, opens nothing, and ends as a
// run that updated nothing: the line on the console and in the log is what
// tells it from an up-to-date machine.
TEST(InboxDiscoveryRun, AnUnelevatedRunSaysSoOpensNothingAndFails) {
  nlohmann::json machine = oneDriveMachine();
  machine["elevated"] = false;
  // Without /s: the message box shows the final result.
  const MachineRun run = runOnMachine(machine, separateProcess({}));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.standardOutput,
            consoleOf("  [ERROR] koa-update must run with administrator rights; no drive was opened.\n", 1));
  const std::string afterCommand =
      " \n[ERROR] koa-update must run with administrator rights; no drive was opened.\n[No Disk]\n";
  EXPECT_NE(run.log.find(afterCommand), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("Result Details : Patch Failed..\n"), std::string::npos);
  EXPECT_EQ(run.log.find("Patch completed"), std::string::npos);
  EXPECT_NE(run.standardError.find("Patch Failed."), std::string::npos) << run.standardError;
  EXPECT_EQ(run.standardError.find("Patch completed"), std::string::npos);
  for (const auto& entry : run.trace()) {
    // Only the log is opened: no drive.
    if (entry.value("op", "") == "CreateFileW") {
      EXPECT_EQ(entry.value("path", ""), "test.txt");
    }
    EXPECT_NE(entry.value("op", ""), "SetupDiGetClassDevsW");
  }
  EXPECT_EQ(run.handlesLeftOpen(), 0);  // the token too
  EXPECT_EQ(run.revision("koa"), "GXB3LTMW");
  EXPECT_EQ(run.deviceSetsLeftOpen(), 0);
}

}  // namespace
}  // namespace koa::test::inbox
