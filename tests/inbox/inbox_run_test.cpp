// The Linux program updating drives on the inbox driver, end to end on the
// simulated machine: what the user sees, the log, the exit code and what the
// drive runs afterwards.
#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/one_drive_machine.h"

namespace koa::test::inbox {
namespace {

std::string logOf(const std::string& diskBlocks, int finalCode, const std::string& finalDetails) {
  return "Start Time : 08-12-2026(09:05:03)\n"
         "End Time : 08-12-2026(09:05:03)\n"
         "Input Command : " KOA_PROGRAM_PATH " /s \n" +
         diskBlocks + "\n[Final Result]\nReturn Code : " + std::to_string(finalCode) +
         "\nResult Details : " + finalDetails + "\n";
}

nlohmann::json& koaOf(nlohmann::json& machine) { return machine["drives"]["koa"]; }

TEST(InboxRun, UpdatesTheDriveAndReportsIt) {
  const MachineRun run = runOnMachine(oneDriveMachine(), separateProcess());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.standardOutput, consoleOf(displayBlock(koaDrive()), 0));
  EXPECT_EQ(run.log, logOf(logBlock(1, koaDrive(), 0), 0, "Patch completed"));
  EXPECT_EQ(run.standardError, "");
  EXPECT_EQ(run.revision("koa"), "GXB4LTMW");
  EXPECT_EQ(run.revision("system-disk"), "3B2QEXM7");
  const nlohmann::json& koa = run.state["drives"]["koa"];
  EXPECT_EQ(koa["received"]["length"], 2097152);
  EXPECT_EQ(koa["committed"], koa["received"]);
  EXPECT_EQ(run.requests("inbox.getInfo").size(), 1u);
  EXPECT_EQ(run.requests("inbox.download").size(), 512u);
  EXPECT_EQ(run.requests("inbox.activate").size(), 1u);
  EXPECT_EQ(run.handlesLeftOpen(), 0);
  EXPECT_EQ(run.deviceSetsLeftOpen(), 0);
}

TEST(InboxRun, ASecondRunFromTheStateFindsNothingToUpdate) {
  const MachineRun first = runOnMachine(oneDriveMachine(), separateProcess());
  ASSERT_EQ(first.revision("koa"), "GXB4LTMW");
  const MachineRun second = runOnMachine(first.state, separateProcess());
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_EQ(second.standardOutput, consoleOf("", 1));
  EXPECT_NE(second.log.find("[No Disk]\nUpdated Firmware Version : GXB4LTMW\nReturn Code : 1\n"), std::string::npos);
  EXPECT_TRUE(second.requests("inbox.download").empty());
  EXPECT_EQ(second.requests("storage.identify").size(), 1u);
  EXPECT_EQ(second.revision("koa"), "GXB4LTMW");
}

// Pieces on the wire for a drive's FWUG, checked against what the drive took.
struct GranularityCase {
  std::uint16_t major;
  std::uint8_t minor;
  int fwug;
  std::size_t pieces;
  std::uint32_t pieceLength;      // all but the last
  std::uint32_t lastPieceLength;
  // FWUG only in the identify data, not enforced by the drive: a version
  // before 1.3 has no FWUG, whatever the byte holds.
  bool fwugOnlyInIdentify = false;
};

class InboxGranularityRun : public ::testing::TestWithParam<GranularityCase> {};

TEST_P(InboxGranularityRun, SendsTheWholeImageInPiecesOfTheDrivesGranularity) {
  const GranularityCase c = GetParam();
  nlohmann::json machine = oneDriveMachine();
  koaOf(machine)["version"] = {{"major", c.major}, {"minor", c.minor}};
  if (c.fwugOnlyInIdentify)
    koaOf(machine)["identifyPatches"] = {{{"offset", 319}, {"hex", "08"}}};
  else
    koaOf(machine)["fwug"] = c.fwug;
  const MachineRun run = runOnMachine(machine, separateProcess());
  EXPECT_EQ(run.exitCode, 0);
  const auto pieces = run.requests("inbox.download");
  ASSERT_EQ(pieces.size(), c.pieces);
  std::uint64_t expectedOffset = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::uint32_t length = i + 1 == pieces.size() ? c.lastPieceLength : c.pieceLength;
    EXPECT_EQ(pieces[i]["inSize"], 76 + length) << "piece " << i;
    EXPECT_EQ(le(inputOf(pieces[i]), 60, 8), expectedOffset) << "piece " << i;
    EXPECT_EQ(le(inputOf(pieces[i]), 68, 8), length) << "piece " << i;
    EXPECT_EQ(pieces[i]["result"], true);
    expectedOffset += length;
  }
  EXPECT_EQ(expectedOffset, 2097152u);
  // The buffer is sized by the piece: get info and activate are 76 + piece.
  EXPECT_EQ(run.requests("inbox.activate").at(0)["inSize"], 76 + c.pieceLength);
  EXPECT_EQ(run.revision("koa"), "GXB4LTMW");
  EXPECT_EQ(run.state["drives"]["koa"]["committed"]["length"], 2097152);
}

