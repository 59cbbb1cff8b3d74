// What must hold after every run, however the machine failed or answered:
// checked after each run of the fault sweep and of the fuzzer.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "tests/support/machine_run.h"

namespace koa::reliability {

using test::MachineRun;

// How the sweep and the fuzzer run the program, so that the invariants can
// be checked: in process with "/s", the downloads and activations recorded
// with their bytes (the trace then carries none) and the current directory
// left alone.
[[nodiscard]] test::RunOptions checkedRunOptions();

// The invariants a run broke, one line each; empty when it broke none.
//  - no handle and no device set left open;
//  - every download piece carries exactly the image bytes at its offset,
//    inside the image;
//  - no activation or commit follows a failed piece of the same drive, and
//    none reaches a drive that has not received the whole image in order;
//  - the run header, the start and end markers and the log are written, and
//    the exit code is what the log's per-drive Return Codes make it (1 when
//    any drive failed or none was updated);
//  - a drive the log reports as updated holds the image after the next
//    reset; every drive runs, and will run after a reset, either its old
//    firmware or the image, and nothing but the image was ever committed.
// The run must have been made with checkedRunOptions(); loadImage() must have
// been called (runProgram does).
[[nodiscard]] std::vector<std::string> brokenInvariants(const MachineRun& run);

// How a run ended: its exit code, the log's drives ("<serial>: <Return
// Code>", in order) and the drives that hold the image after a reset and did
// not before. A run past a fault the program asks past must end as the clean
// run did.
struct RunOutcome {
  int exitCode = -1;
  std::vector<std::string> reported;
  std::set<std::string> updated;
};
[[nodiscard]] RunOutcome outcomeOf(const MachineRun& run);

// Where run ended otherwise than `expected`, one line each; empty when it
// ended the same way. The run must have been made in process.
[[nodiscard]] std::vector<std::string> departuresFrom(const RunOutcome& expected, const MachineRun& run);

}  // namespace koa::reliability
