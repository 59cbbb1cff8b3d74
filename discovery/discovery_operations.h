// The discovery step's operations bound to the machine. The inbox identify
// query belongs to the inbox transfer path (transfer/), which discovery does
// not reach, so the caller hands it in.
#pragma once

#include <cstdint>
#include <functional>

#include "update/discovery_step.h"

namespace koa {

DiscoveryOperations machineDiscoveryOperations(std::function<std::int32_t(DriveRecord, DriveList&)> identifyInboxDrive);

}  // namespace koa
