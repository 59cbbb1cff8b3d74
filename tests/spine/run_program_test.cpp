// Whole runs in process, on an empty machine with the clock pinned: standard
// output and the log compared byte for byte with the golden files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/run_program.h"
#include "app/update_session.h"
#include "report/utf16_to_utf8.h"
#include "tests/support/console_capture.h"
#include "tests/support/golden.h"
#include "tests/support/recording_platform.h"

namespace koa {
namespace {

constexpr const char16_t* kProgram = u"C:\\pkg\\koa-update.exe";

class RunProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    platform = &test::RecordingPlatform::install();
    platform->clock = {{2026, 12, 7, 21, 5, 3}, {2026, 12, 7, 21, 6, 41}};
    silentMode = false;
    directory = test::makeTemporaryDirectory();
    previousDirectory = std::filesystem::current_path();
    std::filesystem::current_path(directory);
  }
  void TearDown() override {
    std::filesystem::current_path(previousDirectory);
    std::filesystem::remove_all(directory);
    silentMode = false;
  }

  int run(const std::vector<std::u16string>& arguments) {
    std::vector<std::u16string> items{kProgram};
    items.insert(items.end(), arguments.begin(), arguments.end());
    std::vector<const char16_t*> argv;
    for (const auto& item : items) argv.push_back(item.c_str());
    argv.push_back(nullptr);
    test::ConsoleCapture capture;
    const int code = runProgram(static_cast<int>(items.size()), argv.data());
    output = capture.text();
    return code;
  }

  // The command line as the log shows it: every item and one blank after it.
  static std::string command(const std::vector<std::string>& arguments) {
    std::string text = utf16ToUtf8(kProgram) + " ";
    for (const auto& argument : arguments) text += argument + " ";
    return text;
  }

  std::string file(const std::string& name) const { return test::readLogFile(directory / name); }
  bool exists(const std::string& name) const { return std::filesystem::exists(directory / name); }

  test::RecordingPlatform* platform = nullptr;
  std::filesystem::path directory;
  std::filesystem::path previousDirectory;
  std::string output;
};

TEST_F(RunProgram, NoArgumentsOnAnEmptyMachine) {
  EXPECT_EQ(run({}), 1);
  EXPECT_EQ(output, test::golden("no_disk.stdout"));
  EXPECT_EQ(file("test.txt"), test::golden("no_disk.log", {{"COMMAND", command({})}}));
  ASSERT_EQ(platform->messages.size(), 1u);
  EXPECT_EQ(platform->messages[0].text, u"Patch Failed.\n");
  EXPECT_EQ(platform->messages[0].caption, u"TORVALE GXB4LTMW");
  EXPECT_EQ(platform->messages[0].type, 0u);
  EXPECT_FALSE(silentMode);
}

TEST_F(RunProgram, SilentRunShowsNoMessage) {
  EXPECT_EQ(run({u"/s"}), 1);
  EXPECT_EQ(output, test::golden("no_disk.stdout"));
  EXPECT_EQ(file("test.txt"), test::golden("no_disk.log", {{"COMMAND", command({"/s"})}}));
  EXPECT_TRUE(platform->messages.empty());
}

TEST_F(RunProgram, LoneSlashAndEmptyArgumentAreTheSilentSwitch) {
  EXPECT_EQ(run({u"/", u"", u"/s"}), 1);
  EXPECT_EQ(output, test::golden("no_disk.stdout"));
  EXPECT_EQ(file("test.txt"), test::golden("no_disk.log", {{"COMMAND", command({"/", "", "/s"})}}));
  EXPECT_TRUE(platform->messages.empty());
}

TEST_F(RunProgram, UnrecognisedArgumentsPrintTheUsageAndTouchNothing) {
  for (const char16_t* argument :
       {u"/S", u"/Log=x", u"/LOG=x", u"/log", u"/logx", u"/log=", u"/log:x", u"-s", u"s", u"/ss",
        u"/s ", u" /s", u"x"}) {
    SCOPED_TRACE(utf16ToUtf8(argument));
    platform->clockReads = 0;
    EXPECT_EQ(run({argument}), 1);
    EXPECT_EQ(output, test::golden("usage.stdout"));
    EXPECT_FALSE(exists("test.txt"));
    EXPECT_FALSE(exists("x"));
    EXPECT_TRUE(platform->messages.empty());
    EXPECT_EQ(platform->clockReads, 0);  // no start marker, no report
  }
}

TEST_F(RunProgram, LogInAMissingDirectoryIsRefusedWithoutUsage) {
  const std::string path = (directory / "missing" / "fw.txt").string();
  EXPECT_EQ(run({u"/log=" + (directory / "missing" / "fw.txt").u16string()}), 1);
  EXPECT_EQ(output, test::golden("invalid_log_path.stdout", {{"PATH", path}}));
  EXPECT_FALSE(exists("missing"));
  EXPECT_FALSE(exists("test.txt"));
  EXPECT_TRUE(platform->messages.empty());
}

