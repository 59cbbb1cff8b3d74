// The one object of a run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "report/log_file.h"
#include "update/drive_discovery.h"
#include "update/drive_record.h"

namespace koa {

class UpdateSession {
 public:
  UpdateSession();
  ~UpdateSession();
  UpdateSession(const UpdateSession&) = delete;
  UpdateSession& operator=(const UpdateSession&) = delete;

  // Accepts or rejects the command line (argument 0 is the program path).
  // Sets silentMode, logPath and commandLineText; prints the usage text or
  // the path error when it rejects.
  bool parseCommandLine(int argc, const char16_t* const* argv);
  // Opens (or creates) the file at logPath, checks it and empties it, and
  // keeps it open in logFile for the report; true when it was accepted.
  bool checkLogPath();
  // Takes startTime and writes the start marker.
  void recordStart();
  // Writes the log, the end marker and the message box; returns the exit code.
  int writeReport();

  DriveList targets;
  std::unique_ptr<DriveDiscovery> discovery;
  std::u16string silentSwitch = u"/s";
  std::u16string logSwitch = u"/log";
  std::u16string logPath = u"test.txt";
  // The log named by logPath, held from the command line to the report.
  LogFile logFile;
  std::u16string commandLineText;
  std::u16string startTime;
  std::u16string endTime;
  std::int32_t exitCode = 0;
  // A line the log carries after "Input Command" (empty: none).
  std::u16string reportNotice;
};

// Why a run opened no drive, on standard output (after two blanks) and in the log.
inline constexpr std::u16string_view kNoAdministratorRights =
    u"[ERROR] koa-update must run with administrator rights; no drive was opened.";

// Set by "/s"; suppresses the message box. Clear at start, never reset.
extern bool silentMode;

}  // namespace koa
