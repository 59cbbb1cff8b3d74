// Faults declared in a machine description, applied by request kind.
#include <gtest/gtest.h>

#include "tests/sim/sim_test_support.h"

namespace koa::sim {
namespace {

using test::machineWithDevice;
using test::ScriptedDevice;

constexpr std::uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;

// A 160-byte request: "FIRMWARE" (inbox.download for the scripted device)
// or "NvmeRAID" (vroc.download), addressed to drive "first" or "second".
std::vector<std::uint8_t> request(const char* signature, std::uint8_t drive = 1) {
  std::vector<std::uint8_t> bytes(160, 0);
  bytes[0] = 28;
  std::copy(signature, signature + 8, bytes.begin() + 4);
  bytes[20] = drive;
  bytes[100] = 0x5A;
  return bytes;
}

class Faults : public ::testing::Test {
 protected:
  std::shared_ptr<ScriptedDevice> device = std::make_shared<ScriptedDevice>();
  std::unique_ptr<SimulatedMachine> machine;
  Handle handle = kInvalidHandle;

  void build(const nlohmann::json& faults) {
    machine = machineWithDevice(device, faults);
    handle = machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", kReadWrite, 0, OPEN_EXISTING, 0);
    ASSERT_NE(handle, kInvalidHandle);
    device->output = std::vector<std::uint8_t>(4, 0xD0);  // what the device writes when it is called
  }
  bool send(std::vector<std::uint8_t>& buffer, std::uint32_t outSize = 160) {
    std::uint32_t returned = 0;
    const bool ok = machine->DeviceIoControl(handle, 0x4D008, buffer.data(), 160, buffer.data(), outSize, &returned);
    lastReturned = returned;
    return ok;
  }
  std::uint32_t lastReturned = 0;
};

TEST_F(Faults, FailTheNthRequestOfAKindWithoutCallingTheDevice) {
  build({{{"action", "fail"}, {"device", "\\\\?\\disk#one"}, {"request", "inbox.download"}, {"nth", 2}, {"error", 1117}}});
  auto buffer = request("FIRMWARE");
  EXPECT_TRUE(send(buffer));
  buffer = request("NvmeRAID");  // another kind does not count
  EXPECT_TRUE(send(buffer));
  buffer = request("FIRMWARE");
  EXPECT_FALSE(send(buffer));
  EXPECT_EQ(machine->GetLastError(), ERROR_IO_DEVICE);
  EXPECT_EQ(buffer, request("FIRMWARE"));  // nothing copied back
  buffer = request("FIRMWARE");
  EXPECT_TRUE(send(buffer));
  EXPECT_EQ(device->calls.size(), 3u);
  const auto faulted = machine->trace().requests("inbox.download");
  ASSERT_EQ(faulted.size(), 3u);
  EXPECT_EQ(faulted[1]["fault"], "/faults/0");
  EXPECT_EQ(faulted[1]["faultAction"], "fail");
  EXPECT_FALSE(faulted[0].contains("fault"));
}

TEST_F(Faults, WithoutNthEveryRequestOfTheKindFails) {
  build({{{"action", "fail"}, {"device", "\\\\.\\PHYSICALDRIVE7"}, {"request", "vroc.download"}, {"error", 31}}});
  for (int i = 0; i < 3; ++i) {
    auto buffer = request("NvmeRAID");
    EXPECT_FALSE(send(buffer));
    EXPECT_EQ(machine->GetLastError(), ERROR_GEN_FAILURE);
  }
  EXPECT_TRUE(device->calls.empty());
}

TEST_F(Faults, ReturnCodeAnswersTheRequestWithTheChosenStatus) {
  build({{{"action", "returnCode"}, {"device", "\\\\?\\disk#one"}, {"request", "inbox.download"}, {"returnCode", "0x20"}}});
  auto buffer = request("FIRMWARE");
  EXPECT_TRUE(send(buffer));
  auto expected = request("FIRMWARE");
  expected[20] = 0x20;
  expected[21] = expected[22] = expected[23] = 0;
  EXPECT_EQ(buffer, expected);
  EXPECT_EQ(lastReturned, 160u);
  EXPECT_TRUE(device->calls.empty());
}

TEST_F(Faults, CompletionStatusSetsDwordThreeAndAZeroReturnCode) {
  build({{{"action", "completionStatus"}, {"device", "\\\\?\\disk#one"}, {"request", "vroc.download"}, {"status", "0x107"}}});
  auto buffer = request("NvmeRAID");
  EXPECT_TRUE(send(buffer, 153));
  EXPECT_EQ(le32(buffer, 20), 0u);
  EXPECT_EQ(le32(buffer, 128), 0x107u << 17);
  EXPECT_EQ(buffer[100], 0x5A);
  EXPECT_TRUE(device->calls.empty());
}

TEST_F(Faults, PatchWritesOverWhatTheDeviceAnswered) {
  build({{{"action", "patch"}, {"device", "\\\\?\\disk#one"}, {"request", "inbox.download"}, {"offset", 2}, {"hex", "abcd"}}});
  auto buffer = request("FIRMWARE");
  EXPECT_TRUE(send(buffer));
  EXPECT_EQ(device->calls.size(), 1u);
  EXPECT_EQ(buffer[0], 0xD0);
  EXPECT_EQ(buffer[1], 0xD0);
  EXPECT_EQ(buffer[2], 0xAB);
  EXPECT_EQ(buffer[3], 0xCD);
}

TEST_F(Faults, OutputReplacesTheAnswerWithChosenBytes) {
  build({{{"action", "output"}, {"device", "\\\\?\\disk#one"}, {"request", "inbox.download"}, {"hex", "01020304"}}});
  auto buffer = request("FIRMWARE");
  EXPECT_TRUE(send(buffer));
  EXPECT_TRUE(device->calls.empty());
  EXPECT_EQ(lastReturned, 4u);
  auto expected = request("FIRMWARE");
  expected[0] = 1;
  expected[1] = 2;
  expected[2] = 3;
  expected[3] = 4;
  EXPECT_EQ(buffer, expected);
}

TEST_F(Faults, DriveFilterCountsOnlyRequestsForThatDrive) {
  build({{{"action", "fail"}, {"device", "\\\\?\\disk#one"}, {"request", "inbox.download"}, {"drive", "second"},
          {"nth", 1}, {"error", 5}}});
  auto first = request("FIRMWARE", 1);
  EXPECT_TRUE(send(first));
  auto second = request("FIRMWARE", 2);
  EXPECT_FALSE(send(second));
  EXPECT_EQ(machine->GetLastError(), ERROR_ACCESS_DENIED);
  second = request("FIRMWARE", 2);
  EXPECT_TRUE(send(second));
}

TEST(OpenFaults, TheNthOpenOfADeviceFailsWhicheverPathIsUsed) {
  auto machine = machineWithDevice(std::make_shared<ScriptedDevice>(),
                                   {{{"action", "failOpen"}, {"path", "\\\\.\\PHYSICALDRIVE7"}, {"nth", 2}, {"error", 32}}});
  const Handle first = machine->CreateFileW(u"\\\\?\\disk#one", kReadWrite, 3, OPEN_EXISTING, 0);
  EXPECT_NE(first, kInvalidHandle);
  EXPECT_EQ(machine->CreateFileW(u"\\\\?\\disk#one", kReadWrite, 3, OPEN_EXISTING, 0), kInvalidHandle);
  EXPECT_EQ(machine->GetLastError(), ERROR_SHARING_VIOLATION);
  const Handle third = machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", kReadWrite, 3, OPEN_EXISTING, 0);
  EXPECT_NE(third, kInvalidHandle);
  // Opens of another device do not count.
  const Handle port = machine->CreateFileW(u"\\\\.\\Scsi3:", kReadWrite, 3, OPEN_EXISTING, 0);
  EXPECT_NE(port, kInvalidHandle);
  EXPECT_EQ(machine->openHandleCount(), 3u);
  for (Handle h : {first, third, port}) EXPECT_TRUE(machine->CloseHandle(h));
}

TEST(OpenFaults, EveryOpenFailsWithoutNth) {
  auto machine = machineWithDevice(std::make_shared<ScriptedDevice>(),
                                   {{{"action", "failOpen"}, {"path", "\\\\.\\Scsi3:"}, {"error", 1117}}});
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(machine->CreateFileW(u"\\\\.\\Scsi3:", kReadWrite, 0, OPEN_EXISTING, 0), kInvalidHandle);
    EXPECT_EQ(machine->GetLastError(), ERROR_IO_DEVICE);
  }
  EXPECT_EQ(machine->trace().calls("CreateFileW")[0]["fault"], "/faults/0");
}

}  // namespace
}  // namespace koa::sim
