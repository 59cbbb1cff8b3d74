// CreateFileW, CloseHandle and DeviceIoControl on the simulated machine.
#include <gtest/gtest.h>

#include <numeric>

#include "tests/sim/sim_test_support.h"

namespace koa::sim {
namespace {

using test::machineWithDevice;
using test::ScriptedDevice;

constexpr std::uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr std::uint32_t kShareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;

TEST(Handles, EveryPathOfADeviceOpensItAndUnknownPathsAreNotFound) {
  auto device = std::make_shared<ScriptedDevice>();
  auto machine = machineWithDevice(device);
  for (const char16_t* path : {u"\\\\?\\disk#one", u"\\\\.\\DISK#ONE", u"\\\\.\\PHYSICALDRIVE7", u"\\\\.\\physicaldrive7",
                               u"\\\\.\\Scsi3:"}) {
    const Handle handle = machine->CreateFileW(path, kReadWrite, kShareBoth, OPEN_EXISTING, 0);
    ASSERT_NE(handle, kInvalidHandle);
    EXPECT_TRUE(machine->CloseHandle(handle));
  }
  for (const char16_t* path : {u"\\\\.\\PHYSICALDRIVE6", u"\\\\.\\Scsi4:", u"\\\\?\\disk#two", u"\\\\.\\PHYSICALDRIVE07"}) {
    EXPECT_EQ(machine->CreateFileW(path, kReadWrite, kShareBoth, OPEN_EXISTING, 0), kInvalidHandle);
    EXPECT_EQ(machine->GetLastError(), ERROR_FILE_NOT_FOUND);
  }
  EXPECT_EQ(machine->openHandleCount(), 0u);
}

TEST(Handles, OpenHandlesAreCountedAndAClosedHandleIsInvalid) {
  auto machine = machineWithDevice(std::make_shared<ScriptedDevice>());
  const Handle first = machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", kReadWrite, kShareBoth, OPEN_EXISTING, 0);
  const Handle second = machine->CreateFileW(u"\\\\?\\disk#one", kReadWrite, kShareBoth, OPEN_EXISTING, 0);
  ASSERT_NE(first, second);
  EXPECT_EQ(machine->openHandleCount(), 2u);
  EXPECT_TRUE(machine->CloseHandle(first));
  EXPECT_EQ(machine->openHandleCount(), 1u);
  EXPECT_FALSE(machine->CloseHandle(first));
  EXPECT_EQ(machine->GetLastError(), ERROR_INVALID_HANDLE);
  std::uint32_t returned = 0;
  EXPECT_FALSE(machine->DeviceIoControl(first, 0x2D1080, nullptr, 0, nullptr, 0, &returned));
  EXPECT_EQ(machine->GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(machine->CloseHandle(second));
  EXPECT_EQ(machine->openHandleCount(), 0u);
}

TEST(Handles, ExclusiveOpensAndSharingViolations) {
  auto machine = machineWithDevice(std::make_shared<ScriptedDevice>());
  const Handle shared = machine->CreateFileW(u"\\\\?\\disk#one", kReadWrite, kShareBoth, OPEN_EXISTING, 0);
  ASSERT_NE(shared, kInvalidHandle);
  // The same device by another path is the same file object.
  EXPECT_EQ(machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", kReadWrite, 0, OPEN_EXISTING, 0), kInvalidHandle);
  EXPECT_EQ(machine->GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(machine->CloseHandle(shared));
  const Handle exclusive = machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", kReadWrite, 0, OPEN_EXISTING, 0);
  ASSERT_NE(exclusive, kInvalidHandle);
  EXPECT_EQ(machine->CreateFileW(u"\\\\?\\disk#one", kReadWrite, kShareBoth, OPEN_EXISTING, 0), kInvalidHandle);
  EXPECT_EQ(machine->GetLastError(), ERROR_SHARING_VIOLATION);
  // Another device is not affected.
  const Handle port = machine->CreateFileW(u"\\\\.\\Scsi3:", kReadWrite, 0, OPEN_EXISTING, 0);
  EXPECT_NE(port, kInvalidHandle);
  EXPECT_TRUE(machine->CloseHandle(port));
  EXPECT_TRUE(machine->CloseHandle(exclusive));
  // Readers that do not share writing exclude writers.
  const Handle reader = machine->CreateFileW(u"\\\\?\\disk#one", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  EXPECT_EQ(machine->CreateFileW(u"\\\\?\\disk#one", kReadWrite, kShareBoth, OPEN_EXISTING, 0), kInvalidHandle);
  EXPECT_EQ(machine->GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(machine->CloseHandle(reader));
}

TEST(Handles, UnelevatedRunCannotOpenAnyDevice) {
  MachineDescription description = test::describe(
      {{"elevated", false},
       {"devices", {{{"instanceId", "A\\1"}, {"interfaces", {{{"class", "disk"}, {"path", "\\\\?\\a"}}}},
                     {"disk", {{"deviceNumber", 0}}}}}},
       {"scsiPorts", {{{"port", 0}}}}});
  SimulatedMachine machine(std::move(description));
  for (const char16_t* path : {u"\\\\?\\a", u"\\\\.\\PHYSICALDRIVE0", u"\\\\.\\Scsi0:"}) {
    EXPECT_EQ(machine.CreateFileW(path, kReadWrite, kShareBoth, OPEN_EXISTING, 0), kInvalidHandle);
    EXPECT_EQ(machine.GetLastError(), ERROR_ACCESS_DENIED);
  }
  // A path that does not exist is still not found.
  EXPECT_EQ(machine.CreateFileW(u"\\\\.\\Scsi1:", kReadWrite, kShareBoth, OPEN_EXISTING, 0), kInvalidHandle);
  EXPECT_EQ(machine.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Handles, DevicesAreOnlyOpenedNeverCreated) {
  auto machine = machineWithDevice(std::make_shared<ScriptedDevice>());
  EXPECT_EQ(machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", kReadWrite, kShareBoth, 2 /*CREATE_ALWAYS*/, 0),
            kInvalidHandle);
  EXPECT_EQ(machine->GetLastError(), ERROR_INVALID_PARAMETER);
}

class DeviceIo : public ::testing::Test {
 protected:
  std::shared_ptr<ScriptedDevice> device = std::make_shared<ScriptedDevice>();
  std::unique_ptr<SimulatedMachine> machine = machineWithDevice(device);
  Handle open(std::uint32_t access = kReadWrite, std::uint32_t flags = 0) {
    return machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", access, kShareBoth, OPEN_EXISTING, flags);
  }
};

TEST_F(DeviceIo, MethodBufferedSystemBufferAndCopyBack) {
  const Handle handle = open();
  std::vector<std::uint8_t> in(8);
  std::iota(in.begin(), in.end(), 1);
  std::vector<std::uint8_t> out(16, 0xEE);
  device->output = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  device->answer = ioSuccess(5);
  std::uint32_t returned = 99;
  ASSERT_TRUE(machine->DeviceIoControl(handle, 0x4D008, in.data(), 8, out.data(), 16, &returned));
  ASSERT_EQ(device->calls.size(), 1u);
  const auto& call = device->calls[0];
  EXPECT_EQ(call.systemBuffer.size(), 16u);  // max(in, out)
  EXPECT_EQ(std::vector<std::uint8_t>(call.systemBuffer.begin(), call.systemBuffer.begin() + 8), in);
  EXPECT_EQ(call.systemBuffer[8], 0);
  EXPECT_EQ(call.inSize, 8u);
  EXPECT_EQ(call.outSize, 16u);
  EXPECT_EQ(returned, 5u);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                                            0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_TRUE(machine->CloseHandle(handle));
}

TEST_F(DeviceIo, OneBufferForInputAndOutputAndNoMoreThanOutSizeCopied) {
  const Handle handle = open();
  std::vector<std::uint8_t> buffer(12, 0x11);
  device->output = std::vector<std::uint8_t>(12, 0x77);
  device->answer = ioSuccess(12);
  std::uint32_t returned = 0;
  ASSERT_TRUE(machine->DeviceIoControl(handle, 0x4D008, buffer.data(), 12, buffer.data(), 4, &returned));
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x77, 0x77, 0x77, 0x77, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}));
  EXPECT_TRUE(machine->CloseHandle(handle));
}

TEST_F(DeviceIo, FailedRequestCopiesNothingAndSetsTheError) {
  const Handle handle = open();
  std::vector<std::uint8_t> buffer(8, 0x11);
  device->output = std::vector<std::uint8_t>(8, 0x77);
  device->answer = ioFailure(ERROR_IO_DEVICE);
  std::uint32_t returned = 5;
  EXPECT_FALSE(machine->DeviceIoControl(handle, 0x4D008, buffer.data(), 8, buffer.data(), 8, &returned));
  EXPECT_EQ(machine->GetLastError(), ERROR_IO_DEVICE);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0x11));
  EXPECT_TRUE(machine->CloseHandle(handle));
}

TEST_F(DeviceIo, ControlCodeAccessBitsAreCheckedAgainstTheHandle) {
  const Handle readOnly = open(GENERIC_READ);
  std::vector<std::uint8_t> buffer(8);
  std::uint32_t returned = 0;
  // 0x4D008 needs read and write access; 0x2D1080 needs none.
  EXPECT_FALSE(machine->DeviceIoControl(readOnly, 0x4D008, buffer.data(), 8, buffer.data(), 8, &returned));
  EXPECT_EQ(machine->GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(device->calls.empty());
  EXPECT_TRUE(machine->DeviceIoControl(readOnly, 0x2D1080, nullptr, 0, buffer.data(), 8, &returned));
  EXPECT_TRUE(machine->CloseHandle(readOnly));
}

TEST_F(DeviceIo, OverlappedHandleWithoutOverlappedRequestIsRefused) {
  const Handle handle = open(kReadWrite, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL);
  ASSERT_NE(handle, kInvalidHandle);
  std::vector<std::uint8_t> buffer(8);
  std::uint32_t returned = 0;
  EXPECT_FALSE(machine->DeviceIoControl(handle, 0x4D008, buffer.data(), 8, buffer.data(), 8, &returned));
  EXPECT_EQ(machine->GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(device->calls.empty());
  EXPECT_TRUE(machine->CloseHandle(handle));
}

TEST_F(DeviceIo, MissingBuffersAreRefusedBeforeTheDevice) {
  const Handle handle = open();
  std::uint32_t returned = 0;
  std::vector<std::uint8_t> buffer(8);
  EXPECT_FALSE(machine->DeviceIoControl(handle, 0x4D008, nullptr, 8, buffer.data(), 8, &returned));
  EXPECT_EQ(machine->GetLastError(), kErrorNoAccess);
  EXPECT_FALSE(machine->DeviceIoControl(handle, 0x4D008, buffer.data(), 8, buffer.data(), 8, nullptr));
  EXPECT_EQ(machine->GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(device->calls.empty());
  EXPECT_TRUE(machine->CloseHandle(handle));
}

TEST(StorageStack, DiskAnswersItsDeviceNumberIntoTwelveBytes) {
  MachineDescription description = test::describe(
      {{"devices", {{{"instanceId", "A\\1"}, {"disk", {{"deviceNumber", 9}}}}}}});
  SimulatedMachine machine(std::move(description));
  const Handle handle = machine.CreateFileW(u"\\\\.\\PHYSICALDRIVE9", kReadWrite, kShareBoth, OPEN_EXISTING, 0);
  ASSERT_NE(handle, kInvalidHandle);
  std::vector<std::uint8_t> out(12, 0xEE);
  std::uint32_t returned = 0;
  ASSERT_TRUE(machine.DeviceIoControl(handle, 0x2D1080, nullptr, 0, out.data(), 12, &returned));
  EXPECT_EQ(returned, 12u);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{7, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(machine.DeviceIoControl(handle, 0x2D1080, nullptr, 0, out.data(), 8, &returned));
  EXPECT_EQ(machine.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(machine.trace().requests("storage.deviceNumber").size(), 2u);
  EXPECT_TRUE(machine.CloseHandle(handle));
}

}  // namespace
}  // namespace koa::sim
