// The Intel storage controller that the controller probe found, as a plain
// value: the orchestrator creates it empty for the run and hands it to the
// walk of the disks below it.
#pragma once

#include <string>

namespace koa {

struct RaidController {
  bool present = false;          // found and opened
  std::u16string interfacePath;  // as SetupAPI gives it, case unchanged
  std::u16string instanceId;     // DEVPKEY_Device_InstanceId
};

}  // namespace koa
