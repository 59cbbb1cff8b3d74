#include <gtest/gtest.h>

#include <filesystem>

#include "app/update_session.h"
#include "report/report.h"
#include "tests/support/console_capture.h"
#include "tests/support/golden.h"
#include "tests/support/recording_platform.h"
#include "transfer/firmware_image.h"

namespace koa {
namespace {

const std::string kEndMarker = "\n >> KOA Ended (Return Code : ";

class Report : public ::testing::Test {
 protected:
  void SetUp() override {
    platform = &test::RecordingPlatform::install();
    platform->clock = {{2026, 12, 7, 21, 6, 41}};
    loadImage();
    silentMode = false;
    directory = test::makeTemporaryDirectory();
    session.startTime = u"07-12-2026(21:05:03)";
    session.commandLineText = u"D:\\pkg\\update.exe /s /log=D:\\logs\\fw.txt ";
    session.logPath = (directory / "fw.txt").u16string();
  }
  void TearDown() override {
    silentMode = false;
    std::filesystem::remove_all(directory);
  }

  void addTargets(std::initializer_list<std::int32_t> results) {
    for (std::int32_t result : results) {
      DriveRecord target = makeCandidate(DriverKind::Inbox, u"\\\\.\\PHYSICALDRIVE1", -1);
      target.modelNumber = u"TORVALE NVME SSD EXAMPLE";
      target.serialNumber = u"S000EXAMPLE000" + std::u16string(1, char16_t(u'1' + session.targets.size()));
      target.firmwareRevision = u"GXB3LTMW";
      target.updateResult = result;
      session.targets.push_back(target);
    }
  }

  std::string log() const { return test::readLogFile(directory / "fw.txt"); }

  static std::string endMarker(int code) { return kEndMarker + std::to_string(code) + ")\n\n"; }

  test::RecordingPlatform* platform = nullptr;
  std::filesystem::path directory;
  UpdateSession session;
  test::ConsoleCapture quiet;  // keeps the end markers off the test output
};

TEST_F(Report, CaptionIsTorvaleAndTheImageRevision) {
  EXPECT_EQ(messageCaption(imageRevision), u"TORVALE GXB4LTMW");
}

TEST_F(Report, NoTargetIsTheNoDiskBlockAndExitCode1) {
  session.commandLineText = u"C:\\koa-update.exe ";
  test::ConsoleCapture console;
  EXPECT_EQ(session.writeReport(), 1);
  EXPECT_EQ(session.exitCode, 1);
  EXPECT_EQ(log(), test::golden("no_disk.log", {{"COMMAND", "C:\\koa-update.exe "}}));
  EXPECT_EQ(console.text(), endMarker(1));
  ASSERT_EQ(platform->messages.size(), 1u);
  EXPECT_EQ(platform->messages[0].text, u"Patch Failed.\n");
  EXPECT_EQ(platform->messages[0].caption, u"TORVALE GXB4LTMW");
  EXPECT_EQ(platform->messages[0].type, 0u);
}

TEST_F(Report, EndTimeIsTakenByTheReport) {
  EXPECT_EQ(session.writeReport(), 1);
  EXPECT_EQ(session.endTime, u"07-12-2026(21:06:41)");
  EXPECT_EQ(platform->clockReads, 1);
}

struct ReportCase {
  std::vector<std::int32_t> results;
  const char* golden;
  int exitCode;
  std::u16string message;
};

const std::u16string kCompleted = u"Patch completed\n";
const std::u16string kReboot =
    u"Result Details : Downloaded firmware successfully, \nbut firmware activation requires reboot.\n";
const std::u16string kFailed = u"Patch Failed.\n";

TEST_F(Report, ResultsAndOrdersGiveTheirLogExitCodeAndMessage) {
  const std::vector<ReportCase> cases = {
      {{0}, "report_0.log", 0, kCompleted},
      {{1602}, "report_1602.log", 1602, kReboot},
      {{1}, "report_1.log", 1, kFailed},
      {{5}, "report_5.log", 1, kFailed},
      {{1602, 1}, "report_1602_1.log", 1, kFailed},
      {{1, 1602}, "report_1_1602.log", 1, kFailed},
      {{0, 1602}, "report_0_1602.log", 1602, kReboot},
      {{0, 0, 5}, "report_0_0_5.log", 1, kFailed},
      {{5, 1602, 0}, "report_5_1602_0.log", 1, kFailed},
  };
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.golden);
    session.targets.clear();
    platform->messages.clear();
    for (std::int32_t result : c.results) addTargets({result});
    test::ConsoleCapture console;
    EXPECT_EQ(session.writeReport(), c.exitCode);
    EXPECT_EQ(log(), test::golden(c.golden));
    EXPECT_EQ(console.text(), endMarker(c.exitCode));
    ASSERT_EQ(platform->messages.size(), 1u);
    EXPECT_EQ(platform->messages[0].text, c.message);
  }
}

TEST_F(Report, SilentRunShowsNoMessageButWritesLogAndMarker) {
  silentMode = true;
  addTargets({1602});
  test::ConsoleCapture console;
  EXPECT_EQ(session.writeReport(), 1602);
  EXPECT_TRUE(platform->messages.empty());
  EXPECT_EQ(log(), test::golden("report_1602.log"));
  EXPECT_EQ(console.text(), endMarker(1602));
}

TEST_F(Report, LogGetsTheLowByteOfEveryCharacterAndNoLineEndOfAValue) {
  addTargets({0});
  session.targets[0].modelNumber =
      u"TORVALE \u00E9" + std::u16string{char16_t(0xFF80), char16_t(0xFFFF)} + u"\u4E2D\u0141 X";
  // A unit whose low byte is a control character (U+010A is a line feed)
  // would start a line of its own: it is written as "?".
  session.targets[0].serialNumber = u"S1\u010A\u0009  ";
  EXPECT_EQ(session.writeReport(), 0);
  EXPECT_EQ(log(), test::golden("report_wide_model.log"));
}

TEST_F(Report, ReplacesWhatTheLogHeldBefore) {
  test::writeFile(directory / "fw.txt", std::string(10000, 'x'));
  addTargets({0});
  EXPECT_EQ(session.writeReport(), 0);
  EXPECT_EQ(log(), test::golden("report_0.log"));
}

// The drives' results stand when only the log is lost; the run still ends
// with its marker and its message.
TEST_F(Report, UnwritableLogIsNamedAndTheExitCodeKept) {
  session.logPath = (directory / "gone" / "fw.txt").u16string();
  addTargets({1602});
  test::ConsoleCapture console;
  EXPECT_EQ(session.writeReport(), 1602);
  const std::string path = (directory / "gone" / "fw.txt").string();
  EXPECT_EQ(console.text(), "[ERROR] The log file " + path + " could not be written.\n" + endMarker(1602));
  ASSERT_EQ(platform->messages.size(), 1u);
  EXPECT_EQ(platform->messages[0].text, kReboot);
  EXPECT_FALSE(std::filesystem::exists(directory / "gone"));
}

}  // namespace
}  // namespace koa
