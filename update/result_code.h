// The result codes of a drive's update: what each transfer path returns, what
// the orchestrator stores in updateResult and what the report reads. One
// signed 32-bit type, the type of updateResult, wherever a code travels.
#pragma once

#include <cstdint>

namespace koa {

using ResultCode = std::int32_t;

namespace result {

// The update (or the step of a path that returns it) succeeded: the drive
// runs the new image.
inline constexpr ResultCode kSucceeded = 0;
// A download, activation or commit failed or was refused.
inline constexpr ResultCode kFailed = 1;
// runUpdate only: no candidate, or no target.
inline constexpr ResultCode kNothingToUpdate = 2;
// The device could not be opened; the inbox path gives it for a failed
// request too, the VROC path for a commit the drive completed with an error
// status.
inline constexpr ResultCode kNotReached = 5;
// The drive holds the new image and runs it after the next reset or power
// cycle.
inline constexpr ResultCode kRebootRequired = 1602;

}  // namespace result
}  // namespace koa
