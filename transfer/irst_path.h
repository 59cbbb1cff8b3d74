// Drives behind the Intel RST driver: firmware download and activation
// through "IntelFw " on the controller, addressed by path id.
#pragma once

#include <cstdint>

#include "platform/win_types.h"
#include "update/drive_record.h"
#include "update/result_code.h"

namespace koa {

// 0 activated, 1602 activated and a power cycle is needed, 1 the download or
// the activation failed, 5 the controller cannot be opened.
ResultCode updateIrstDrive(const DriveRecord& target, const std::uint32_t& imageSize);

// 0 every piece accepted, 1 otherwise.
ResultCode downloadIrst(Handle device, const DriveRecord& target, const std::uint32_t& imageSize);

// 0, 1 or 1602. Only the low byte of pathId reaches the wire.
ResultCode activateIrst(Handle device, std::uint32_t pathId);

}  // namespace koa
