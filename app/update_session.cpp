#include "app/update_session.h"

#include "report/number_text.h"
#include "report/report.h"
#include "report/run_markers.h"
#include "report/timestamp.h"
#include "transfer/firmware_image.h"

namespace koa {

UpdateSession::UpdateSession() : discovery(std::make_unique<DriveDiscovery>()) {}

// The discovery state goes first; the strings and then targets follow in
// reverse declaration order.
UpdateSession::~UpdateSession() { discovery.reset(); }

void UpdateSession::recordStart() {
  startTime = widen(currentTimestamp());
  writeStartMarker();
}

int UpdateSession::writeReport() {
  endTime = widen(currentTimestamp());
  exitCode = writeRunReport({startTime, endTime}, commandLineText, reportNotice, targets, imageRevision, logPath,
                            logFile, silentMode);
  return exitCode;
}

}  // namespace koa