INSTANTIATE_TEST_SUITE_P(
    Granularities, InboxGranularityRun,
    ::testing::Values(GranularityCase{1, 3, 1, 512, 4096, 4096}, GranularityCase{1, 3, 8, 64, 32768, 32768},
                      // Not a power of two: 170 whole pieces and the 8,192 bytes left.
                      GranularityCase{1, 3, 3, 171, 12288, 8192},
                      GranularityCase{1, 4, 100, 6, 409600, 49152},
                      // Before 1.3 FWUG means nothing; 2.0 counts as later than 1.3.
                      GranularityCase{1, 2, 8, 512, 4096, 4096, true}, GranularityCase{2, 0, 8, 64, 32768, 32768},
                      // 0 and 0xFF: no restriction, 4 KiB pieces.
                      GranularityCase{1, 3, 0, 512, 4096, 4096}, GranularityCase{1, 4, 255, 512, 4096, 4096}));

TEST(InboxRun, ActivatesTheFirstWritableSlot) {
  nlohmann::json machine = oneDriveMachine();
  koaOf(machine)["slots"] = nlohmann::json::parse(
      R"([{"number": 1, "readOnly": true, "revision": "GXB1LTMW"}, {"number": 2}, {"number": 3, "revision": "GXB3LTMW"}])");
  koaOf(machine)["activeSlot"] = 3;
  const MachineRun run = runOnMachine(machine, separateProcess());
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.requests("inbox.activate").size(), 1u);
  EXPECT_EQ(le(inputOf(run.requests("inbox.activate")[0]), 60, 1), 2u);
  EXPECT_EQ(run.state["drives"]["koa"]["activeSlot"], 2);
  EXPECT_EQ(run.state["drives"]["koa"]["slots"][1]["revision"], "GXB4LTMW");
  EXPECT_EQ(run.state["drives"]["koa"]["slots"][2]["revision"], "GXB3LTMW");
}

TEST(InboxRun, AVersionTwoSlotListIsReadByItsOwnLayout) {
  nlohmann::json machine = oneDriveMachine();
  machine["devices"][3]["disk"]["firmwareInfoVersion"] = 2;
  koaOf(machine)["slots"] = nlohmann::json::parse(
      R"([{"number": 1, "readOnly": true, "revision": "GXB1LTMW"}, {"number": 2, "readOnly": true}, {"number": 3, "revision": "GXB3LTMW"}])");
  koaOf(machine)["activeSlot"] = 3;
  const MachineRun run = runOnMachine(machine, separateProcess());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(le(inputOf(run.requests("inbox.activate").at(0)), 60, 1), 3u);
  EXPECT_EQ(run.revision("koa"), "GXB4LTMW");
}

