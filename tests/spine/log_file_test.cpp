// The log path an elevated run is given, on a simulated machine whose files
// are a Windows namespace over host directories: every form a deployment
// legitimately uses works, and every way a standard user could redirect the
// write to a file of their choosing is refused before any drive is touched,
// with no byte of any file changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/expected_text.h"
#include "tests/support/golden.h"
#include "tests/support/machine_run.h"
#include "tests/support/one_drive_machine.h"

namespace koa {
namespace {

namespace fs = std::filesystem;

const std::string kVictimText = "127.0.0.1 localhost\r\n";

class LogPath : public ::testing::Test {
 protected:
  // C: holds the log folder and a file a standard user must not get written
  // (C:\Windows\hosts, and C:\Windows\win.ini, which a planted hard link
  // names too); \\server\share is a second host directory.
  void SetUp() override {
    root = test::makeTemporaryDirectory();
    fs::create_directories(root / "c" / "logs" / "Журнал");
    fs::create_directories(root / "c" / "logs" / "long folder name");
    fs::create_directories(root / "c" / "Windows");
    fs::create_directories(root / "share");
    test::writeFile(victim(), kVictimText);
    // What a user who owns C:\logs can plant there.
    fs::create_directory_symlink(root / "c" / "Windows", root / "c" / "logs" / "junction");
    fs::create_symlink(victim(), root / "c" / "logs" / "planted.log");
    test::writeFile(linked(), kVictimText);
    fs::create_hard_link(linked(), root / "c" / "logs" / "hard.log");

    machine = test::inbox::oneDriveMachine();
    machine["fileSystem"] = {
        {"volumes", {{"C:", (root / "c").string()}}},
        {"shares", {{"\\\\server\\share", (root / "share").string()}}},
        {"subst", {{"S:", "C:\\logs"}}},
        {"mapped", {{"Z:", "\\\\server\\share"}}},
        {"pipes", {"koa"}},
        {"currentDirectory", "C:\\logs"}};
  }
  void TearDown() override { fs::remove_all(root); }

  fs::path victim() const { return root / "c" / "Windows" / "hosts"; }
  fs::path linked() const { return root / "c" / "Windows" / "win.ini"; }  // with a second name

  test::MachineRun run(const std::string& logPath) {
    test::RunOptions options;
    options.arguments = {"/s", "/log=" + logPath};
    return test::runOnMachine(machine, options);
  }

  fs::path root;
  nlohmann::json machine;
};

struct Legitimate {
  std::string path;       // as given after "/log="
  std::string hostFile;   // below the test's root
  std::string inCommand;  // the path as the log's "Input Command" shows it
};

TEST_F(LogPath, EveryLegitimateFormGetsTheReportThroughTheOneOpen) {
  const std::vector<Legitimate> cases = {
      {"C:\\logs\\fw.log", "c/logs/fw.log", ""},
      {"c:\\LOGS\\.\\sub\\..\\Case.log", "c/logs/Case.log", ""},
      {"\\\\server\\share\\unc.log", "share/unc.log", ""},
      {"Z:\\mapped.log", "share/mapped.log", ""},
      {"S:\\subst.log", "c/logs/subst.log", ""},
      {"C:\\logs\\LONGFO~1\\short.log", "c/logs/long folder name/short.log", ""},
      {"relative.log", "c/logs/relative.log", ""},
      // The log shows each character's low byte; U+041E's is 0x1E, a "?".
      {"C:\\logs\\журнал\\Отчёт.log", "c/logs/Журнал/Отчёт.log", "C:\\logs\\6C@=0;\\?BGQB.log"},
      {"C:\\logs\\日志 文件.log", "c/logs/日志 文件.log", "C:\\logs\\\xE5\xD7 \x87\xF6.log"},
      // U+010A's low byte is a line feed: the log shows "?" in its place.
      {"C:\\logs\\\u010A[Final Result].log", "c/logs/\u010A[Final Result].log", "C:\\logs\\?[Final Result].log"},
  };
  for (const Legitimate& c : cases) {
    SCOPED_TRACE(c.path);
    test::writeFile(root / c.hostFile, std::string(5000, 'x'));  // emptied, then the report
    const test::MachineRun result = run(c.path);
    EXPECT_EQ(result.exitCode, 0);
    const std::string shown = c.inCommand.empty() ? c.path : c.inCommand;
    const std::string log = test::readLogFile(root / c.hostFile);
    const std::string tail = "Input Command : C:\\pkg\\koa-update.exe /s /log=" + shown + " \n" +
                             test::logBlock(1, test::inbox::koaDrive(), 0) +
                             "\n[Final Result]\nReturn Code : 0\nResult Details : Patch completed\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    // Opened by name once, while the command line was read: the report
    // went through that handle and the name was not opened again.
    const auto opens = result.calls("CreateFileW");
    ASSERT_FALSE(opens.empty());
    EXPECT_EQ(opens[0]["path"], c.path);
    EXPECT_EQ(opens[0]["shareMode"], FILE_SHARE_READ | FILE_SHARE_WRITE);  // no FILE_SHARE_DELETE
    EXPECT_EQ(opens[0]["creationDisposition"], OPEN_ALWAYS);
    EXPECT_EQ(opens[0]["flagsAndAttributes"], FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
    for (std::size_t i = 1; i < opens.size(); ++i) EXPECT_NE(opens[i]["path"], c.path);
    const auto writes = result.calls("WriteFile");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0]["handle"], opens[0]["result"]);
    EXPECT_EQ(result.handlesLeftOpen(), 0);
    EXPECT_EQ(test::readFile(victim()), kVictimText);
  }
}

TEST_F(LogPath, RedirectedOrUnplainLogsAreRefusedBeforeAnyDrive) {
  const std::vector<std::string> cases = {
      "C:\\logs\\junction\\hosts",  // a junction on the way
      "C:\\logs\\planted.log",      // a symbolic link at the name
      "C:\\logs\\hard.log",         // a second name of the file
      "C:\\logs",                   // a folder
      "NUL",                        // a device
      "\\\\.\\PHYSICALDRIVE1",      // the drive itself
      "\\\\.\\pipe\\koa",           // a pipe
      "C:\\logs\\a\nb.log",         // control characters
      "C:\\logs\\a\x7F" "b.log",
  };
  for (const std::string& path : cases) {
    SCOPED_TRACE(path);
    const test::MachineRun result = run(path);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardOutput, test::golden("invalid_log_path.stdout", {{"PATH", path}}));
    for (const auto& entry : result.trace()) {
      EXPECT_NE(entry.value("op", ""), "SetupDiGetClassDevsW");
      EXPECT_NE(entry.value("op", ""), "SetEndOfFile");
      EXPECT_NE(entry.value("op", ""), "WriteFile");
    }
    const auto opens = result.openedPaths();
    EXPECT_LE(opens.size(), path.find_first_of("\n\x7F") == std::string::npos ? 1u : 0u);
    EXPECT_EQ(result.handlesLeftOpen(), 0);
    EXPECT_EQ(test::readFile(victim()), kVictimText);
    EXPECT_TRUE(fs::is_symlink(root / "c" / "logs" / "planted.log"));
    EXPECT_EQ(test::readFile(linked()), kVictimText);
    EXPECT_EQ(fs::hard_link_count(linked()), 2u);
  }
}

}  // namespace
}  // namespace koa
