#include "report/report.h"

#include "platform/platform.h"
#include "report/console.h"
#include "report/log_file.h"
#include "report/run_markers.h"
#include "report/window_station.h"

namespace koa {

std::u16string messageCaption(std::u16string_view imageRevision) {
  return u"TORVALE " + std::u16string(imageRevision);
}

std::int32_t writeRunReport(const RunTimes& times, const std::u16string& commandLineText,
                            const std::u16string& notice, const DriveList& targets, const std::u16string& imageRevision,
                            const std::u16string& logPath, LogFile& log, bool silent) {
  const ReportOutcome outcome = buildReport(times, commandLineText, notice, targets, imageRevision);
  const bool written = (log.isOpen() || log.open(logPath)) && log.write(outcome.reportText);
  log.close();
  if (!written) {
    // The drives' results stand; only the log is lost, and the caller is told
    // where it should have been.
    console::wideLine(u"[ERROR] The log file " + logPath + u" could not be written.");
  }
  writeEndMarker(outcome.exitCode);
  if (!silent && windowStationIsVisible())
    (void)currentPlatform().MessageBoxW(outcome.resultMessage.c_str(), messageCaption(imageRevision).c_str(),
                                        /*uType=*/MB_OK);
  return outcome.exitCode;
}

}  // namespace koa
