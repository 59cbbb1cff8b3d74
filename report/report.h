// The end of an accepted run: log file, end marker, message box, exit code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "report/log_file.h"
#include "report/report_text.h"
#include "update/drive_record.h"

namespace koa {

// "TORVALE " followed by imageRevision.
std::u16string messageCaption(std::u16string_view imageRevision);

// Writes the report of targets through `log`, opened while the command line
// was read (the default log, which the command line did not name, is opened
// here, once, with the same checks) and closes it; a line on the wide stream
// names logPath when it cannot be written (the drives' results stand). Then
// the end marker, and, unless silent or on a window station no one sees, the
// message box. Returns the exit code.
std::int32_t writeRunReport(const RunTimes& times, const std::u16string& commandLineText,
                            const std::u16string& notice, const DriveList& targets, const std::u16string& imageRevision,
                            const std::u16string& logPath, LogFile& log, bool silent);

}  // namespace koa
