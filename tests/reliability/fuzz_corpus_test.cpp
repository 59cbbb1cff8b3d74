// The fuzzer's seed corpus and every input it ever crashed on
// (tests/fuzz/regressions/), replayed on every test run; and the decoding of
// fuzz bytes into a machine, so that the fuzzer is known to reach the
// drivers' answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/machine_description.h"
#include "tests/fuzz/fuzzed_machine.h"
#include "tests/reliability/run_invariants.h"

namespace koa::fuzz {
namespace {

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::filesystem::path> inputsIn(const std::string& directory) {
  std::vector<std::filesystem::path> files;
  const auto root = std::filesystem::path(KOA_SOURCE_DIR) / directory;
  if (!std::filesystem::exists(root)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(root))
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FuzzCorpus, EverySeedAndEveryRegressionKeepsTheRunInvariants) {
  std::size_t inputs = 0;
  for (const char* directory : {"tests/fuzz/corpus", "tests/fuzz/regressions"}) {
    for (const auto& file : inputsIn(directory)) {
      const auto bytes = fileBytes(file);
      EXPECT_EQ(runFuzzedMachine(bytes), "") << file.filename();
      ++inputs;
    }
  }
  EXPECT_GE(inputs, 20u);
}

TEST(FuzzedMachine, BytesBecomeAPatchOfOneDriversAnswer) {
  // Workstation; a patch of the second Identify answer of \\.\PHYSICALDRIVE1
  // at offset 112 (the firmware revision) with 4 bytes.
  const std::vector<std::uint8_t> bytes = {0, 0, 1, 1, 1, 112, 0, 3, 'G', 'X', 'R', '4'};
  const auto machine = fuzzedMachine(bytes);
  ASSERT_EQ(machine["faults"].size(), 1u);
  EXPECT_EQ(machine["faults"][0], (nlohmann::json{{"action", "patch"},
                                                  {"device", "\\\\.\\PHYSICALDRIVE1"},
                                                  {"request", "storage.identify"},
                                                  {"nth", 2},
                                                  {"offset", 112},
                                                  {"hex", "47585234"}}));
  EXPECT_EQ(machine["drives"].size(), 6u);
}

TEST(FuzzedMachine, BytesChangeDrivesDevicesAndVrocCounts) {
  const std::vector<std::uint8_t> workstation = {
      0,
      5, 0, 1, 0xFF,           // inbox-gxb3: FWUG 0xFF
      7, 3, 3, 2, 0x40, 0, 9,  // its disk: get-info version 2, DataBufferOffset 0x40, 9 slots
  };
  auto machine = fuzzedMachine(workstation);
  EXPECT_EQ(machine["drives"]["inbox-gxb3"]["fwug"], 0xFF);
  EXPECT_EQ(machine["devices"][3]["disk"]["firmwareInfo"],
            (nlohmann::json{{"version", 2}, {"dataBufferOffset", 0x40}, {"slotCount", 9}}));

  const std::vector<std::uint8_t> server = {1, 9, 1, 0x10, 5};  // member count 5
  machine = fuzzedMachine(server);
  EXPECT_EQ(machine["scsiPorts"][2]["vroc"]["volumes"][0]["reportedMemberCount"], 5);
}

TEST(FuzzedMachine, TheDecodedFaultReachesTheRunAndChangesItsOutcome) {
  // The inbox drive's Identify answer patched to report the image's own
  // revision: the drive is no target and receives nothing.
  const std::vector<std::uint8_t> bytes = {0, 0, 1, 1, 0, 112, 0, 7, 'G', 'X', 'B', '4', 'L', 'T', 'M', 'W'};
  std::string error;
  auto description = sim::parseMachineDescription(fuzzedMachine(bytes).dump(), "fuzzed.json", error);
  ASSERT_TRUE(description) << error;
  const auto run = test::runOnMachine(std::make_unique<sim::SimulatedMachine>(std::move(*description)),
                                      reliability::checkedRunOptions());
  const auto identify = run.machine->trace().requests("storage.identify");
  ASSERT_FALSE(identify.empty());
  EXPECT_TRUE(identify[0].contains("fault"));
  EXPECT_EQ(run.machine->trace().requests("inbox.download").size(), 0u);
  EXPECT_EQ(run.machine->drive("inbox-gxb3")->revisionAfterReset(), "GXB3LTMW");
  EXPECT_EQ(runFuzzedMachine(bytes), "");
}

}  // namespace
}  // namespace koa::fuzz
