// Placeholder until the inbox path lands: no inbox disk is found.
#include "update/drive_discovery.h"

namespace koa {
bool DriveDiscovery::enumerateInboxDrives() { return true; }
}  // namespace koa
