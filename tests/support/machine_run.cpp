#include "tests/support/machine_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "app/run_program.h"
#include "app/update_session.h"
#include "discovery/device_property.h"
#include "platform/platform.h"
#include "report/console.h"
#include "sim/machine_description.h"
#include "sim/sim_bytes.h"
#include "tests/support/null_platform.h"

extern char** environ;

namespace koa::test {

std::filesystem::path makeTemporaryDirectory() {
  static std::mt19937_64 random{std::random_device{}()};
  for (;;) {
    auto path = std::filesystem::temp_directory_path() / ("koa-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(path)) return path;
  }
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out << text;
}

std::filesystem::path sourcePath(const std::string& relative) {
  return std::filesystem::path(KOA_SOURCE_DIR) / relative;
}

nlohmann::json machineFile(const std::string& relativePath) {
  return nlohmann::json::parse(readFile(sourcePath(relativePath)));
}

std::vector<std::uint8_t> inputOf(const nlohmann::json& request) {
  return sim::fromHex(request.value("input", "")).value_or(std::vector<std::uint8_t>{});
}

// ---- What a run left ----

const std::vector<nlohmann::json>& MachineRun::trace() const {
  return machine ? machine->trace().entries() : traceFromFile;
}

std::string MachineRun::revision(const std::string& drive) const {
  return state.at("drives").at(drive).at("firmwareRevision").get<std::string>();
}

sim::NvmeDrive& MachineRun::drive(const std::string& name) const {
  sim::NvmeDrive* found = machine ? machine->drive(name) : nullptr;
  if (found == nullptr) throw std::runtime_error("no drive " + name + " in a machine this process holds");
  return *found;
}

std::vector<nlohmann::json> MachineRun::calls(const std::string& op) const {
  std::vector<nlohmann::json> found;
  for (const auto& entry : trace())
    if (entry.value("op", "") == op) found.push_back(entry);
  return found;
}

std::vector<nlohmann::json> MachineRun::requests(const std::string& kind, const std::string& drive) const {
  std::vector<nlohmann::json> found;
  for (const auto& entry : trace())
    if (entry.value("op", "") == "DeviceIoControl" && entry.value("request", "") == kind &&
        (drive.empty() || entry.value("drive", "") == drive))
      found.push_back(entry);
  return found;
}

std::vector<std::string> MachineRun::openedPaths() const {
  std::vector<std::string> paths;
  for (const auto& entry : calls("CreateFileW")) paths.push_back(entry.value("path", ""));
  return paths;
}

int MachineRun::handlesLeftOpen() const {
  // The machine counts what it holds; a separate process left only its trace.
  if (machine) return static_cast<int>(machine->openHandleCount());
  std::multiset<std::int64_t> open;
  for (const auto& entry : trace()) {
    const std::string op = entry.value("op", "");
    if (op == "CreateFileW" && entry["result"].get<std::int64_t>() != -1)
      open.insert(entry["result"].get<std::int64_t>());
    if (op == "OpenProcessToken" && entry["result"].get<bool>()) open.insert(entry["token"].get<std::int64_t>());
    if (op == "CloseHandle" && entry["result"].get<bool>()) {
      const auto it = open.find(entry["handle"].get<std::int64_t>());
      if (it != open.end()) open.erase(it);
    }
  }
  return static_cast<int>(open.size());
}

int MachineRun::deviceSetsLeftOpen() const {
  if (machine) return static_cast<int>(machine->openDeviceSetCount());
  std::multiset<std::int64_t> open;
  for (const auto& entry : trace()) {
    const std::string op = entry.value("op", "");
    if (op == "SetupDiGetClassDevsW" && entry["result"].get<std::int64_t>() != -1)
      open.insert(entry["result"].get<std::int64_t>());
    if (op == "SetupDiDestroyDeviceInfoList" && entry["result"].get<bool>()) {
      const auto it = open.find(entry["set"].get<std::int64_t>());
      if (it != open.end()) open.erase(it);
    }
  }
  return static_cast<int>(open.size());
}

namespace {

// ---- A separate process ----

std::string windowsProgramUnderTest() {
  const char* program = std::getenv("KOA_TEST_WINDOWS_PROGRAM");
  return program == nullptr ? std::string() : std::string(program);
}

}  // namespace

// Text written with CR LF line ends (the Windows C runtime's text mode, the
// log on every build), with LF line ends; throws when a line feed comes
// without its carriage return.
std::string textModeToLf(const std::string& text, const std::string& what) {
  std::string lf;
  lf.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
      throw std::runtime_error(what + ": a line ends with LF alone at byte " + std::to_string(i) +
                               ", not with the CR LF of the C runtime's text mode");
    lf += text[i];
  }
  return lf;
}

std::string readLogFile(const std::filesystem::path& path) {
  return textModeToLf(readFile(path), "the log " + path.string());
}

namespace {

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// How a run of the default program is handed to the Windows program under
// Wine, and how what it leaves is brought back to the Linux forms.
class WineRun {
 public:
  WineRun(const std::string& windowsProgram, const std::filesystem::path& directory) : directory_(directory) {
    const std::string program = std::filesystem::canonical(windowsProgram).string();
    programArgument_ = program;
    // The program sees its own path as Wine's Z: path; the tests expect the
    // default program's path in the "Input Command" line.
    pairs_.emplace_back(windowsPath(program), KOA_PROGRAM_PATH);
  }

