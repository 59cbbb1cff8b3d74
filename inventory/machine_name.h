// The machine's name as an administrator's device inventory shows it.
#pragma once

#include <string>

namespace koa {

// The host name (UTF-8), or empty when it cannot be read.
[[nodiscard]] std::string readMachineName();

}  // namespace koa
