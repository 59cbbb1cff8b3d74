// What the report makes of a run's results: the log text, the message box
// text and the exit code.
#pragma once

#include <cstdint>
#include <string>

#include "update/drive_record.h"
#include "update/result_code.h"

namespace koa {

struct RunTimes {
  std::u16string startTime;
  std::u16string endTime;
};

struct ReportOutcome {
  std::string reportText;       // the log file's content, narrow, "\n" line ends
  std::u16string resultMessage;  // the message box body: the final result only
  ResultCode exitCode = 0;      // 0, 1 or 1602
};

// A target whose updateResult is 0 counts as updated, 1602 as updated with a
// reboot needed, and anything else (1, 5, ...) as failed: a drive that could
// not even be opened must never be reported as a success. 1 wins over 1602,
// which wins over 0; no target at all gives 1.
// A notice, when not empty, is a line of its own after the command line.
ReportOutcome buildReport(const RunTimes& times, const std::u16string& commandLineText,
                          const std::u16string& notice, const DriveList& targets, const std::u16string& imageRevision);

}  // namespace koa
