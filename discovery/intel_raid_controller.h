// The Intel storage controller whose driver is RST or RAID, and the disks
// below it.
#pragma once

#include <cstdint>

#include "update/raid_controller.h"

namespace koa {

// True only when a controller was found, opened and its instance identifier
// read. Only the first matching controller is ever looked at.
bool findIntelRaidController(RaidController& controller);

// The bus number in the location text of the device node devInst, -1 when
// there is none.
std::int32_t readBusNumber(std::uint32_t devInst);

}  // namespace koa