  [[nodiscard]] const std::string& program() const { return programArgument_; }

  std::string argument(const std::string& argument) {
    const std::string logSwitch = "/log=";
    if (argument.rfind(logSwitch, 0) != 0) return argument;
    const std::string path = argument.substr(logSwitch.size());
    if (path.empty()) return argument;
    // A Windows path (a drive letter, backslashes) is the test's own business.
    if (path.find('\\') == std::string::npos && path.find(':') == std::string::npos)
      watchLog(path.front() == '/' ? std::filesystem::path(path) : directory_ / path);
    return path.front() == '/' ? logSwitch + translated(path) : argument;
  }

  std::string environmentValue(const std::string& value) {
    return value.rfind('/', 0) == 0 ? translated(value) : value;
  }

  void defaultLogUnlessNamed(const std::vector<std::string>& arguments) {
    for (const auto& argument : arguments)
      if (argument.rfind("/log=", 0) == 0) return;
    watchLog(directory_ / "test.txt");
  }

  // The program's text, with LF line ends and Linux paths.
  [[nodiscard]] std::string linuxText(const std::string& text, const std::string& what) const {
    std::string lf = textModeToLf(text, what);
    for (const auto& [windowsForm, linuxForm] : pairs_) lf = replaceAll(lf, windowsForm, linuxForm);
    return lf;
  }

  // Log files the run wrote (their content changed) are given LF line ends
  // and Linux paths in place.
  void bringBackLogs() const {
    for (const auto& [path, before] : logsBefore_) {
      if (!std::filesystem::exists(path)) continue;
      const std::string after = readFile(path);
      if (before && *before == after) continue;
      writeFile(path, linuxText(after, "the log " + path.string()));
    }
  }

 private:
  static std::string windowsPath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }

  std::string translated(const std::string& linuxPath) {
    const std::string windows = windowsPath(linuxPath);
    pairs_.emplace_back(windows, linuxPath);
    // Longer paths first, so that a directory never replaces the start of a
    // file path inside it.
    std::stable_sort(pairs_.begin(), pairs_.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    return windows;
  }

  void watchLog(const std::filesystem::path& path) {
    std::optional<std::string> before;
    if (std::filesystem::is_regular_file(path)) before = readFile(path);
    logsBefore_.emplace_back(path, std::move(before));
  }

  std::filesystem::path directory_;
  std::string programArgument_;
  std::vector<std::pair<std::string, std::string>> pairs_;  // Windows form, Linux form
  std::vector<std::pair<std::filesystem::path, std::optional<std::string>>> logsBefore_;
};

// The log files a run of the Linux program may write: every "/log=" path
// of this machine's form and, unless one is named, test.txt. Those the run
// changed get LF line ends in place (a line feed without its CR fails the
// run), so that the tests read them as the golden files have them.
class LinuxLogs {
 public:
  LinuxLogs(const std::vector<std::string>& arguments, const std::filesystem::path& directory) {
    bool named = false;
    for (const auto& argument : arguments) {
      if (argument.rfind("/log=", 0) != 0 || argument.size() == 5) continue;
      named = true;
      const std::string path = argument.substr(5);
      if (path.find('\\') == std::string::npos && path.find(':') == std::string::npos)
        watch(path.front() == '/' ? std::filesystem::path(path) : directory / path);
    }
    if (!named) watch(directory / "test.txt");
  }

  void bringBack() const {
    for (const auto& [path, before] : logs_) {
      if (!std::filesystem::is_regular_file(path)) continue;
      const std::string after = readFile(path);
      if (!before || *before != after) writeFile(path, textModeToLf(after, "the log " + path.string()));
    }
  }

