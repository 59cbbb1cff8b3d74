// Placeholder until the inbox path lands.
#include "transfer/inbox_path.h"

namespace koa {
std::int32_t identifyInboxDrive(DriveRecord, DriveList&) { return 5; }
std::int32_t updateInboxDrive(const DriveRecord&, const std::uint32_t&) { return 5; }
}  // namespace koa
