// Whether the process runs with the rights that opening a drive needs.
#pragma once

namespace koa {

// True only when the process token says for certain that it is not elevated
// (a filtered administrator token, a plain user). When the token cannot be
// read, or the system does not know TokenElevation, the answer is false: the
// run goes on and the opens themselves say whether they are allowed.
[[nodiscard]] bool runsWithoutAdministratorRights();

}  // namespace koa
