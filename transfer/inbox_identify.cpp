#include "transfer/identify_controller.h"
#include "transfer/inbox_path.h"
#include "transfer/inbox_requests.h"
#include "transfer/target_device.h"
#include "wire/in_place_ioctl.h"

namespace koa {

std::int32_t identifyInboxDrive(DriveRecord candidate, DriveList& drives) {
  const UniqueHandle drive =
      openTargetDevice(candidate.devicePath, /*shareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!drive.valid()) return 2;

  RequestBuffer query(inbox::kIdentifyRequestLength);
  if (!query.ok()) return 5;
  inbox::buildIdentifyQuery(query);
  if (!sendInPlace(drive.get(), IOCTL_STORAGE_QUERY_PROPERTY, query)) return 5;

  const std::optional<std::size_t> identifyData = inbox::identifyDataPosition(query);
  if (!identifyData) return 5;

  identify::fillFromIdentify(candidate, query.data() + *identifyData);
  candidate.pathId = -1;
  drives.push_back(candidate);
  return 0;
}

}  // namespace koa
