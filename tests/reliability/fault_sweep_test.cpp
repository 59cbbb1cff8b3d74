// The fault sweep: every platform call of a clean run, failed in turn in
// every way it can fail, on a machine with inbox and IRST (RAID and
// non-RAID) targets and on a machine with VROC targets. After every run the
// run invariants must hold (tests/reliability/run_invariants.h); after a
// fault the program asks past, the run must also end as the clean run did.
//
// KOA_SWEEP_EVERY_PIECE=1 fails every download piece too, instead of each
// drive's first two, middle and last two pieces: a run of an hour or more.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "tests/reliability/fault_plan.h"
#include "tests/reliability/run_invariants.h"

namespace koa::reliability {
namespace {

bool everyPiece() {
  const char* value = std::getenv("KOA_SWEEP_EVERY_PIECE");
  return value != nullptr && std::string(value) == "1";
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += "\n    " + line;
  return text;
}

struct SweepCounts {
  std::size_t runs = 0;
  std::size_t failurePoints = 0;
  std::size_t representedCalls = 0;
  std::size_t askedPast = 0;  // faults after which the run must end as the clean run did
};

// Runs the clean run and every planned fault on `machineFile`.
SweepCounts sweep(const std::string& machineFile, int cleanExitCode, std::size_t cleanTargets) {
  const nlohmann::json description = test::machineFile(machineFile);
  SweepCounts counts;
  std::vector<nlohmann::json> cleanTrace;
  RunOutcome cleanOutcome;
  {
    const MachineRun clean = test::runOnMachine(description, checkedRunOptions());
    EXPECT_EQ(clean.exitCode, cleanExitCode) << clean.standardOutput;
    EXPECT_TRUE(brokenInvariants(clean).empty()) << joined(brokenInvariants(clean));
    std::size_t activations = 0;
    for (const auto& entry : clean.machine->trace().calls("DeviceIoControl")) {
      const std::string kind = entry.value("request", "");
      if (kind == "inbox.activate" || kind == "irst.activate" || kind == "vroc.commit") ++activations;
    }
    EXPECT_EQ(activations, cleanTargets) << "the clean run must update every target";
    cleanTrace = clean.machine->trace().entries();
    cleanOutcome = outcomeOf(clean);
    ++counts.runs;
  }

  const FaultPlan plan = planFaults(cleanTrace, everyPiece());
  counts.failurePoints = plan.failurePoints;
  counts.representedCalls = plan.representedCalls;
  for (const InjectedFault& injected : plan.faults) {
    nlohmann::json faulty = description;
    faulty["faults"] = nlohmann::json::array({injected.fault});
    const MachineRun run = test::runOnMachine(faulty, checkedRunOptions());
    ++counts.runs;
    // The runs are deterministic, so the call is the same call as in the
    // clean run, and the fault must have hit it.
    const auto& trace = run.machine->trace().entries();
    const bool hit = injected.call <= trace.size() && trace[injected.call - 1].contains("fault") &&
                     trace[injected.call - 1].value("op", "") == cleanTrace[injected.call - 1].value("op", "");
    EXPECT_TRUE(hit) << "call " << injected.call << " (" << injected.what << ") was not reached";
    auto broken = brokenInvariants(run);
    if (injected.askedPast) {
      ++counts.askedPast;
      for (std::string& departure : departuresFrom(cleanOutcome, run)) broken.push_back(std::move(departure));
    }
    EXPECT_TRUE(broken.empty()) << "call " << injected.call << " " << injected.what << ":" << joined(broken)
                                << "\n  standard output:\n" << run.standardOutput;
  }
  std::cout << "[ sweep    ] " << machineFile << ": " << counts.runs << " runs, " << counts.failurePoints
            << " failure points (" << plan.faults.size() << " injected faults; " << counts.representedCalls
            << " download pieces stood for by the swept ones; " << counts.askedPast
            << " asked past, which must end as the clean run did)" << std::endl;
  return counts;
}

TEST(FaultSweep, EveryCallFailedOnTheWorkstationWithInboxAndIrstTargets) {
  // Targets: one inbox drive, two IRST RAID members, one IRST non-RAID drive.
  const SweepCounts counts = sweep("examples/machines/workstation.json", 1602, 4);
  EXPECT_GT(counts.failurePoints, 100u);
  // The controller's driver description, the non-RAID disk's detail and its
  // location text.
  EXPECT_EQ(counts.askedPast, 3u);
  RecordProperty("runs", static_cast<int>(counts.runs));
  RecordProperty("failurePoints", static_cast<int>(counts.failurePoints));
}

TEST(FaultSweep, EveryCallFailedOnTheVrocServer) {
  const SweepCounts counts = sweep("examples/machines/vroc-server.json", 1602, 2);
  EXPECT_GT(counts.failurePoints, 50u);
  // The controller's driver description, and each pass-through disk's detail
  // and location text.
  EXPECT_EQ(counts.askedPast, 5u);
  RecordProperty("runs", static_cast<int>(counts.runs));
  RecordProperty("failurePoints", static_cast<int>(counts.failurePoints));
}

}  // namespace
}  // namespace koa::reliability