TEST_F(RunProgram, LogThenUnknownWordCreatesTheLogEmpty) {
  test::writeFile(directory / "a.txt", "old text");
  EXPECT_EQ(run({u"/log=a.txt", u"/S"}), 1);
  EXPECT_EQ(output, test::golden("usage.stdout"));
  EXPECT_EQ(file("a.txt"), "");
  EXPECT_FALSE(exists("test.txt"));
}

TEST_F(RunProgram, UnknownWordThenLogStopsBeforeTheLog) {
  EXPECT_EQ(run({u"/S", u"/log=a.txt"}), 1);
  EXPECT_EQ(output, test::golden("usage.stdout"));
  EXPECT_FALSE(exists("a.txt"));
}

TEST_F(RunProgram, TwoLogOptionsCreateBothAndReportIntoTheSecond) {
  test::writeFile(directory / "a.txt", "old text");
  EXPECT_EQ(run({u"/log=a.txt", u"/s", u"/log=b.txt"}), 1);
  EXPECT_EQ(output, test::golden("no_disk.stdout"));
  EXPECT_EQ(file("a.txt"), "");
  EXPECT_EQ(file("b.txt"), test::golden("no_disk.log", {{"COMMAND", command({"/log=a.txt", "/s", "/log=b.txt"})}}));
  EXPECT_FALSE(exists("test.txt"));
}

TEST_F(RunProgram, LogPathWithBlanks) {
  std::filesystem::create_directory(directory / "my logs");
  const std::string path = (directory / "my logs" / "run log.txt").string();
  EXPECT_EQ(run({u"/log=" + (directory / "my logs" / "run log.txt").u16string(), u"/s"}), 1);
  EXPECT_EQ(output, test::golden("no_disk.stdout"));
  EXPECT_EQ(test::readLogFile(directory / "my logs" / "run log.txt"),
            test::golden("no_disk.log", {{"COMMAND", command({"/log=" + path, "/s"})}}));
}

TEST_F(RunProgram, LogPathIsTakenAsGivenAfterTheEqualsSign) {
  // "=" inside the path and a leading blank are part of the name.
  EXPECT_EQ(run({u"/log= a=b.txt", u"/s"}), 1);
  EXPECT_TRUE(exists(" a=b.txt"));
  EXPECT_FALSE(exists("a=b.txt"));
}

TEST_F(RunProgram, NonAsciiLogPath) {
  EXPECT_EQ(run({u"/log=\u65E5\u672C.txt", u"/s"}), 1);
  EXPECT_TRUE(exists("\xE6\x97\xA5\xE6\x9C\xAC.txt"));
}

TEST_F(RunProgram, ErrorModeAddsCriticalErrorAndOpenFileFlags) {
  platform->errorMode = 0x0004;  // SEM_NOALIGNMENTFAULTEXCEPT, set by someone else
  (void)run({u"/s"});
  ASSERT_FALSE(platform->errorModesSet.empty());
  EXPECT_EQ(platform->errorMode, 0x8005u);
}

TEST_F(RunProgram, MissingModuleHandleIsReportedAndTheRunGoesOn) {
  platform->moduleHandle = 0;
  EXPECT_EQ(run({u"/s"}), 1);
  EXPECT_EQ(output, "Fatal Error: GetModuleHandle failed\n" + test::golden("no_disk.stdout"));
  EXPECT_TRUE(platform->errorModesSet.empty());
  EXPECT_TRUE(exists("test.txt"));
}

TEST_F(RunProgram, CommandLineTextIsEveryItemFollowedByABlank) {
  UpdateSession session;
  const char16_t* argv[] = {u"prog", u"/s", u"", u"/s", nullptr};
  test::ConsoleCapture capture;
  EXPECT_TRUE(session.parseCommandLine(4, argv));
  EXPECT_EQ(session.commandLineText, u"prog /s  /s ");
  EXPECT_EQ(session.logPath, u"test.txt");
  EXPECT_EQ(capture.text(), "");
}

TEST_F(RunProgram, RejectedItemStillAppearsInTheCommandLineText) {
  UpdateSession session;
  const char16_t* argv[] = {u"prog", u"/X", u"/log=a.txt", nullptr};
  test::ConsoleCapture capture;
  EXPECT_FALSE(session.parseCommandLine(3, argv));
  EXPECT_EQ(session.commandLineText, u"prog /X /log=a.txt ");
  EXPECT_EQ(session.logPath, u"test.txt");
}

}  // namespace
}  // namespace koa
