// The operations of the update pass that reach the machine: the discovery
// walks and queries and the transfer paths, through the installed platform.
#pragma once

#include "update/update_pass.h"

namespace koa {

UpdateOperations machineOperations();

}  // namespace koa
