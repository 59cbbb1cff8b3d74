// Runs the Linux program on a simulated machine description and gathers
// what it leaves: console text, log, exit code, the call trace and the
// machine's state after the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/program_run.h"

namespace koa::test::inbox {

// tests/machines/inbox/one-drive.json: the maker's drive "koa" (GXB3LTMW,
// FWUG 1, slots (1 read-only), (2 active)) as PHYSICALDRIVE1, beside
// another maker's disk.
nlohmann::json oneDriveMachine();
nlohmann::json machineFile(const std::string& relativePath);

struct MachineRun {
  ProgramRun program;
  std::string log;  // the log file's text
  std::vector<nlohmann::json> trace;
  nlohmann::json state;

  // The DeviceIoControl calls of one request kind, in order.
  [[nodiscard]] std::vector<nlohmann::json> requests(const std::string& kind) const;
  // The paths CreateFileW was asked for, in order.
  [[nodiscard]] std::vector<std::string> openedPaths() const;
  // Handles CreateFileW gave that were never closed.
  [[nodiscard]] int handlesLeftOpen() const;
  // Device information sets SetupDiGetClassDevsW gave that were never destroyed.
  [[nodiscard]] int deviceSetsLeftOpen() const;
  // The running revision of a drive in the state after the run.
  [[nodiscard]] std::string revision(const std::string& drive) const;
};

MachineRun runMachine(const nlohmann::json& machine, const std::vector<std::string>& arguments = {"/s"});

// The bytes a traced request carried ("input" in hex).
std::vector<std::uint8_t> inputOf(const nlohmann::json& request);

// Little-endian field of a traced request's input.
std::uint64_t inputField(const nlohmann::json& request, std::size_t offset, std::size_t width);

// ---- Expected text ----

// The whole standard output of an accepted run: header, start marker, body,
// end marker with exitCode.
std::string consoleOf(const std::string& body, int exitCode);
// The target display block of an inbox drive.
std::string displayBlock(const std::string& model, const std::string& serial, const std::string& current);
// The display block of the one-drive machine's drive.
std::string koaDisplayBlock();

}  // namespace koa::test::inbox
