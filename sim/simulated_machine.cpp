#include "sim/simulated_machine.h"

#include <ctime>
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

SimulatedMachine::SimulatedMachine(MachineDescription description)
    : machine_(std::move(description)), faultCounts_(machine_.faults.size(), 0) {}

SimulatedMachine::~SimulatedMachine() = default;

bool SimulatedMachine::fail(std::uint32_t error) {
  lastError_ = error;
  return false;
}

std::uint32_t SimulatedMachine::GetLastError() {
  trace_.record({{"op", "GetLastError"}, {"result", lastError_}});
  return lastError_;
}

std::intptr_t SimulatedMachine::GetModuleHandleW(const char16_t* moduleName) {
  // Only the program's own module is loaded on this machine.
  const std::intptr_t result = moduleName == nullptr ? kModuleHandle : 0;
  if (result == 0) fail(ERROR_FILE_NOT_FOUND);
  trace_.record({{"op", "GetModuleHandleW"},
                 {"moduleName", moduleName ? nlohmann::json(toUtf8(moduleName)) : nlohmann::json()},
                 {"result", result}, {"lastError", lastError_}});
  return result;
}

std::uint32_t SimulatedMachine::SetErrorMode(std::uint32_t mode) {
  const std::uint32_t previous = errorMode_;
  errorMode_ = mode;
  trace_.record({{"op", "SetErrorMode"}, {"mode", mode}, {"result", previous}});
  return previous;
}

int SimulatedMachine::MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) {
  MessageBoxRecord box{fromWideZ(caption), fromWideZ(text), type};
  const std::string captionText = toUtf8(box.caption);
  const std::string bodyText = toUtf8(box.text);
  std::ostream& sink = messageSink_ != nullptr ? *messageSink_ : std::cerr;
  sink << "MessageBox: " << escapedLineFeeds(captionText) << ": " << escapedLineFeeds(bodyText) << std::endl;
  messageBoxes_.push_back(std::move(box));
  trace_.record({{"op", "MessageBoxW"}, {"caption", captionText}, {"text", bodyText}, {"type", type},
                 {"result", IDOK}});
  return IDOK;
}

LocalTime SimulatedMachine::localTime() {
  LocalTime now{};
  if (machine_.clock) {
    now = *machine_.clock;
  } else {
    const std::time_t seconds = std::time(nullptr);
    std::tm parts{};
    // The simulated machine also runs inside the Windows program built for
    // tests under Wine, whose runtime has localtime_s instead.
#if defined(_WIN32)
    localtime_s(&parts, &seconds);
#else
    localtime_r(&seconds, &parts);
#endif
    now = LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
  }
  trace_.record({{"op", "localTime"},
                 {"result", {now.year, now.month, now.day, now.hour, now.minute, now.second}}});
  return now;
}

NvmeDrive* SimulatedMachine::drive(const std::string& name) const {
  auto it = machine_.drives.find(name);
  return it == machine_.drives.end() ? nullptr : it->second.get();
}

nlohmann::json SimulatedMachine::state() const {
  nlohmann::json state = machine_.source;
  for (const auto& [name, drive] : machine_.drives) state["drives"][name] = drive->stateAfterReset();
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
