#include "tests/support/program_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace koa::test {

std::string windowsProgramUnderTest() {
  const char* program = std::getenv("KOA_TEST_WINDOWS_PROGRAM");
  return program == nullptr ? std::string() : std::string(program);
}

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

  std::string environmentValue(const std::string& value) { return value.rfind('/', 0) == 0 ? translated(value) : value; }

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

}  // namespace

ProgramRun runProgram(const ProgramOptions& options) {
  const std::filesystem::path directory =
      options.workingDirectory.empty() ? makeTemporaryDirectory() : options.workingDirectory;
  const std::filesystem::path captures = makeTemporaryDirectory();
  const std::string outPath = (captures / "stdout").string();
  const std::string errPath = (captures / "stderr").string();
  const std::string windowsProgram = options.programPath.empty() ? windowsProgramUnderTest() : std::string();
  std::optional<WineRun> wine;
  if (!windowsProgram.empty()) wine.emplace(windowsProgram, directory);
  const std::string program = wine ? std::string("wine")
                              : options.programPath.empty() ? std::string(KOA_PROGRAM_PATH)
                                                            : options.programPath;

  std::vector<std::string> argvText{program};
  if (wine) {
    argvText.push_back(wine->program());
    for (const auto& argument : options.arguments) argvText.push_back(wine->argument(argument));
    wine->defaultLogUnlessNamed(options.arguments);
  } else {
    argvText.insert(argvText.end(), options.arguments.begin(), options.arguments.end());
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
  for (const auto& [name, value] : options.environment)
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
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + program);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  ProgramRun run;
  run.standardOutput = readFile(outPath);
  run.standardError = readFile(errPath);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::filesystem::remove_all(captures);
  if (wine) {
    run.standardOutput = wine->linuxText(run.standardOutput, "standard output");
    run.standardError = wine->linuxText(run.standardError, "standard error");
    wine->bringBackLogs();
  }
  if (options.workingDirectory.empty()) std::filesystem::remove_all(directory);
  return run;
}

}  // namespace koa::test
