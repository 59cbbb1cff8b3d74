#include "report/report_text.h"

#include "report/log_file.h"
#include "report/number_text.h"

namespace koa {
namespace {

using result::kFailed;
using result::kRebootRequired;
using result::kSucceeded;

constexpr std::u16string_view kCompletedDetail = u"Patch completed\n";
constexpr std::u16string_view kRebootDetail =
    u"Downloaded firmware successfully, but firmware activation requires reboot.\n";
constexpr std::u16string_view kFailedDetail = u"Patch Failed.\n";

std::u16string_view detailFor(ResultCode updateResult) {
  if (updateResult == kSucceeded) return kCompletedDetail;
  if (updateResult == kRebootRequired) return kRebootDetail;
  return kFailedDetail;
}

ResultCode fold(ResultCode overall, ResultCode updateResult) {
  if (updateResult == kSucceeded) return overall;
  if (updateResult == kRebootRequired) return overall == kFailed ? kFailed : kRebootRequired;
  return kFailed;
}

std::u16string number(std::int64_t value) { return widen(decimal(value)); }

}  // namespace

ReportOutcome buildReport(const RunTimes& times, const std::u16string& commandLineText,
                          const std::u16string& notice, const DriveList& targets, const std::u16string& imageRevision) {
  ResultCode exitCode = kSucceeded;
  std::u16string text;
  // Every value passes logValue: only the program's own line feeds end lines.
  text += u"Start Time : " + logValue(times.startTime) + u"\n";
  text += u"End Time : " + logValue(times.endTime) + u"\n";
  text += u"Input Command : " + logValue(commandLineText) + u"\n";
  if (!notice.empty()) text += notice + u"\n";

  if (targets.empty()) {
    text += u"[No Disk]\n";
    text += u"Updated Firmware Version : " + logValue(imageRevision) + u"\n";
    text += u"Return Code : 1\n";
    text += u"Result Details : No disks are available for download.\n";
    exitCode = kFailed;
  }
  std::int64_t diskNumber = 0;
  for (const DriveRecord& target : targets) {
    text += u"\n[Disk #" + number(++diskNumber) + u"]\n";
    text += u"Model Number : " + logValue(target.modelNumber) + u"\n";
    text += u"Serial Number : " + logValue(target.serialNumber) + u"\n";
    text += u"Current Firmware Version : " + logValue(target.firmwareRevision) + u"\n";
    text += u"Updated Firmware Version : " + logValue(imageRevision) + u"\n";
    text += u"Return Code : " + number(target.updateResult) + u"\n";
    text += u"Result Details : ";
    text += detailFor(target.updateResult);
    exitCode = fold(exitCode, target.updateResult);
  }

  ReportOutcome outcome;
  text += u"\n[Final Result]\n";
  text += u"Return Code : " + number(exitCode) + u"\n";
  if (exitCode == kSucceeded) {
    text += u"Result Details : Patch completed\n";
    outcome.resultMessage = u"Patch completed\n";
  } else if (exitCode == kRebootRequired) {
    text += u"Result Details : Downloaded firmware successfully, but firmware activation requires reboot.\n";
    outcome.resultMessage =
        u"Result Details : Downloaded firmware successfully, \nbut firmware activation requires reboot.\n";
  } else {
    text += u"Result Details : Patch Failed..\n";
    outcome.resultMessage = u"Patch Failed.\n";
  }
  outcome.reportText = lowBytes(text);
  outcome.exitCode = exitCode;
  return outcome;
}

}  // namespace koa
