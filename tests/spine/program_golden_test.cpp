// The Linux program run as a user would run it, on the empty simulated
// machine (whose clock is pinned): the whole standard output and the whole
// log compared byte for byte with the golden files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tests/support/machine_run.h"

namespace koa {
namespace {

class ProgramOnEmptyMachine : public ::testing::Test {
 protected:
  void SetUp() override { directory = test::makeTemporaryDirectory(); }
  void TearDown() override { std::filesystem::remove_all(directory); }

  // The run's files stay in `directory` for the test to read.
  test::MachineRun run(const std::vector<std::string>& arguments) {
    test::RunOptions options = test::separateProcess(arguments);
    options.workingDirectory = directory;
    return test::runOnMachineFile(test::sourcePath("examples/machines/empty.json"), options);
  }

  // The log's command line: the program path and every argument, each
  // followed by one blank.
  static std::string command(const std::vector<std::string>& arguments) {
    std::string text = std::string(KOA_PROGRAM_PATH) + " ";
    for (const auto& argument : arguments) text += argument + " ";
    return text;
  }

  std::string file(const std::string& name) const { return test::readFile(directory / name); }
  bool exists(const std::string& name) const { return std::filesystem::exists(directory / name); }

  std::filesystem::path directory;
};

TEST_F(ProgramOnEmptyMachine, NoArgumentsReportsNoDiskAndShowsTheMessage) {
  const auto result = run({});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardOutput, test::golden("no_disk.stdout"));
  EXPECT_EQ(file("test.txt"), test::golden("empty_machine.log", {{"COMMAND", command({})}}));
  EXPECT_NE(result.standardError.find("MessageBox: TORVALE GXB4LTMW: Patch Failed."), std::string::npos)
      << result.standardError;
}

TEST_F(ProgramOnEmptyMachine, SilentRunShowsNoMessage) {
  const auto result = run({"/s"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardOutput, test::golden("no_disk.stdout"));
  EXPECT_EQ(file("test.txt"), test::golden("empty_machine.log", {{"COMMAND", command({"/s"})}}));
  EXPECT_EQ(result.standardError.find("MessageBox"), std::string::npos) << result.standardError;
}

TEST_F(ProgramOnEmptyMachine, LoneSlashAndEmptyArgumentAreSilent) {
  const auto result = run({"/", ""});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardOutput, test::golden("no_disk.stdout"));
  EXPECT_EQ(file("test.txt"), test::golden("empty_machine.log", {{"COMMAND", command({"/", ""})}}));
  EXPECT_EQ(result.standardError.find("MessageBox"), std::string::npos) << result.standardError;
}

TEST_F(ProgramOnEmptyMachine, RejectedCommandLinesPrintTheUsage) {
  for (const char* argument : {"/S", "/Log=x", "/log", "/logx", "/log="}) {
    SCOPED_TRACE(argument);
    const auto result = run({argument});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardOutput, test::golden("usage.stdout"));
    EXPECT_EQ(result.standardError, "");
    EXPECT_FALSE(exists("test.txt"));
    EXPECT_FALSE(exists("x"));
  }
}

TEST_F(ProgramOnEmptyMachine, LogInAMissingDirectoryIsRefused) {
  const std::string path = (directory / "missing" / "fw.txt").string();
  const auto result = run({"/s", "/log=" + path});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardOutput, test::golden("invalid_log_path.stdout", {{"PATH", path}}));
  EXPECT_FALSE(exists("missing"));
  EXPECT_FALSE(exists("test.txt"));
}

TEST_F(ProgramOnEmptyMachine, ValidLogThenUnknownWord) {
  test::writeFile(directory / "a.txt", "held text before the run");
  const auto result = run({"/log=a.txt", "/x"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardOutput, test::golden("usage.stdout"));
  EXPECT_EQ(file("a.txt"), "");
}

TEST_F(ProgramOnEmptyMachine, UnknownWordThenValidLog) {
  const auto result = run({"/x", "/log=a.txt"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardOutput, test::golden("usage.stdout"));
  EXPECT_FALSE(exists("a.txt"));
}

TEST_F(ProgramOnEmptyMachine, TwoLogOptionsCreateBothAndTheSecondGetsTheReport) {
  const auto result = run({"/log=a.txt", "/log=b.txt", "/s"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardOutput, test::golden("no_disk.stdout"));
  EXPECT_EQ(file("a.txt"), "");
  EXPECT_EQ(file("b.txt"),
            test::golden("empty_machine.log", {{"COMMAND", command({"/log=a.txt", "/log=b.txt", "/s"})}}));
  EXPECT_FALSE(exists("test.txt"));
}

TEST_F(ProgramOnEmptyMachine, LogPathWithBlanks) {
  std::filesystem::create_directory(directory / "my logs");
  const std::string path = (directory / "my logs" / "run log.txt").string();
  const auto result = run({"/s", "/log=" + path});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardOutput, test::golden("no_disk.stdout"));
  EXPECT_EQ(test::readFile(directory / "my logs" / "run log.txt"),
            test::golden("empty_machine.log", {{"COMMAND", command({"/s", "/log=" + path})}}));
}

}  // namespace
}  // namespace koa

namespace koa {
namespace {

// A Linux exit status holds 8 bits: the log carries the full code, and the
// status is its low byte (1602 arrives as 66).
TEST(ProgramExitCode, LinuxStatusIsTheLowByteOfTheLoggedCode) {
  const auto result =
      test::runOnMachineFile(test::sourcePath("examples/machines/workstation.json"), test::separateProcess());
  const std::string& log = result.log;

  const std::string finalBlock = "\n[Final Result]\nReturn Code : ";
  const auto at = log.rfind(finalBlock);
  ASSERT_NE(at, std::string::npos) << log;
  const int logged = std::stoi(log.substr(at + finalBlock.size()));
  EXPECT_TRUE(logged == 0 || logged == 1 || logged == 1602) << logged;
  EXPECT_EQ(result.exitCode, logged & 0xFF);
  EXPECT_NE(result.standardOutput.find(" >> KOA Ended (Return Code : " + std::to_string(logged) + ")\n"),
            std::string::npos);
}

}  // namespace
}  // namespace koa
