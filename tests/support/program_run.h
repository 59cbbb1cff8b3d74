// Runs the Linux program on a simulated machine, as a user would, and
// captures what it leaves behind.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

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

// A fresh, empty directory under the system's temporary directory.
std::filesystem::path makeTemporaryDirectory();

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& text);

// A file of the source tree, e.g. "examples/machines/empty.json".
std::filesystem::path sourcePath(const std::string& relative);

}  // namespace koa::test
