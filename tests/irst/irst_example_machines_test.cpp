// The example machines with an Intel RST controller, run as a user would.
#include <gtest/gtest.h>

#include "tests/support/expected_text.h"
#include "tests/support/machine_run.h"

namespace koa::test {
namespace {

TEST(IrstExampleMachines, WorkstationUpdatesItsRaidMembersAndItsNonRaidDrive) {
  const MachineRun run = runOnMachineFile(sourcePath("examples/machines/workstation.json"), separateProcess());
  ASSERT_EQ(run.requests("csmi.raidConfig").size(), 1u) << run.standardOutput;
  for (const std::string drive : {"irst-raid-a", "irst-raid-b", "irst-single"}) {
    EXPECT_EQ(run.requests("irst.identify", drive).size(), 1u) << drive;
    EXPECT_EQ(run.requests("irst.activate", drive).size(), 1u) << drive;
    EXPECT_EQ(run.state["drives"][drive]["firmwareRevision"], "GXB4LTMW") << drive;
    EXPECT_EQ(run.state["drives"][drive]["committed"]["length"], 2097152) << drive;
  }
  // The non-RAID drive is reached by the bus number of its disk.
  EXPECT_EQ(inputOf(run.requests("irst.identify", "irst-single")[0])[29], 2);
  const ShownDrive single{.driver = "IRST", .model = padded("KOA NVMe SSD 512GB", 40),
                          .serial = padded("KOA0000000000000203", 20), .current = "GXB2LTMW"};
  EXPECT_NE(run.standardOutput.find(displayBlock(single)), std::string::npos) << run.standardOutput;
  EXPECT_EQ(run.handlesLeftOpen(), 0);
  EXPECT_EQ(run.deviceSetsLeftOpen(), 0);
}

TEST(IrstExampleMachines, PowerCycleMachineEndsWith1602) {
  const MachineRun run = runOnMachineFile(sourcePath("examples/machines/irst-power-cycle.json"), separateProcess({}));
  EXPECT_EQ(run.exitCode, 1602 % 256);
  const ShownDrive single{.driver = "IRST", .model = padded("KOA NVMe SSD 1TB", 40),
                          .serial = padded("KOA0000000000000301", 20), .current = "GXB3LTMW"};
  EXPECT_NE(run.standardOutput.find(displayBlock(single)), std::string::npos) << run.standardOutput;
  EXPECT_NE(run.standardOutput.find("  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n"),
            std::string::npos);
  EXPECT_EQ(inputOf(run.requests("irst.identify", "irst-single")[0])[29], 1);
  EXPECT_NE(run.standardError.find("MessageBox: "), std::string::npos);
  EXPECT_NE(run.standardError.find("Downloaded firmware successfully, \\nbut firmware activation requires reboot."),
            std::string::npos);
  EXPECT_EQ(run.state["drives"]["irst-single"]["firmwareRevision"], "GXB4LTMW");
}

}  // namespace
}  // namespace koa::test
