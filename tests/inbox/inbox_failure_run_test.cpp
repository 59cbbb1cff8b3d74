// Every way the inbox path can fail, end to end: the message, the result in
// the log, the exit code, which requests went out and what the drive runs
// afterwards.
#include <gtest/gtest.h>

#include "tests/support/one_drive_machine.h"

namespace koa::test::inbox {
namespace {

const char kDrivePath[] = "\\\\.\\PHYSICALDRIVE1";

nlohmann::json withFault(nlohmann::json fault) {
  nlohmann::json machine = oneDriveMachine();
  if (!fault.contains("path")) fault["device"] = kDrivePath;
  machine["faults"].push_back(std::move(fault));
  return machine;
}

MachineRun runWithFault(nlohmann::json fault) { return runOnMachine(withFault(std::move(fault)), separateProcess()); }

std::string resultLines(int code, const std::string& details) {
  return "Return Code : " + std::to_string(code) + "\nResult Details : " + details + "\n[Final Result]\n";
}

// A failed update: the display block, the path's message, exit code 1, the
// drive's result in its log block and the drive still on its old firmware.
void expectFailedUpdate(const MachineRun& run, const std::string& message, int result) {
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.standardOutput, consoleOf(displayBlock(koaDrive()) + message, 1));
  // The report counts 5 as failed too.
  EXPECT_NE(run.log.find(resultLines(result, "Patch Failed.\n")), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("[Final Result]\nReturn Code : 1\nResult Details : Patch Failed..\n"), std::string::npos);
  EXPECT_EQ(run.revision("koa"), "GXB3LTMW");
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

TEST(InboxFailureRun, ADriveThatCannotBeOpenedForTheUpdate) {
  // The disk is opened by the walk (by its interface path), by the identify
  // and by the update, in that order.
  const MachineRun run = runWithFault({{"action", "failOpen"}, {"path", kDrivePath}, {"nth", 3}, {"error", 32}});
  expectFailedUpdate(run, "  [ERROR] Failed to get disk handle: 0x20\n\n", 5);
  EXPECT_TRUE(run.requests("inbox.getInfo").empty());
}

TEST(InboxFailureRun, AFailedGetInfoCall) {
  const MachineRun run = runWithFault({{"action", "fail"}, {"request", "inbox.getInfo"}, {"error", 31}});
  expectFailedUpdate(run, "Get device Information Failed: 0x1f\n", 5);
  EXPECT_TRUE(run.requests("inbox.download").empty());
}

TEST(InboxFailureRun, AGetInfoStatus) {
  const MachineRun run = runWithFault({{"action", "returnCode"}, {"request", "inbox.getInfo"}, {"returnCode", 0x87}});
  expectFailedUpdate(run, "Get device info failed. ReturnCode: 0x87\n", 5);
  EXPECT_TRUE(run.requests("inbox.download").empty());
}

TEST(InboxFailureRun, AnInfoVersionThatIsNeitherOneNorTwo) {
  const MachineRun run =
      runWithFault({{"action", "patch"}, {"request", "inbox.getInfo"}, {"offset", 52}, {"hex", "03000000"}});
  expectFailedUpdate(run, "Get device info failed. Unsupported Version: 0x3\n", 5);
  EXPECT_TRUE(run.requests("inbox.download").empty());
}

TEST(InboxFailureRun, AnInfoOffsetOutsideTheBuffer) {
  const MachineRun run =
      runWithFault({{"action", "patch"}, {"request", "inbox.getInfo"}, {"offset", 44}, {"hex", "40100000"}});
  expectFailedUpdate(run, "Get device info failed. DataBufferOffset out of range: 0x1040\n", 5);
  EXPECT_TRUE(run.requests("inbox.download").empty());
}

TEST(InboxFailureRun, ASlotCountReachingOutsideTheBuffer) {
  // Version 2 entries are 24 bytes: 255 of them from byte 76 end far past
  // the 4,172-byte buffer.
  nlohmann::json machine = withFault({{"action", "patch"}, {"request", "inbox.getInfo"}, {"offset", 61}, {"hex", "ff"}});
  machine["devices"][3]["disk"]["firmwareInfoVersion"] = 2;
  const MachineRun run = runOnMachine(machine, separateProcess());
  expectFailedUpdate(run, "Get device info failed. SlotCount out of range: 0xff\n", 5);
  EXPECT_TRUE(run.requests("inbox.download").empty());
}

TEST(InboxFailureRun, NoWritableSlot) {
  nlohmann::json machine = oneDriveMachine();
  machine["drives"]["koa"]["slots"][1]["readOnly"] = true;
  const MachineRun run = runOnMachine(machine, separateProcess());
  expectFailedUpdate(run, "", 1);
  EXPECT_EQ(run.requests("inbox.getInfo").size(), 1u);
  EXPECT_TRUE(run.requests("inbox.download").empty());
  EXPECT_TRUE(run.requests("inbox.activate").empty());
}

TEST(InboxFailureRun, ADriveWithoutFirmwareUpgradeSupport) {
  nlohmann::json machine = oneDriveMachine();
  machine["drives"]["koa"]["upgradeSupport"] = false;
  const MachineRun run = runOnMachine(machine, separateProcess());
  expectFailedUpdate(run, "", 1);
  EXPECT_TRUE(run.requests("inbox.download").empty());
}

TEST(InboxFailureRun, AFailedPieceCallStopsTheDownload) {
  const MachineRun run = runWithFault({{"action", "fail"}, {"request", "inbox.download"}, {"nth", 2}, {"error", 0x79}});
  expectFailedUpdate(run, "DeviceIO failed. Function: 0x79\n", 5);
  const auto pieces = run.requests("inbox.download");
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0]["result"], true);
  EXPECT_EQ(pieces[1]["result"], false);
  EXPECT_TRUE(run.requests("inbox.activate").empty());
  EXPECT_EQ(run.state["drives"]["koa"]["received"]["length"], 4096);
}

