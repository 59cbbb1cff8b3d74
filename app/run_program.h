// The entry routine of every build: prepares the process, runs the update
// and returns the process exit code. The build's own main installs the
// platform first and hands over the wide argument vector.
#pragma once

namespace koa {

int runProgram(int argc, const char16_t* const* argv);

}  // namespace koa
