// The end of an accepted run: log file, end marker, message box, exit code.
#include "report/report.h"

#include "app/update_session.h"
#include "platform/platform.h"
#include "report/console.h"
#include "report/log_file.h"
#include "report/number_text.h"
#include "report/report_text.h"
#include "report/run_markers.h"
#include "report/timestamp.h"
#include "transfer/firmware_image.h"

namespace koa {

std::u16string messageCaption() { return u"TORVALE " + imageRevision; }

int UpdateSession::writeReport() {
  endTime = widen(currentTimestamp());
  const ReportOutcome outcome =
      buildReport({startTime, endTime}, commandLineText, targets, imageRevision);
  exitCode = outcome.exitCode;

  if (!replaceFileText(logPath, outcome.reportText)) {
    // The drives' results stand; only the log is lost, and the caller is told
    // where it should have been.
    console::wide(u"[ERROR] The log file " + logPath + u" could not be written.");
    console::wideLineEnd();
  }
  writeEndMarker(exitCode);
  if (!silentMode)
    (void)currentPlatform().MessageBoxW(outcome.resultMessage.c_str(), messageCaption().c_str(),
                                        /*uType=*/MB_OK);
  return exitCode;
}

}  // namespace koa
