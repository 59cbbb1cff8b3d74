#include "transfer/target_display.h"

#include <string>

#include "report/console.h"
#include "transfer/firmware_image.h"

namespace koa {
namespace {

const std::u16string kRule(45, u'-');

}  // namespace

void writeTargetDisplayBlock(const DriveRecord& target) {
  const bool vroc = target.driverKind == DriverKind::VrocRaid ||
                    target.driverKind == DriverKind::VrocNonRaid;
  console::wideLine(u"");
  console::wideLine(kRule);
  console::wideLine(u" Firmware Download | Target Disk Information ");
  console::wideLine(kRule);
  if (target.driverKind == DriverKind::Inbox)
    console::wideLine(u" Driver : Inbox Driver");
  else if (vroc)
    console::wideLine(u" Driver : VROC Driver");
  else
    console::wideLine(u" Driver : IRST Driver");
  if (!vroc) console::wideLine(target.driverKind == DriverKind::IrstRaid ? u" Raid : Yes" : u" Raid : No");
  console::wideLine(u" Model Number : " + target.modelNumber);
  console::wideLine(u" Serial Number : " + target.serialNumber);
  console::wideLine(u" Current FW : " + target.firmwareRevision);
  // The image revision is written up to its first NUL; the record's strings
  // at their full length.
  const std::u16string revision = imageRevision.substr(0, imageRevision.find(u'\0'));
  console::wideLine(u" Updated FW : " + revision);
  console::wideLine(kRule);
}

}  // namespace koa
