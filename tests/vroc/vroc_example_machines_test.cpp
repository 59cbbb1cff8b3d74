// The example VROC machines, run by the Linux program as a user would run
// it: the first run updates every VROC target and asks for a reboot, and a
// run on the machine it leaves behind finds nothing to update.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/machine_run.h"

namespace koa::test {
namespace {

struct Example {
  const char* file;
  std::vector<const char*> updated;  // drives that must run the image's revision after the reset
  std::vector<const char*> untouched;
};

TEST(VrocExampleMachines, EachExampleIsUpdatedOnceAndThenLeftAlone) {
  const Example examples[] = {
      {"examples/machines/vroc-server.json", {"vroc-member-1", "vroc-member-2"}, {"vroc-pass-1", "vroc-pass-2"}},
      {"examples/machines/vroc-pass-through.json", {"vroc-pass-1", "vroc-pass-2"}, {}},
  };
  for (const Example& example : examples) {
    const MachineRun first = runOnMachineFile(sourcePath(example.file), separateProcess());
    EXPECT_EQ(first.exitCode, 1602 & 0xFF) << example.file << "\n" << first.standardError;
    EXPECT_NE(first.standardOutput.find(" >> KOA Ended (Return Code : 1602)\n"), std::string::npos);
    for (const char* name : example.updated) {
      EXPECT_EQ(first.state["drives"][name]["firmwareRevision"], "GXB4LTMW") << example.file << " " << name;
      EXPECT_EQ(first.state["drives"][name]["committed"]["length"], 2097152) << example.file << " " << name;
    }
    for (const char* name : example.untouched)
      EXPECT_FALSE(first.state["drives"][name].contains("committed")) << example.file << " " << name;

    const MachineRun second = runOnMachine(first.state, separateProcess());
    EXPECT_EQ(second.exitCode, 1) << example.file;
    EXPECT_NE(second.log.find("[No Disk]\n"), std::string::npos) << example.file;
    EXPECT_EQ(second.standardOutput.find("Firmware Download"), std::string::npos) << example.file;
  }
}

}  // namespace
}  // namespace koa::test
