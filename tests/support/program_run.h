// Runs the Linux program on a simulated machine, as a user would, and
// captures what it leaves behind.
//
// With KOA_TEST_WINDOWS_PROGRAM naming the Windows program on the simulated
// machine (koa-update-sim.exe), every run of the default program starts that
// program under Wine instead (WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES are
// passed on), so that the same tests hold the Windows build to the same text:
//   - absolute paths in the environment and in "/log=" are handed over as
//     Wine's Z: paths, and the Windows forms of those paths and of the
//     program's own path are turned back into the Linux forms in what the run
//     leaves, so expectations name the same paths on both builds;
//   - standard output, standard error and the log files that the run wrote
//     must end every line with CR LF (the C runtime's text mode); they are
//     handed to the test with LF line ends. A line end without CR fails the
//     run (the test sees an exception).
// The exit status stays 8 bits wide, as on Linux: Wine hands Linux the low
// 8 bits of the Windows exit code (tests/windows/run-wine-tests.sh reads the
// full 32-bit code through cmd's !ERRORLEVEL!).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/machine_run.h"

namespace koa::test {

struct ProgramRun {
  std::string standardOutput;
  std::string standardError;
  int exitCode = -1;  // 8 bits wide on Linux: 1602 arrives as 66
};

struct ProgramOptions {
  std::vector<std::string> arguments;             // after the program path
  std::map<std::string, std::string> environment;  // added to a clean environment
  std::filesystem::path workingDirectory;          // default: a fresh temporary directory
  std::string programPath;                         // default: the Linux program
};

ProgramRun runProgram(const ProgramOptions& options);

// The Windows program the default runs go to, or empty (KOA_TEST_WINDOWS_PROGRAM).
std::string windowsProgramUnderTest();

// Text written by the Windows C runtime in text mode, with LF line ends; throws
// when a line feed comes without its carriage return.
std::string textModeToLf(const std::string& text, const std::string& what);

}  // namespace koa::test
