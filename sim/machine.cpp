#include "sim/machine.h"

#include <ctime>
#include <utility>
#include <iostream>

#include "sim/wide_text.h"

namespace koa::sim {

namespace {

// A module handle as Windows gives one: the image base of the program.
constexpr std::intptr_t kModuleHandle = 0x140000000;
constexpr int IDOK = 1;

std::string escapedLineFeeds(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

}  // namespace

Machine::Machine(MachineDescription description) : machine_(std::move(description)) {}

Machine::~Machine() = default;

bool Machine::fail(std::uint32_t error) {
  lastError_ = error;
  return false;
}

std::intptr_t Machine::GetModuleHandleW(const char16_t* moduleName) {
  // Only the program's own module is loaded on this machine.
  if (moduleName == nullptr) return kModuleHandle;
  fail(ERROR_FILE_NOT_FOUND);
  return 0;
}

std::uint32_t Machine::SetErrorMode(std::uint32_t mode) { return std::exchange(errorMode_, mode); }

int Machine::MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) {
  MessageBoxRecord box{fromWideZ(caption), fromWideZ(text), type};
  std::ostream& sink = messageSink_ != nullptr ? *messageSink_ : std::cerr;
  sink << "MessageBox: " << escapedLineFeeds(toUtf8(box.caption)) << ": " << escapedLineFeeds(toUtf8(box.text))
       << std::endl;
  messageBoxes_.push_back(std::move(box));
  return IDOK;
}

LocalTime Machine::localTime() {
  if (machine_.clock) return *machine_.clock;
  const std::time_t seconds = std::time(nullptr);
  std::tm parts{};
  // The simulated machine also runs inside the Windows program built for
  // tests under Wine, whose runtime has localtime_s instead.
#if defined(_WIN32)
  localtime_s(&parts, &seconds);
#else
  localtime_r(&seconds, &parts);
#endif
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

NvmeDrive* Machine::drive(const std::string& name) const {
  auto it = machine_.drives.find(name);
  return it == machine_.drives.end() ? nullptr : it->second.get();
}

nlohmann::json Machine::state() const { return stateWith(&NvmeDrive::stateAfterReset); }

nlohmann::json Machine::stateNow() const { return stateWith(&NvmeDrive::stateNow); }

nlohmann::json Machine::stateWith(nlohmann::json (NvmeDrive::*driveState)() const) const {
  nlohmann::json state = machine_.source;
  for (const auto& [name, drive] : machine_.drives) state["drives"][name] = ((*drive).*driveState)();
  for (const auto& target : machine_.targets) {
    if (target.section.empty()) continue;
    if (target.isScsiPort) {
      state["scsiPorts"][target.scsiPortEntry][target.section] = target.device->state();
    } else {
      state["devices"][target.deviceNode][target.section] = target.device->state();
    }
  }
  return state;
}

}  // namespace koa::sim
