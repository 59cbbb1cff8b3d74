// docs/machine.schema.json describes the machine files: every example
// machine and every state file the simulator writes conform to it.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/machine_description.h"
#include "tests/sim/json_schema_check.h"
#include "tests/sim/sim_test_support.h"
#include "tests/support/machine_run.h"

namespace koa::sim {
namespace {

using koa::test::readFile;
using koa::test::sourcePath;

nlohmann::json schema() { return nlohmann::json::parse(readFile(sourcePath("docs/machine.schema.json"))); }

std::string joined(const std::vector<std::string>& errors) {
  std::string text;
  for (const auto& e : errors) text += e + "\n";
  return text;
}

TEST(MachineSchema, EveryExampleMachineConformsAndLoads) {
  std::size_t examples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(sourcePath("examples/machines"))) {
    if (entry.path().extension() != ".json") continue;
    ++examples;
    const auto document = nlohmann::json::parse(readFile(entry.path()));
    EXPECT_EQ(joined(test::schemaViolations(schema(), document)), "") << entry.path();
    std::string error;
    EXPECT_TRUE(parseMachineDescription(readFile(entry.path()), entry.path().string(), error).has_value()) << error;
    EXPECT_TRUE(document.contains("clock")) << entry.path() << " pins no clock";
  }
  EXPECT_GE(examples, 3u);
}

TEST(MachineSchema, StateFilesConform) {
  for (const char* name : {"workstation.json", "vroc-server.json", "empty.json"}) {
    SimulatedMachine machine(test::describe(nlohmann::json::parse(readFile(sourcePath(std::string("examples/machines/") + name)))));
    EXPECT_EQ(joined(test::schemaViolations(schema(), machine.state())), "") << name;
  }
}

TEST(MachineSchema, RequestKindsAreThoseTheLoaderKnows) {
  const auto kinds = schema()["$defs"]["requestKind"]["enum"].get<std::vector<std::string>>();
  EXPECT_EQ(kinds, knownRequestKinds());
}

TEST(MachineSchema, ValidatorRejectsWhatTheSchemaForbids) {
  const auto good = nlohmann::json::parse(readFile(sourcePath("examples/machines/workstation.json")));
  auto unknownField = good;
  unknownField["devices"][0]["colour"] = "red";
  EXPECT_EQ(joined(test::schemaViolations(schema(), unknownField)), "/devices/0/colour: not allowed\n");
  auto wrongType = good;
  wrongType["elevated"] = "yes";
  EXPECT_EQ(joined(test::schemaViolations(schema(), wrongType)),
            "/elevated: expected type \"boolean\", found string\n");
  auto longRevision = good;
  longRevision["drives"]["inbox-gxb3"]["firmwareRevision"] = "GXB3LTMW1";
  EXPECT_EQ(joined(test::schemaViolations(schema(), longRevision)),
            "/drives/inbox-gxb3/firmwareRevision: maxLength 8\n");
  auto badFault = good;
  badFault["faults"] = {{{"action", "fail"}, {"device", "\\\\.\\PHYSICALDRIVE1"}, {"request", "inbox.flash"}, {"error", 1}}};
  EXPECT_EQ(joined(test::schemaViolations(schema(), badFault)), "/faults/0: matches none of oneOf\n");
  auto bothSections = good;
  bothSections["devices"][1]["irst"] = nlohmann::json::object();
  EXPECT_EQ(joined(test::schemaViolations(schema(), bothSections)), "/devices/1: matches what \"not\" forbids\n");
  auto badPath = good;
  badPath["devices"][1]["interfaces"][0]["path"] = "C:\\disk";
  EXPECT_EQ(joined(test::schemaViolations(schema(), badPath)),
            "/devices/1/interfaces/0/path: does not match \"^\\\\\\\\\\\\\\\\\\\\?\\\\\\\\\"\n");
  auto missingPort = good;
  missingPort["scsiPorts"][0].erase("port");
  EXPECT_EQ(joined(test::schemaViolations(schema(), missingPort)), "/scsiPorts/0: missing \"port\"\n");
}

TEST(MachineSchema, ValidatorRefusesKeywordsItDoesNotCheck) {
  EXPECT_THROW((void)test::schemaViolations(nlohmann::json{{"uniqueItems", true}}, nlohmann::json::array()),
               std::invalid_argument);
}

}  // namespace
}  // namespace koa::sim

namespace koa::sim {
namespace {

TEST(MachineSchema, TheDocumentedExampleConformsAndLoads) {
  const std::string doc = koa::test::readFile(koa::test::sourcePath("docs/simulator.md"));
  const auto begin = doc.find("```json\n");
  ASSERT_NE(begin, std::string::npos);
  const auto end = doc.find("```", begin + 8);
  const std::string text = doc.substr(begin + 8, end - begin - 8);
  const auto schemaJson = nlohmann::json::parse(koa::test::readFile(koa::test::sourcePath("docs/machine.schema.json")));
  EXPECT_TRUE(test::schemaViolations(schemaJson, nlohmann::json::parse(text)).empty());
  std::string error;
  auto description = parseMachineDescription(text, "simulator.md", error);
  ASSERT_TRUE(description.has_value()) << error;
  ASSERT_EQ(description->faults.size(), 1u);
  EXPECT_EQ(description->faults[0].request, "inbox.download");
  EXPECT_EQ(description->faults[0].nth, 2u);
}

}  // namespace
}  // namespace koa::sim
