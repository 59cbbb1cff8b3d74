// The local time as the run's log and markers show it.
#pragma once

#include <string>

namespace koa {

// The platform's current local time as "dd-mm-yyyy(hh:mm:ss)", each field
// zero-padded to its width, for example "07-12-2026(21:05:03)".
std::string currentTimestamp();

}  // namespace koa
