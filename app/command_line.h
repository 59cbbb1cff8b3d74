// The usage text shown for a command line the program does not accept.
#pragma once

namespace koa {

// An empty line, "Allowed Behaviors:" and one line per switch, on the narrow
// standard output.
void printUsage();

}  // namespace koa
