#include "tests/support/inventory_run.h"

#include <gtest/gtest.h>


#include "tests/support/bytes.h"

namespace koa::test {
namespace {

constexpr std::uint32_t kGetDeviceNumber = 0x2D1080;
constexpr std::uint32_t kQueryProperty = 0x2D1400;
constexpr std::uint32_t kScsiMiniport = 0x4D008;
constexpr std::uint8_t kIdentify = 0x06;
constexpr std::uint8_t kGetLogPage = 0x02;

// Told by the bytes, not by the simulator's name for the request: discovery
// also sends its requests to devices that do not answer them.
bool reads(std::uint32_t code, const std::vector<std::uint8_t>& input) {
  if (code == kGetDeviceNumber || code == kQueryProperty) return true;
  if (code != kScsiMiniport || input.size() < 28) return false;
  const std::string signature(input.begin() + 4, input.begin() + 12);
  const std::uint32_t controlCode = le32(input, 16);
  if (signature == std::string("CSMIARY\0", 8)) return controlCode == 11;  // get RAID configuration
  // The inbox driver's firmware get-info (function 1).
  if (signature == "FIRMWARE") return input.size() > 40 && controlCode == 0x1B0780 && le32(input, 36) == 1;
  // Identify and Get Log Page through the IRST pass-through, command from offset 32.
  if (signature == "IntelNvm")
    return controlCode == 0xF0002808 && input.size() > 32 && (input[32] == kIdentify || input[32] == kGetLogPage);
  if (signature != "NvmeRAID") return false;
  // The VROC counts and lists; Identify and Get Log Page through its pass-through, command from 52.
  for (const std::uint32_t list : {0xE0002014u, 0xE0002028u, 0xE0002018u, 0xE000201Cu, 0xE000202Cu})
    if (controlCode == list) return true;
  return controlCode == 0xE0002000 && input.size() > 52 && (input[52] == kIdentify || input[52] == kGetLogPage);
}

}  // namespace

std::string writingRequest(const nlohmann::json& call) {
  if (call.value("op", "") != "DeviceIoControl") return {};
  const std::vector<std::uint8_t> input = inputOf(call);
  if (reads(call.value("code", 0u), input)) return {};
  return call.value("request", "") + " " + call.value("input", "").substr(0, 200);
}

MachineRun runInventory(const nlohmann::json& machine, std::vector<std::string> arguments) {
  RunOptions options = separateProcess(std::move(arguments));
  options.program = KOA_INVENTORY_PATH;
  MachineRun run = runOnMachine(machine, options);
  for (const auto& call : run.trace()) {
    const std::string written = writingRequest(call);
    if (!written.empty()) ADD_FAILURE() << "koa-inventory sent " << written;
  }
  return run;
}

}  // namespace koa::test
