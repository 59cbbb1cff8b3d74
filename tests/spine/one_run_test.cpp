// One run at a time: the run lock on the simulated machine, whose other
// processes' mutexes come from the machine description.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/one_drive_machine.h"

namespace koa::test::inbox {
namespace {

const std::string kLockName = "Global\\TORVALE.koa-update.run";

nlohmann::json machineWithLock(const std::string& madeBy, const std::string& state) {
  nlohmann::json machine = oneDriveMachine();
  machine["mutexes"] = nlohmann::json::array({{{"name", kLockName}, {"madeBy", madeBy}, {"state", state}}});
  return machine;
}

std::size_t indexOf(const MachineRun& run, const std::string& op) {
  const auto& trace = run.trace();
  for (std::size_t i = 0; i < trace.size(); ++i)
    if (trace[i].value("op", "") == op) return i;
  return trace.size();
}

// What a refused run must not have done: no drive, no device set, no log, no
// message box, every handle closed, the drive as it was.
void expectNothingChanged(const MachineRun& run, const std::filesystem::path& log) {
  EXPECT_FALSE(std::filesystem::exists(log));
  EXPECT_FALSE(run.logWritten);
  EXPECT_EQ(indexOf(run, "CreateFileW"), run.trace().size());
  EXPECT_EQ(indexOf(run, "SetupDiGetClassDevsW"), run.trace().size());
  EXPECT_EQ(indexOf(run, "MessageBoxW"), run.trace().size());
  EXPECT_EQ(run.handlesLeftOpen(), 0);
  EXPECT_EQ(run.revision("koa"), "GXB3LTMW");
}

// While another administrator's run holds the lock, every run, whatever its
// arguments, writes the header and one line and exits with 1618.
TEST(OneRun, WhileAnotherRunHoldsTheLockARunChangesNothingAndExitsWith1618) {
  const std::filesystem::path directory = makeTemporaryDirectory();
  const std::filesystem::path log = directory / "fw.txt";
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"/log=" + log.string()}, {"/unknown", "/log=" + log.string()}, {"/s"}}) {
    SCOPED_TRACE(arguments.front());
    RunOptions options;
    options.arguments = arguments;
    options.workingDirectory = directory;
    const MachineRun run = runOnMachine(machineWithLock("administrator", "held"), options);
    EXPECT_EQ(run.exitCode, 1618);
    EXPECT_EQ(run.standardOutput,
              runHeader() + "  [ERROR] Another koa-update is running on this machine; this run changed nothing.\n");
    expectNothingChanged(run, log);
    EXPECT_FALSE(std::filesystem::exists(directory / "test.txt"));
    EXPECT_EQ(run.state["mutexes"][0]["state"], "held");
  }
  std::filesystem::remove_all(directory);
}

// A lock that a standard user made could be held for ever to stop every
// run: it is named and refused, never waited on. An administrator who cannot
// take the lock at all is refused too.
TEST(OneRun, ALockThatNoAdministratorMadeIsRefusedWithOneLine) {
  const std::filesystem::path directory = makeTemporaryDirectory();
  const std::filesystem::path log = directory / "fw.txt";
  nlohmann::json deniedToAll = oneDriveMachine();
  deniedToAll["faults"] = nlohmann::json::array({{{"action", "fail"}, {"call", 5}, {"error", 5}}});
  const struct {
    nlohmann::json machine;
    std::string line;
  } cases[] = {
      {machineWithLock("standardUser", "free"),
       "  [ERROR] The run lock Global\\TORVALE.koa-update.run is held by "
       "S-1-5-21-1111111111-2222222222-3333333333-1002, who is not an administrator; this run changed nothing.\n"},
      {deniedToAll,
       "  [ERROR] The run lock Global\\TORVALE.koa-update.run cannot be taken (error 0x5); this run changed "
       "nothing.\n"},
  };
  for (const auto& [machine, line] : cases) {
    SCOPED_TRACE(line);
    RunOptions options;
    options.arguments = {"/log=" + log.string()};
    options.workingDirectory = directory;
    const MachineRun run = runOnMachine(machine, options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.standardOutput, runHeader() + line);
    expectNothingChanged(run, log);
    EXPECT_EQ(indexOf(run, "WaitForSingleObject"), run.trace().size());
  }
  std::filesystem::remove_all(directory);
}