TEST(InboxRun, AnInfoOfVersionZeroIsReadAsVersionOne) {
  nlohmann::json machine = oneDriveMachine();
  machine["faults"].push_back({{"action", "patch"}, {"device", "\\\\.\\PHYSICALDRIVE1"}, {"request", "inbox.getInfo"},
                               {"offset", 52}, {"hex", "00000000"}});
  const MachineRun run = runOnMachine(machine, separateProcess());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(le(inputOf(run.requests("inbox.activate").at(0)), 60, 1), 2u);
  EXPECT_EQ(run.revision("koa"), "GXB4LTMW");
}

// The drive's answer to the identify query names where it put the data:
// here 8 bytes before where it was asked for (ProtocolDataOffset 32), with
// an Identify Controller of its own there.
TEST(InboxRun, IdentifyDataIsReadWhereTheAnswerPlacesIt) {
  std::vector<std::uint8_t> patch(16 + 320, 0);
  putLe32(patch, 0, 32);    // ProtocolDataOffset, from byte 8: the data at byte 40
  putLe32(patch, 4, 4096);  // ProtocolDataLength
  const std::size_t data = 16;  // byte 40 of the answer
  putAscii(patch.data(), data + 4, "MOVED-SERIAL-000001 ");
  putAscii(patch.data(), data + 24, "KOA NVMe SSD 1TB" + std::string(24, ' '));
  putAscii(patch.data(), data + 64, "GXB3LTMW");
  patch[data + 81] = 4;  // version 1.4
  patch[data + 82] = 1;
  patch[data + 319] = 2;  // FWUG: pieces of 8 KiB
  std::string hex;
  for (std::uint8_t byte : patch) {
    static const char digits[] = "0123456789abcdef";
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
  }
  nlohmann::json machine = oneDriveMachine();
  machine["faults"].push_back({{"action", "patch"}, {"device", "\\\\.\\PHYSICALDRIVE1"},
                               {"request", "storage.identify"}, {"offset", 24}, {"hex", hex}});
  const MachineRun run = runOnMachine(machine, separateProcess());
  EXPECT_NE(run.log.find("Serial Number : MOVED-SERIAL-000001 \n"), std::string::npos) << run.log;
  EXPECT_EQ(run.requests("inbox.download").size(), 256u);
  EXPECT_EQ(run.exitCode, 0);
}

// An answer that places the data partly outside the buffer, or gives it
// another length, is no identify: the drive is not listed, nothing is sent.
TEST(InboxRun, IdentifyDataPlacedOutsideTheAnswerOrOfAnotherLengthIsRefused) {
  for (const char* placement : {"29000000" "00100000", "28000000" "ff0f0000"}) {
    nlohmann::json machine = oneDriveMachine();
    machine["faults"].push_back({{"action", "patch"}, {"device", "\\\\.\\PHYSICALDRIVE1"},
                                 {"request", "storage.identify"}, {"offset", 24}, {"hex", placement}});
    const MachineRun run = runOnMachine(machine, separateProcess());
    EXPECT_EQ(run.exitCode, 1) << placement;
    EXPECT_EQ(run.standardOutput, consoleOf("", 1)) << placement;
    EXPECT_NE(run.log.find("[No Disk]\n"), std::string::npos) << placement;
    EXPECT_TRUE(run.requests("inbox.getInfo").empty()) << placement;
    EXPECT_EQ(run.handlesLeftOpen(), 0);
  }
}

// A service or a deployment agent as the local system account runs on a
// window station nobody sees: a message box there would hold the process
// for ever, so the run ends as with /s.
TEST(InboxRun, OnAWindowStationNobodySeesNoMessageBoxIsShown) {
  nlohmann::json machine = oneDriveMachine();
  machine["windowStationVisible"] = false;
  const MachineRun run = runOnMachine(machine, separateProcess({}));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.standardError.find("MessageBox:"), std::string::npos) << run.standardError;
  EXPECT_NE(run.log.find("Result Details : Patch completed\n"), std::string::npos);
  EXPECT_EQ(run.standardOutput, consoleOf(displayBlock(koaDrive()), 0));
}

