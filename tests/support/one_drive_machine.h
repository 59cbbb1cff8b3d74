// The machine the inbox end-to-end runs start from, and its drive as the
// program shows it.
#pragma once

#include <nlohmann/json.hpp>

#include "tests/support/expected_text.h"
#include "tests/support/machine_run.h"

namespace koa::test::inbox {

// tests/machines/inbox/one-drive.json: the maker's drive "koa" (GXB3LTMW,
// FWUG 1, slots (1 read-only), (2 active)) as PHYSICALDRIVE1, beside
// another maker's disk.
inline nlohmann::json oneDriveMachine() { return machineFile("tests/machines/inbox/one-drive.json"); }

// The one-drive machine's drive as the program shows it.
inline ShownDrive koaDrive() {
  return {.model = padded("KOA NVMe SSD 1TB", 40), .serial = padded("KOA0000000000000301", 20), .current = "GXB3LTMW"};
}

}  // namespace koa::test::inbox
