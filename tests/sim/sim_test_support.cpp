#include "tests/sim/sim_test_support.h"

#include <stdexcept>

namespace koa::sim::test {

MachineDescription describe(const nlohmann::json& document) {
  std::string error;
  auto machine = parseMachineDescription(document.dump(), "test.json", error);
  if (!machine) throw std::runtime_error(error);
  return std::move(*machine);
}

std::string loadError(const std::string& text, const std::string& sourceName) {
  std::string error;
  auto machine = parseMachineDescription(text, sourceName, error);
  if (machine) return "<loaded>";
  return error;
}

IoResult ScriptedDevice::deviceIoControl(std::uint32_t code, std::vector<std::uint8_t>& systemBuffer,
                                         std::uint32_t inSize, std::uint32_t outSize) {
  calls.push_back(Call{code, systemBuffer, inSize, outSize});
  if (!output.empty())
    for (std::size_t i = 0; i < output.size() && i < systemBuffer.size(); ++i) systemBuffer[i] = output[i];
  IoResult result = answer;
  if (result.ok && result.bytesReturned == 0) result.bytesReturned = outSize;
  return result;
}

std::string ScriptedDevice::requestKind(std::uint32_t code, std::span<const std::uint8_t> input) const {
  if (code == 0x4D008 && input.size() >= 12) return std::string(input.begin() + 4, input.begin() + 12) == "NvmeRAID" ? "vroc.download" : "inbox.download";
  return "unknown";
}

std::string ScriptedDevice::requestDrive(std::uint32_t /*code*/, std::span<const std::uint8_t> input) const {
  return input.size() >= 24 && input[20] == 2 ? "second" : "first";
}

std::unique_ptr<SimulatedMachine> machineWithDevice(std::shared_ptr<SimDevice> device, nlohmann::json faults) {
  nlohmann::json document = {
      {"drives",
       {{"first", {{"serialNumber", "S1"}, {"modelNumber", "M1"}, {"firmwareRevision", "GXB3LTMW"}}},
        {"second", {{"serialNumber", "S2"}, {"modelNumber", "M2"}, {"firmwareRevision", "GXB3LTMW"}}}}},
      {"devices",
       {{{"instanceId", "SCSI\\DISK&VEN_NVME\\1"},
         {"interfaces", {{{"class", "disk"}, {"path", "\\\\?\\disk#one"}}}},
         {"disk", {{"deviceNumber", 7}}}}}},
      {"scsiPorts", {{{"port", 3}}}},
      {"faults", faults}};
  MachineDescription machine = describe(document);
  machine.targets[*machine.devices[0].target].device = std::move(device);
  return std::make_unique<SimulatedMachine>(std::move(machine));
}

}  // namespace koa::sim::test