// A station whose flags cannot be read is not shown to be invisible: the box
// is shown, so that an administrator at a visible desktop is never left
// without it. The station here is invisible, so only the failed read can
// bring the box.
TEST(InboxRun, AWindowStationThatCannotBeAskedStillGetsTheMessageBox) {
  nlohmann::json machine = oneDriveMachine();
  machine["windowStationVisible"] = false;
  RunOptions notSilent;
  notSilent.arguments = {};
  notSilent.traceBuffers = false;
  const auto asked = runOnMachine(machine, notSilent).calls("GetUserObjectInformationW");
  ASSERT_EQ(asked.size(), 1u);
  machine["faults"].push_back({{"action", "fail"}, {"call", asked[0]["seq"]}, {"error", ERROR_ACCESS_DENIED}});
  const MachineRun run = runOnMachine(machine, notSilent);
  ASSERT_TRUE(run.calls("GetUserObjectInformationW")[0].contains("fault"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.standardError, "MessageBox: TORVALE GXB4LTMW: Patch completed\\n\n");
}

TEST(InboxRun, AnActivationThatNeedsAPowerCycleEndsWith1602) {
  nlohmann::json machine = oneDriveMachine();
  koaOf(machine)["activation"] = "reset";
  const MachineRun run = runOnMachine(machine, separateProcess());
  EXPECT_EQ(run.exitCode, 1602 % 256);
  EXPECT_EQ(run.standardOutput, consoleOf(displayBlock(koaDrive()), 1602));
  const std::string reboot = "Downloaded firmware successfully, but firmware activation requires reboot.";
  EXPECT_EQ(run.log, logOf(logBlock(1, koaDrive(), 1602), 1602, reboot));
  // The state is the machine after the power cycle: the new image runs.
  EXPECT_EQ(run.revision("koa"), "GXB4LTMW");
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

TEST(InboxRun, TheWorkstationExampleUpdatesItsInboxDrive) {
  const MachineRun run = runOnMachine(machineFile("examples/machines/workstation.json"), separateProcess());
  EXPECT_EQ(run.revision("inbox-gxb3"), "GXB4LTMW");
  EXPECT_EQ(run.revision("inbox-gxb4"), "GXB4LTMW");
  EXPECT_EQ(run.state["drives"]["inbox-gxb4"].count("committed"), 0u);  // already current: left alone
  ShownDrive shown = koaDrive();
  shown.serial = padded("KOA0000000000000101", 20);
  EXPECT_NE(run.standardOutput.find(displayBlock(shown)), std::string::npos);
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

struct ExampleCase {
  const char* file;
  int exitCode;
  std::size_t pieces;
  std::uint8_t slot;
};

class InboxExampleRun : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(InboxExampleRun, UpdatesTheExamplesDrive) {
  const ExampleCase c = GetParam();
  const MachineRun run = runOnMachine(machineFile(c.file), separateProcess());
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(run.requests("inbox.download").size(), c.pieces);
  EXPECT_EQ(le(inputOf(run.requests("inbox.activate").at(0)), 60, 1), c.slot);
  EXPECT_EQ(run.revision("koa"), "GXB4LTMW");
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

INSTANTIATE_TEST_SUITE_P(Examples, InboxExampleRun,
                         ::testing::Values(ExampleCase{"examples/machines/inbox-granularity-8.json", 0, 64, 2},
                                           ExampleCase{"examples/machines/inbox-slot1-read-only.json", 0, 512, 2},
                                           ExampleCase{"examples/machines/inbox-power-cycle.json", 1602 % 256, 512,
                                                       2}));

}  // namespace
}  // namespace koa::test::inbox
