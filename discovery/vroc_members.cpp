// Placeholder until the VROC path lands: no VROC port answers.
#include "discovery/vroc_members.h"

namespace koa {
std::int32_t enumerateVrocMembers(DriveRecord, DriveList&, std::int32_t&) { return 0; }
}  // namespace koa
