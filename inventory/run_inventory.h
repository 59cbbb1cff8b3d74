// The entry routine of koa-inventory: looks at the machine with the
// updater's own discovery, never writes to a drive, and answers in the form
// the command line asks for. The build's own main installs the platform.
#pragma once

namespace koa {

// Exit codes: no drive needs the update; at least one does; the machine
// could not be looked at whole (no administrator rights, a walk that stopped
// early, another run holding the lock) or the command line was refused.
inline constexpr int kInventoryNothingNeeded = 0;
inline constexpr int kInventoryUpdateNeeded = 1;
inline constexpr int kInventoryCouldNotLook = 2;

int runInventory(int argc, const char16_t* const* argv);

}  // namespace koa