// A run that ended without releasing the lock leaves it abandoned: the next
// run takes it over and is a run like any other, and releases it at its end.
TEST(OneRun, AnAbandonedLockIsTakenOverAndTheRunGoesOnAsAlone) {
  const MachineRun alone = runOnMachine(oneDriveMachine());
  const MachineRun run = runOnMachine(machineWithLock("administrator", "abandoned"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.standardOutput, alone.standardOutput);
  EXPECT_EQ(run.revision("koa"), "GXB4LTMW");
  EXPECT_EQ(run.state["mutexes"][0]["state"], "free");
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

// The order of a run's start, the lock's own security byte for byte, and the
// lock held until the report is written. Without administrator rights the
// lock can be neither created (the Administrators cannot be made its owner)
// nor opened (its DACL), and the run says what it lacks, as before.
TEST(OneRun, TheRunStartsWithTheDllSearchAndHoldsTheLockToItsEnd) {
  RunOptions withMessageBox;
  withMessageBox.arguments = {};
  const MachineRun run = runOnMachine(oneDriveMachine(), withMessageBox);
  ASSERT_FALSE(run.trace().empty());
  EXPECT_EQ(run.trace()[0].value("op", ""), "SetDefaultDllDirectories");
  EXPECT_EQ(run.trace()[0]["directoryFlags"], 0x800);
  EXPECT_EQ(run.trace()[0]["result"], true);
  const std::size_t create = indexOf(run, "CreateMutexW");
  ASSERT_LT(create, run.trace().size());
  EXPECT_LT(indexOf(run, "SetErrorMode"), create);
  EXPECT_LT(create, indexOf(run, "OpenProcessToken"));
  const nlohmann::json& lock = run.trace()[create];
  EXPECT_EQ(lock["name"], kLockName);
  EXPECT_EQ(lock["initialOwner"], false);
  // Self-relative, DACL present and protected; owner S-1-5-32-544; ACL of 52
  // bytes: MUTEX_ALL_ACCESS to S-1-5-18, then to S-1-5-32-544.
  EXPECT_EQ(lock["securityDescriptor"],
            "01000490" "14000000" "00000000" "00000000" "24000000"
            "0102000000000005" "2000000020020000"
            "0200340002000000"
            "000014000100" "1f00" "0101000000000005" "12000000"
            "000018000100" "1f00" "0102000000000005" "2000000020020000");
  const std::size_t release = indexOf(run, "ReleaseMutex");
  ASSERT_LT(release, run.trace().size());
  EXPECT_EQ(run.trace()[release]["result"], true);
  EXPECT_LT(indexOf(run, "MessageBoxW"), release);
  EXPECT_EQ(run.handlesLeftOpen(), 0);

  nlohmann::json unelevated = oneDriveMachine();
  unelevated["elevated"] = false;
  nlohmann::json unelevatedWhileHeld = machineWithLock("administrator", "held");
  unelevatedWhileHeld["elevated"] = false;
  const struct {
    nlohmann::json machine;
    std::uint32_t error;
  } cases[] = {{unelevated, 1307}, {unelevatedWhileHeld, 5}};
  for (const auto& [machine, error] : cases) {
    SCOPED_TRACE(error);
    const MachineRun refused = runOnMachine(machine);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.standardOutput,
              consoleOf("  [ERROR] koa-update must run with administrator rights; no drive was opened.\n", 1));
    EXPECT_EQ(refused.trace()[indexOf(refused, "CreateMutexW")]["lastError"], error);
    EXPECT_EQ(refused.handlesLeftOpen(), 0);
  }
}

}  // namespace
}  // namespace koa::test::inbox
