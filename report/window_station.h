// Whether anyone can see a message box the process shows.
#pragma once

namespace koa {

// False only when the process's window station says for certain that it is
// not visible: a service, or a deployment agent running as the local system
// account, sits on a window station that no user sees, and a message box
// there would hold the process (and the deployment tool waiting for its exit
// code) for ever. When the window station cannot be asked, the answer is
// true, as it was before the question was asked.
[[nodiscard]] bool windowStationIsVisible();

}  // namespace koa
