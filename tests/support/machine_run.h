// Runs the program on a simulated machine and gathers what the run leaves:
// console text, log, exit code, the call trace, the machine's state after
// the next reset, what was left open and, when asked, the downloads and
// activations with their bytes.
//
// In process, the program runs on a sim::SimulatedMachine installed as the
// platform, in a fresh working directory; the run keeps the machine. As a
// separate process (RunOptions::separateProcess), the built program runs as a
// user would run it, on a machine file, and the run reads the trace and state
// files it wrote.
//
// With KOA_TEST_WINDOWS_PROGRAM naming the Windows program on the simulated
// machine (koa-update-sim.exe), every separate-process run starts that
// program under Wine instead (WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES are
// passed on), so that the same tests hold the Windows build to the same text
// (tests/windows/run-end-to-end-under-wine.sh):
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

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/simulated_machine.h"
#include "tests/support/request_recorder.h"

namespace koa::test {

struct RunOptions {
  std::vector<std::string> arguments = {"/s"};  // after the program's path
  // The built program as its own process, on a machine file.
  bool separateProcess = false;
  // Separate process: another built program than koa-update (koa-inventory,
  // always the Linux build).
  std::string program;
  // Default: a fresh directory, removed after the run. One the test names is
  // left as the run left it, for the test to read.
  std::filesystem::path workingDirectory;
  // Separate process: added to a clean environment, over the variables that
  // name the machine, trace and state files (KOA_SIM_*).
  std::map<std::string, std::string> environment;
  // In process: keep the downloads and activations with their bytes
  // (MachineRun::recorder).
  bool recordRequests = false;
  // In process: whether the trace's requests carry their input and output as
  // hex text. A sweep of hundreds of runs cannot pay for it.
  bool traceBuffers = true;
  // In process: leave the current directory alone and hand the program
  // "/log=" with a file of the run's own instead. The fuzzer's runs do:
  // libFuzzer writes the input that crashed relative to the current directory.
  bool keepCurrentDirectory = false;
};

// What each drive ran before an in-process run, by the machine's drive name.
struct DriveBefore {
  std::string runningRevision;
  std::string revisionAfterReset;
};

struct MachineRun {
  int exitCode = -1;  // in process the whole code; from a separate process its low 8 bits (1602 arrives as 66)
  std::string standardOutput;
  // A separate process's standard error; in process, the lines the machine
  // wrote for its message boxes, as the program on a machine file writes them.
  std::string standardError;
  std::string log;  // the report's file: the last "/log=" of the arguments, else test.txt
  bool logWritten = false;
  nlohmann::json state;  // the machine after the next reset, in the description format
  // In process: the machine as the run left it, each drive as it was before,
  // and the recorder when RunOptions::recordRequests asked for it.
  std::unique_ptr<sim::SimulatedMachine> machine;
  std::map<std::string, DriveBefore> before;
  std::unique_ptr<RequestRecorder> recorder;

  // Every platform call, in order.
  [[nodiscard]] const std::vector<nlohmann::json>& trace() const;
  // The running revision of a drive in the state.
  [[nodiscard]] std::string revision(const std::string& drive) const;
  // In process: the named drive (throws when there is none).
  [[nodiscard]] sim::NvmeDrive& drive(const std::string& name) const;
  // The calls of one operation ("CreateFileW", ...), in order.
  [[nodiscard]] std::vector<nlohmann::json> calls(const std::string& op) const;
  // The DeviceIoControl calls of one request kind, optionally to one drive.
  [[nodiscard]] std::vector<nlohmann::json> requests(const std::string& kind, const std::string& drive = "") const;
  // The paths CreateFileW was asked for, in order.
  [[nodiscard]] std::vector<std::string> openedPaths() const;
  // Handles (devices and tokens) and device information sets never released.
  [[nodiscard]] int handlesLeftOpen() const;
  [[nodiscard]] int deviceSetsLeftOpen() const;

  // A separate process's trace, read from its file (trace() gives either).
  std::vector<nlohmann::json> traceFromFile;
};

// A run of the built program as its own process, as a user runs it.
RunOptions separateProcess(std::vector<std::string> arguments = {"/s"});

// Runs the program on `machine`, a description in the simulator's JSON format.
// Throws std::runtime_error when an in-process description does not load.
MachineRun runOnMachine(const nlohmann::json& machine, const RunOptions& options = {});
// The same on a machine file; a separate process given an empty path runs on
// the machine built into the program.
MachineRun runOnMachineFile(const std::filesystem::path& machineFile, const RunOptions& options = {});
// In process, on a machine already built (the fuzzer's).
MachineRun runOnMachine(std::unique_ptr<sim::SimulatedMachine> machine, const RunOptions& options = {});

// Another program (cmake, say) with no machine: standard output, standard
// error and exit code.
MachineRun runCommand(const std::string& program, const std::vector<std::string>& arguments);

// The bytes a traced request carried ("input" in hex); tests/support/bytes.h
// reads their fields.
std::vector<std::uint8_t> inputOf(const nlohmann::json& request);

// A machine file of the source tree, e.g. "examples/machines/workstation.json".
nlohmann::json machineFile(const std::string& relativePath);

// A fresh, empty directory under the system's temporary directory.
std::filesystem::path makeTemporaryDirectory();

std::string readFile(const std::filesystem::path& path);
// A log file, whose lines end with CR LF on every build, with LF line ends
// as the golden files have them; throws on a line feed without its CR.
std::string readLogFile(const std::filesystem::path& path);
std::string textModeToLf(const std::string& text, const std::string& what);
void writeFile(const std::filesystem::path& path, const std::string& text);

// A file of the source tree, e.g. "examples/machines/empty.json".
std::filesystem::path sourcePath(const std::string& relative);

}  // namespace koa::test