TEST(InboxFailureRun, APieceAnsweredWithAStatusStopsTheDownload) {
  const MachineRun run =
      runWithFault({{"action", "returnCode"}, {"request", "inbox.download"}, {"nth", 2}, {"returnCode", 1}});
  expectFailedUpdate(run, "DeviceIO failed. ReturnCode: 0x1\n", 5);
  EXPECT_EQ(run.requests("inbox.download").size(), 2u);
  EXPECT_TRUE(run.requests("inbox.activate").empty());
}

TEST(InboxFailureRun, APieceTheDriveRefusesForItsGranularity) {
  // The drive takes 32 KiB pieces only, but its identify data says nothing
  // of it (version 1.2): the first 4 KiB piece is refused by the drive.
  nlohmann::json machine = oneDriveMachine();
  machine["drives"]["koa"]["version"] = {{"major", 1}, {"minor", 2}};
  machine["drives"]["koa"]["fwug"] = 8;
  const MachineRun run = runOnMachine(machine, separateProcess());
  expectFailedUpdate(run, "DeviceIO failed. ReturnCode: 0x3\n", 5);
  EXPECT_EQ(run.requests("inbox.download").size(), 1u);
  EXPECT_TRUE(run.requests("inbox.activate").empty());
}

TEST(InboxFailureRun, AFailedActivationCall) {
  const MachineRun run = runWithFault({{"action", "fail"}, {"request", "inbox.activate"}, {"error", 0x45D}});
  expectFailedUpdate(run, "DeviceIO failed. activate failed: 0x45d\n", 5);
  EXPECT_EQ(run.requests("inbox.download").size(), 512u);
}

TEST(InboxFailureRun, AnActivationStatusOtherThanSuccessOrPowerCycle) {
  nlohmann::json machine = oneDriveMachine();
  machine["drives"]["koa"]["commitStatus"] = {{"status", 0x107}};  // Invalid Firmware Image
  const MachineRun run = runOnMachine(machine, separateProcess());
  expectFailedUpdate(run, "", 1);
  EXPECT_EQ(run.requests("inbox.activate").at(0)["output"].get<std::string>().substr(40, 8), "07000000");
}

TEST(InboxFailureRun, AnActivationStatusWithThePowerCycleBitAmongOthers) {
  const MachineRun run = runWithFault({{"action", "returnCode"}, {"request", "inbox.activate"}, {"returnCode", 0x21}});
  expectFailedUpdate(run, "", 1);
}

TEST(InboxFailureRun, ADriveThatCannotBeOpenedForItsIdentify) {
  const MachineRun run = runWithFault({{"action", "failOpen"}, {"path", kDrivePath}, {"nth", 2}, {"error", 5}});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.standardOutput, consoleOf("  [ERROR] Failed to get disk handle: 0x5\n\n", 1));
  EXPECT_NE(run.log.find("[No Disk]\n"), std::string::npos);
  EXPECT_EQ(run.revision("koa"), "GXB3LTMW");
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

TEST(InboxFailureRun, AFailedIdentifyQueryIsSilent) {
  const MachineRun run = runWithFault({{"action", "fail"}, {"request", "storage.identify"}, {"error", 1}});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.standardOutput, consoleOf("", 1));
  EXPECT_NE(run.log.find("[No Disk]\n"), std::string::npos);
  EXPECT_EQ(run.handlesLeftOpen(), 0);
}

}  // namespace
}  // namespace koa::test::inbox
