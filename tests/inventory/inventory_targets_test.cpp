// koa-inventory against the updater on the same machines: the drives it
// marks "needs the update" are exactly the updater's targets, each physical
// drive once, found by exactly the updater's discovery requests; its
// document always conforms to docs/inventory.schema.json.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "tests/sim/json_schema_check.h"
#include "tests/support/bytes.h"
#include "tests/support/inventory_run.h"
#include "tests/support/machine_run.h"

namespace koa::test {
namespace {

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

// The serial numbers of the updater's targets, from its log's disk blocks.
std::multiset<std::string> targetSerials(const MachineRun& run) {
  std::multiset<std::string> serials;
  const std::string label = "Serial Number : ";
  for (std::size_t at = run.log.find(label); at != std::string::npos; at = run.log.find(label, at + 1))
    serials.insert(trimmed(run.log.substr(at + label.size(), run.log.find('\n', at) - at - label.size())));
  return serials;
}

// A firmware get-info or a Get Log Page: what comes after discovery.
bool firmwareRead(const nlohmann::json& call) {
  const std::vector<std::uint8_t> input = inputOf(call);
  if (input.size() < 120) return false;
  const std::string signature(input.begin() + 4, input.begin() + 12);
  return signature == "FIRMWARE" || (signature == "IntelNvm" && input[32] == 0x02) ||
         (signature == "NvmeRAID" && le32(input, 16) == 0xE0002000 && input[52] == 0x02);
}

// The requests discovery sent, up to the first that reads or writes firmware:
// each with its device and bytes.
std::vector<std::string> discoveryRequests(const std::vector<nlohmann::json>& trace) {
  std::vector<std::string> requests;
  for (const auto& call : trace) {
    if (call.value("op", "") != "DeviceIoControl") continue;
    if (!writingRequest(call).empty() || firmwareRead(call)) break;
    requests.push_back(call.value("path", "") + " " + call.value("input", ""));
  }
  return requests;
}

std::vector<std::pair<std::string, nlohmann::json>> machines() {
  std::vector<std::pair<std::string, nlohmann::json>> all;
  for (const auto& entry : std::filesystem::directory_iterator(sourcePath("examples/machines")))
    if (entry.path().extension() == ".json")
      all.emplace_back(entry.path().filename().string(), machineFile(entry.path().string()));
  all.emplace_back("mixed", machineFile("tests/machines/inventory/mixed.json"));
  for (const std::string drives : {"3", "6"}) {
    const MachineRun generated = runCommand("perl", {sourcePath("scripts/generate-fleet-machine.pl").string(), drives});
    all.emplace_back("fleet of " + drives, nlohmann::json::parse(generated.standardOutput));
  }
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return all;
}

TEST(InventoryTargets, NeedsTheUpdateIsExactlyTheUpdatersTargetsEachPhysicalDriveOnce) {
  const nlohmann::json schema = nlohmann::json::parse(readFile(sourcePath("docs/inventory.schema.json")));
  std::size_t targetsSeen = 0;
  for (const auto& [name, machine] : machines()) {
    SCOPED_TRACE(name);
    const MachineRun inventory = runInventory(machine, {"/json"});
    const nlohmann::json document = nlohmann::json::parse(inventory.standardOutput);
    EXPECT_EQ(sim::test::schemaViolations(schema, document), std::vector<std::string>{});
    std::multiset<std::string> needing;
    std::set<std::string> physical;
    for (const auto& drive : document["drives"]) {
      EXPECT_TRUE(physical.insert(drive["serial"].get<std::string>()).second) << drive.dump();
      if (drive["state"] == "needsUpdate") needing.insert(drive["serial"].get<std::string>());
    }

    const MachineRun update = runOnMachine(machine);
    const std::multiset<std::string> targets = targetSerials(update);
    const std::set<std::string> distinctTargets(targets.begin(), targets.end());
    EXPECT_EQ(needing, std::multiset<std::string>(distinctTargets.begin(), distinctTargets.end()));
    EXPECT_EQ(document["counts"]["needsUpdate"], needing.size());
    EXPECT_EQ(inventory.exitCode, needing.empty() ? 0 : 1);
    targetsSeen += targets.size();

    // The same candidates, found by the same requests in the same order.
    const std::vector<std::string> updaterDiscovery = discoveryRequests(update.trace());
    const std::vector<std::string> inventoryDiscovery = discoveryRequests(inventory.trace());
    EXPECT_EQ(inventoryDiscovery, updaterDiscovery);
    EXPECT_FALSE(updaterDiscovery.empty() && name != "empty.json");
    // The updater's own writes are what the inventory's trace check refuses.
    for (const auto& call : update.trace()) {
      const std::string kind = call.value("request", "");
      if (kind == "inbox.download" || kind == "irst.activate" || kind == "vroc.commit") {
        EXPECT_NE(writingRequest(call), "") << call.dump().substr(0, 200);
      }
    }
  }
  EXPECT_GE(targetsSeen, 20u);
}

}  // namespace
}  // namespace koa::test
