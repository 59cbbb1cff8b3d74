// Faults that name a platform call by its trace number: the k-th call fails
// whatever it is, and no other call does.
#include <gtest/gtest.h>

#include "tests/reliability/fault_plan.h"
#include "tests/sim/sim_test_support.h"

namespace koa::sim {
namespace {

using test::machineWithDevice;
using test::ScriptedDevice;

constexpr std::uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr std::uint32_t kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::vector<std::uint8_t> firmwareRequest() {
  std::vector<std::uint8_t> bytes(160, 0);
  bytes[0] = 28;
  const char* signature = "FIRMWARE";
  std::copy(signature, signature + 8, bytes.begin() + 4);
  return bytes;
}

TEST(CallFaults, TheNamedCallFailsWhateverItIsAndOnlyIt) {
  auto device = std::make_shared<ScriptedDevice>();
  // Call 1 is SetupDiGetClassDevsW, 2 the first CreateFileW, 3 the second.
  auto machine = machineWithDevice(device, {{{"action", "fail"}, {"call", 2}, {"error", 32}}});
  const DevInfoSet set = machine->SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  EXPECT_NE(set, kInvalidDevInfoSet);
  EXPECT_EQ(machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", kReadWrite, kShared, OPEN_EXISTING, 0), kInvalidHandle);
  EXPECT_EQ(machine->GetLastError(), ERROR_SHARING_VIOLATION);
  // Call 4 (GetLastError above was call 3) opens.
  const Handle handle = machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", kReadWrite, kShared, OPEN_EXISTING, 0);
  EXPECT_NE(handle, kInvalidHandle);
  EXPECT_EQ(machine->trace().entries()[1].value("fault", ""), "/faults/0");
  EXPECT_FALSE(machine->trace().entries()[3].contains("fault"));
  EXPECT_TRUE(machine->CloseHandle(handle));
  EXPECT_TRUE(machine->SetupDiDestroyDeviceInfoList(set));
}

TEST(CallFaults, SetupApiCallsAndTheModuleHandleFailWithTheNamedError) {
  auto device = std::make_shared<ScriptedDevice>();
  auto machine = machineWithDevice(device, {{{"action", "fail"}, {"call", 1}, {"error", 8}},
                                            {{"action", "fail"}, {"call", 4}, {"error", 259}},
                                            {{"action", "fail"}, {"call", 5}, {"error", 126}}});
  EXPECT_EQ(machine->SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
            kInvalidDevInfoSet);
  EXPECT_EQ(machine->GetLastError(), 8u);
  const DevInfoSet set = machine->SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, kInvalidDevInfoSet);
  SpDevInfoData data{};
  data.cbSize = sizeof(SpDevInfoData);
  EXPECT_FALSE(machine->SetupDiEnumDeviceInfo(set, 0, &data));  // call 4
  EXPECT_EQ(machine->GetModuleHandleW(nullptr), 0);               // call 5
  EXPECT_EQ(machine->GetLastError(), 126u);
  EXPECT_TRUE(machine->SetupDiEnumDeviceInfo(set, 0, &data));
  EXPECT_NE(machine->GetModuleHandleW(nullptr), 0);
  EXPECT_TRUE(machine->SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(machine->openDeviceSetCount(), 0u);
}

TEST(CallFaults, RequestFaultsOnACallAnswerWithoutCallingTheDevice) {
  auto device = std::make_shared<ScriptedDevice>();
  auto machine = machineWithDevice(device, {{{"action", "returnCode"}, {"call", 2}, {"returnCode", "0x20"}},
                                            {{"action", "fail"}, {"call", 3}, {"error", 121}},
                                            {{"action", "returnCode"}, {"call", 5}, {"returnCode", 1}}});
  const Handle handle = machine->CreateFileW(u"\\\\.\\PHYSICALDRIVE7", kReadWrite, 0, OPEN_EXISTING, 0);
  ASSERT_NE(handle, kInvalidHandle);
  std::uint32_t returned = 0;
  auto buffer = firmwareRequest();
  EXPECT_TRUE(machine->DeviceIoControl(handle, 0x4D008, buffer.data(), 160, buffer.data(), 160, &returned));
  EXPECT_EQ(le32(buffer, 20), 0x20u);
  buffer = firmwareRequest();
  EXPECT_FALSE(machine->DeviceIoControl(handle, 0x4D008, buffer.data(), 160, buffer.data(), 160, &returned));
  EXPECT_EQ(machine->GetLastError(), ERROR_SEM_TIMEOUT);  // call 4
  EXPECT_TRUE(device->calls.empty());
  // A request fault on a call that is no request leaves it alone.
  EXPECT_TRUE(machine->CloseHandle(handle));  // call 5
  EXPECT_EQ(machine->openHandleCount(), 0u);
}

TEST(CallFaults, TheLoaderRefusesMalformedCallFaults) {
  EXPECT_NE(test::loadError(R"({"faults": [{"action": "fail", "call": 0, "error": 5}]})").find("/faults/0/call"),
            std::string::npos);
  EXPECT_NE(test::loadError(R"({"faults": [{"action": "patch", "call": 3, "offset": 0, "hex": "00"}]})")
                .find("/faults/0/action"),
            std::string::npos);
  EXPECT_NE(test::loadError(R"({"faults": [{"action": "fail", "call": 3, "error": 5, "device": "x"}]})")
                .find("/faults/0"),
            std::string::npos);
}

}  // namespace
}  // namespace koa::sim

namespace koa::reliability {
namespace {

nlohmann::json call(std::size_t seq, const std::string& op, const std::string& kind = "",
                    const std::string& drive = "") {
  nlohmann::json entry = {{"seq", seq}, {"op", op}};
  if (!kind.empty()) entry["request"] = kind;
  if (!drive.empty()) entry["drive"] = drive;
  return entry;
}

TEST(FaultPlan, EveryFailableCallGetsEveryWayItCanFail) {
  const std::vector<nlohmann::json> trace = {
      call(1, "GetModuleHandleW"),       call(2, "SetErrorMode"),
      call(3, "CreateFileW"),            call(4, "DeviceIoControl", "inbox.getInfo", "a"),
      call(5, "GetLastError"),           call(6, "DeviceIoControl", "vroc.commit", "b"),
      call(7, "CloseHandle"),            call(8, "DeviceIoControl", "storage.identify", "a"),
      call(9, "SetupDiGetDevicePropertyW")};
  const FaultPlan plan = planFaults(trace, true);
  std::map<std::size_t, std::vector<std::string>> byCall;
  for (const auto& fault : plan.faults) byCall[fault.call].push_back(fault.fault.dump());
  EXPECT_EQ(plan.failurePoints, 6u);
  EXPECT_EQ(byCall.count(2) + byCall.count(5) + byCall.count(7), 0u);
  EXPECT_EQ(byCall[1], (std::vector<std::string>{R"({"action":"fail","call":1,"error":126})"}));
  EXPECT_EQ(byCall[3].size(), 3u);  // 2, 5, 32
  // 1117, 31, 121 and ReturnCode 1.
  EXPECT_EQ(byCall[4].size(), 4u);
  // 1117, 31, 121, ReturnCode 1, NVMe statuses 0x002, 0x107, 0x10B.
  EXPECT_EQ(byCall[6].size(), 7u);
  EXPECT_EQ(byCall[8].size(), 3u);  // no driver header: only failures
  EXPECT_EQ(byCall[9].size(), 3u);

}

TEST(FaultPlan, EachDrivesFirstMiddleAndLastPiecesStandForTheOthers) {
  std::vector<nlohmann::json> trace;
  for (std::size_t i = 1; i <= 10; ++i) trace.push_back(call(i, "DeviceIoControl", "irst.download", "a"));
  for (std::size_t i = 11; i <= 13; ++i) trace.push_back(call(i, "DeviceIoControl", "irst.download", "b"));
  const FaultPlan sampled = planFaults(trace, false);
  std::set<std::size_t> calls;
  for (const auto& fault : sampled.faults) calls.insert(fault.call);
  EXPECT_EQ(calls, (std::set<std::size_t>{1, 2, 6, 9, 10, 11, 12, 13}));
  EXPECT_EQ(sampled.representedCalls, 5u);
  // Each swept piece fails with 1117, 31, 121 and ReturnCode 1.
  EXPECT_EQ(sampled.faults.size(), 8u * 4u);
  EXPECT_EQ(planFaults(trace, true).failurePoints, 13u);
}

}  // namespace
}  // namespace koa::reliability
