#include "transfer/target_display.h"

#include <string>

#include "report/console.h"
#include "transfer/firmware_image.h"

namespace koa {
namespace {

void line(std::u16string_view text) {
  console::wide(text);
  console::wideLineEnd();
}

const std::u16string kRule(45, u'-');

}  // namespace

void writeTargetDisplayBlock(const DriveRecord& target) {
  const bool vroc = target.driverKind == DriverKind::VrocRaid ||
                    target.driverKind == DriverKind::VrocNonRaid;
  line(u"");
  line(kRule);
  line(u" Firmware Download | Target Disk Information ");
  line(kRule);
  if (target.driverKind == DriverKind::Inbox)
    line(u" Driver : Inbox Driver");
  else if (vroc)
    line(u" Driver : VROC Driver");
  else
    line(u" Driver : IRST Driver");
  if (!vroc) line(target.driverKind == DriverKind::IrstRaid ? u" Raid : Yes" : u" Raid : No");
  line(u" Model Number : " + target.modelNumber);
  line(u" Serial Number : " + target.serialNumber);
  line(u" Current FW : " + target.firmwareRevision);
  // The image revision is written up to its first NUL; the record's strings
  // at their full length.
  const std::u16string revision = imageRevision.substr(0, imageRevision.find(u'\0'));
  line(u" Updated FW : " + revision);
  line(kRule);
}

}  // namespace koa
