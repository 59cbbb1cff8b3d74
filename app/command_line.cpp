// The two switches: "/s" and "/log=<FILEPATH>".
#include "app/command_line.h"

#include <string>

#include "app/update_session.h"
#include "report/console.h"
#include "report/log_file.h"

namespace koa {

bool silentMode = false;

namespace {

// The switch left-justified in 20 columns, then its description.
std::string usageLine(std::string_view switchText, std::string_view description) {
  std::string line(switchText);
  if (line.size() < 20) line.resize(20, ' ');
  return line.append(description);
}

}  // namespace

void printUsage() {
  console::narrowLine("");
  console::narrowLine("Allowed Behaviors:");
  console::narrowLine(usageLine("/s", "Execute update package in silently without user intervention."));
  console::narrowLine(usageLine("/log=<FILEPATH>", "Write installation log to a specified file."));
}

bool UpdateSession::checkLogPath() { return logFile.open(logPath); }

bool UpdateSession::parseCommandLine(int argc, const char16_t* const* argv) {
  const auto argument = [argv](int index) -> std::u16string {
    return argv[index] != nullptr ? std::u16string(argv[index]) : std::u16string();
  };
  for (int i = 0; i < argc; ++i) commandLineText += argument(i) + u" ";

  for (int i = 1; i < argc; ++i) {
    const std::u16string item = argument(i);
    // Any leading part of "/s", so a lone slash and an empty argument count
    // as the silent switch too.
    if (item.size() <= silentSwitch.size() && silentSwitch.compare(0, item.size(), item) == 0) {
      silentMode = true;
      continue;
    }
    const std::size_t nameLength = logSwitch.size();
    const bool logOption = item.size() > nameLength + 1 &&
                           item.compare(0, nameLength, logSwitch) == 0 && item[nameLength] == u'=';
    if (!logOption) {
      printUsage();
      return false;
    }
    logPath = item.substr(nameLength + 1);
    if (!checkLogPath()) {
      console::wideLine(u"[ERROR] " + logPath + u" is invalid file path.");
      return false;
    }
  }
  return true;
}

}  // namespace koa
