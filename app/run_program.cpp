#include "app/run_program.h"

#include "app/one_run.h"
#include "update/process_rights.h"
#include "app/update_session.h"
#include "platform/platform.h"
#include "report/console.h"
#include "report/run_markers.h"
#include "transfer/firmware_image.h"

namespace koa {
namespace {

// No critical-error or open-file dialog may ever stop an unattended run: the
// process keeps the error mode it started with and gains both flags.
void suppressErrorDialogs(Platform& platform) {
  const std::uint32_t currentMode = platform.SetErrorMode(0);
  (void)platform.SetErrorMode(currentMode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace

int runProgram(int argc, const char16_t* const* argv) {
  Platform& platform = currentPlatform();
  // Before anything can load a DLL: a program started elevated from a
  // download folder or a share must not load a planted DLL from beside it
  // when a system DLL loads one on demand. A system too old to know the call
  // goes on as before.
  (void)platform.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (platform.GetModuleHandleW(/*lpModuleName=*/nullptr) == 0)
    console::wide(u"Fatal Error: GetModuleHandle failed\n");
  else
    suppressErrorDialogs(platform);

  int exitCode = 1;
  {
    // Declared first, so that it is released after the report is written.
    RunLock lock;
    UpdateSession session;
    loadImage();
    writeRunHeader(imageRevision);
    if (const auto refusal = refusedByRunLock(lock)) return *refusal;
    if (session.parseCommandLine(argc, argv)) {
      session.recordStart();
      // Without administrator rights every open of a drive, a controller or
      // a SCSI port is refused, and a run that tried would report "No disks
      // are available", exactly what an up-to-date machine reports. Nothing
      // is opened; the line, and the same line in the log, say why.
      if (runsWithoutAdministratorRights()) {
        console::wideLine(u"  " + std::u16string(kNoAdministratorRights));
        session.reportNotice = kNoAdministratorRights;
      } else {
        (void)session.discovery->runUpdate(session);
      }
      exitCode = session.writeReport();
    }
  }
  return exitCode;
}

}  // namespace koa