 private:
  void watch(const std::filesystem::path& path) {
    std::optional<std::string> before;
    if (std::filesystem::is_regular_file(path)) before = readFile(path);
    logs_.emplace_back(path, std::move(before));
  }
  std::vector<std::pair<std::filesystem::path, std::optional<std::string>>> logs_;
};

// Starts `program` (or, for the default program with KOA_TEST_WINDOWS_PROGRAM
// set, the Windows program under Wine) in `directory` and waits for it.
void runProcess(const std::string& program, const std::vector<std::string>& arguments,
                const std::map<std::string, std::string>& environment, const std::filesystem::path& directory,
                MachineRun& run) {
  const std::filesystem::path captures = makeTemporaryDirectory();
  const std::string outPath = (captures / "stdout").string();
  const std::string errPath = (captures / "stderr").string();
  const std::string windowsProgram = program == KOA_PROGRAM_PATH ? windowsProgramUnderTest() : std::string();
  std::optional<WineRun> wine;
  if (!windowsProgram.empty()) wine.emplace(windowsProgram, directory);
  const LinuxLogs linuxLogs(arguments, directory);
  const std::string started = wine ? std::string("wine") : program;

  std::vector<std::string> argvText{started};
  if (wine) {
    argvText.push_back(wine->program());
    for (const auto& argument : arguments) argvText.push_back(wine->argument(argument));
    wine->defaultLogUnlessNamed(arguments);
  } else {
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
  }
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  // A clean environment: only what the test names, plus PATH and HOME so
  // that helper tools (wine) work.
  std::vector<std::string> envText;
  for (const char* keep : {"PATH", "HOME", "WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES"})
    if (const char* value = std::getenv(keep)) envText.push_back(std::string(keep) + "=" + value);
  // Wine's own diagnostics would mix with the program's standard error.
  if (wine && std::getenv("WINEDEBUG") == nullptr) envText.push_back("WINEDEBUG=-all");
  for (const auto& [name, value] : environment)
    envText.push_back(name + "=" + (wine ? wine->environmentValue(value) : value));
  std::vector<char*> envp;
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());

  pid_t pid = 0;
  // posix_spawnp: wine is found on PATH; the other programs are given as paths.
  const int spawned = posix_spawnp(&pid, started.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + started);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  run.standardOutput = readFile(outPath);
  run.standardError = readFile(errPath);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::filesystem::remove_all(captures);
  if (wine) {
    run.standardOutput = wine->linuxText(run.standardOutput, "standard output");
    run.standardError = wine->linuxText(run.standardError, "standard error");
    wine->bringBackLogs();
  } else {
    linuxLogs.bringBack();
  }
}

// ---- Both ways ----

// The run's directories: the working directory and a scratch directory for
// the machine, trace and state files, which the program never sees as its
// own. Both are removed on every way out, unless the test named the
// working directory.
struct RunDirectories {
  explicit RunDirectories(const std::filesystem::path& named)
      : working(named.empty() ? makeTemporaryDirectory() : named), ownsWorking(named.empty()) {}
  ~RunDirectories() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    if (ownsWorking) std::filesystem::remove_all(working, ignored);
  }
  RunDirectories(const RunDirectories&) = delete;
  RunDirectories& operator=(const RunDirectories&) = delete;

  std::filesystem::path scratch = makeTemporaryDirectory();
  std::filesystem::path working;
  bool ownsWorking;
};

// The file the report goes to: the last "/log=" wins, as in the program.
std::filesystem::path logPathOf(const std::vector<std::string>& arguments, const std::filesystem::path& working) {
  std::filesystem::path log = "test.txt";
  for (const auto& argument : arguments)
    if (argument.rfind("/log=", 0) == 0 && argument.size() > 5) log = argument.substr(5);
  return log.is_absolute() ? log : working / log;
}

void readLog(MachineRun& run, const std::vector<std::string>& arguments, const std::filesystem::path& working) {
  const std::filesystem::path log = logPathOf(arguments, working);
  run.logWritten = std::filesystem::is_regular_file(log);
  if (run.logWritten) run.log = readFile(log);
}

MachineRun runSeparateProcess(const std::filesystem::path& machineFile, const RunOptions& options,
                              const RunDirectories& directories) {
  std::map<std::string, std::string> environment = {
      {"KOA_SIM_TRACE", (directories.scratch / "trace.jsonl").string()},
      {"KOA_SIM_STATE_OUT", (directories.scratch / "state.json").string()}};
  if (!machineFile.empty()) environment["KOA_SIM_MACHINE"] = machineFile.string();
  for (const auto& [name, value] : options.environment) environment[name] = value;

  MachineRun run;
  runProcess(options.program.empty() ? std::string(KOA_PROGRAM_PATH) : options.program, options.arguments,
             environment, directories.working, run);
  readLog(run, options.arguments, directories.working);
  const std::filesystem::path trace = directories.scratch / "trace.jsonl";
  if (std::filesystem::exists(trace)) {
    std::istringstream lines(readFile(trace));
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) run.traceFromFile.push_back(nlohmann::json::parse(line));
  }
  const std::filesystem::path state = directories.scratch / "state.json";
  if (std::filesystem::exists(state)) run.state = nlohmann::json::parse(readFile(state));
  return run;
}

