// koa-inventory run as its own process on a machine, as a detection script
// runs it. Every run's whole trace is checked on the way for what the
// inventory must never send: only discovery's requests, the firmware
// get-info and the firmware slot log read, nothing that writes.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/machine_run.h"

namespace koa::test {

MachineRun runInventory(const nlohmann::json& machine, std::vector<std::string> arguments = {});

// What of a traced request the inventory could have written to a drive
// (empty: nothing): a download, an activation, a commit, or any request that
// is not one of the reads above.
std::string writingRequest(const nlohmann::json& call);

}  // namespace koa::test
