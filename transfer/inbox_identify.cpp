#include "transfer/identify_controller.h"
#include "transfer/inbox_drive.h"
#include "transfer/inbox_path.h"
#include "transfer/inbox_requests.h"

namespace koa {

std::int32_t identifyInboxDrive(DriveRecord candidate, DriveList& drives) {
  const UniqueHandle drive = inbox::openDrive(candidate.devicePath);
  if (!drive.valid()) return 2;

  RequestBuffer query(inbox::kIdentifyRequestLength);
  if (!query.ok()) return 5;
  inbox::buildIdentifyQuery(query);
  if (!inbox::sendRequest(drive, IOCTL_STORAGE_QUERY_PROPERTY, query, query.size32())) return 5;

  identify::fillFromIdentify(candidate, query.data() + inbox::kIdentifyDataOffset);
  candidate.pathId = -1;
  drives.push_back(candidate);
  return 0;
}

}  // namespace koa
