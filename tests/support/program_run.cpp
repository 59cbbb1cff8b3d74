#include "tests/support/program_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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

ProgramRun runProgram(const ProgramOptions& options) {
  const std::filesystem::path directory =
      options.workingDirectory.empty() ? makeTemporaryDirectory() : options.workingDirectory;
  const std::filesystem::path captures = makeTemporaryDirectory();
  const std::string outPath = (captures / "stdout").string();
  const std::string errPath = (captures / "stderr").string();
  const std::string program = options.programPath.empty() ? KOA_PROGRAM_PATH : options.programPath;

  std::vector<std::string> argvText{program};
  argvText.insert(argvText.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  // A clean environment: only what the test names, plus PATH and HOME so
  // that helper tools (wine) work.
  std::vector<std::string> envText;
  for (const char* keep : {"PATH", "HOME", "WINEPREFIX", "WINEDEBUG"})
    if (const char* value = std::getenv(keep)) envText.push_back(std::string(keep) + "=" + value);
  for (const auto& [name, value] : options.environment) envText.push_back(name + "=" + value);
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
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
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
  if (options.workingDirectory.empty()) std::filesystem::remove_all(directory);
  return run;
}

}  // namespace koa::test