// ---- In process ----

// Puts back what a run in this process changes, on every way out: the
// console, the current directory, the silent switch and the platform (the
// machine leaves with the run).
class InProcessScope {
 public:
  InProcessScope() = default;
  ~InProcessScope() {
    console::setSinkForTesting({});
    silentMode = false;
    installEmptyMachine();
    if (!previousDirectory_.empty()) {
      std::error_code ignored;
      std::filesystem::current_path(previousDirectory_, ignored);
    }
  }
  InProcessScope(const InProcessScope&) = delete;
  InProcessScope& operator=(const InProcessScope&) = delete;

  void enter(const std::filesystem::path& directory) {
    previousDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(directory);
  }

 private:
  std::filesystem::path previousDirectory_;
};

MachineRun runInProcess(std::unique_ptr<sim::SimulatedMachine> machine, const RunOptions& options,
                        const RunDirectories& directories) {
  MachineRun run;
  run.machine = std::move(machine);
  const nlohmann::json before = run.machine->state();
  for (const auto& [name, drive] : before["drives"].items()) {
    const sim::NvmeDrive* simDrive = run.machine->drive(name);
    run.before[name] = DriveBefore{simDrive->runningRevision(), simDrive->revisionAfterReset()};
  }
  std::ostringstream messageBoxes;
  run.machine->setMessageSink(&messageBoxes);
  run.machine->trace().setBuffersRecorded(options.traceBuffers);

  std::vector<std::string> arguments = options.arguments;
  if (options.keepCurrentDirectory) arguments.push_back("/log=" + (directories.scratch / "koa.log").string());
  std::vector<std::u16string> wide = {u"C:\\pkg\\koa-update.exe"};
  for (const auto& argument : arguments) wide.push_back(utf8ToUtf16(argument));
  std::vector<const char16_t*> argv;
  for (const auto& argument : wide) argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  const LinuxLogs linuxLogs(arguments, directories.working);
  {
    InProcessScope scope;
    if (!options.keepCurrentDirectory) scope.enter(directories.working);
    console::setSinkForTesting([&run](std::string_view bytes) { run.standardOutput.append(bytes); });
    if (options.recordRequests) {
      run.recorder = std::make_unique<RequestRecorder>(*run.machine);
      installPlatform(*run.recorder);
    } else {
      installPlatform(*run.machine);
    }
    run.exitCode = koa::runProgram(static_cast<int>(wide.size()), argv.data());
  }
  run.machine->setMessageSink(nullptr);
  run.state = run.machine->state();
  run.standardError = messageBoxes.str();
  linuxLogs.bringBack();
  readLog(run, arguments, directories.working);
  return run;
}

std::unique_ptr<sim::SimulatedMachine> loaded(const nlohmann::json& machine, const std::string& sourceName) {
  std::string error;
  auto description = sim::parseMachineDescription(machine.dump(), sourceName, error);
  if (!description) throw std::runtime_error(error);
  return std::make_unique<sim::SimulatedMachine>(std::move(*description));
}

}  // namespace

RunOptions separateProcess(std::vector<std::string> arguments) {
  RunOptions options;
  options.arguments = std::move(arguments);
  options.separateProcess = true;
  return options;
}

MachineRun runOnMachine(const nlohmann::json& machine, const RunOptions& options) {
  const RunDirectories directories(options.workingDirectory);
  if (!options.separateProcess)
    return runInProcess(loaded(machine, "machine.json"), options, directories);
  const std::filesystem::path file = directories.scratch / "machine.json";
  writeFile(file, machine.dump(2));
  return runSeparateProcess(file, options, directories);
}

MachineRun runOnMachineFile(const std::filesystem::path& machineFile, const RunOptions& options) {
  if (options.separateProcess) {
    const RunDirectories directories(options.workingDirectory);
    return runSeparateProcess(machineFile, options, directories);
  }
  if (machineFile.empty()) throw std::invalid_argument("only the program itself runs on the machine built into it");
  return runOnMachine(nlohmann::json::parse(readFile(machineFile)), options);
}

MachineRun runOnMachine(std::unique_ptr<sim::SimulatedMachine> machine, const RunOptions& options) {
  if (options.separateProcess) throw std::invalid_argument("a machine already built runs in this process");
  const RunDirectories directories(options.workingDirectory);
  return runInProcess(std::move(machine), options, directories);
}

MachineRun runCommand(const std::string& program, const std::vector<std::string>& arguments) {
  const RunDirectories directories({});
  MachineRun run;
  runProcess(program, arguments, {}, directories.working, run);
  return run;
}

}  // namespace koa::test
