// Helpers for the simulated machine's own tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/machine_description.h"
#include "sim/sim_bytes.h"
#include "sim/simulated_machine.h"

namespace koa::sim::test {

// A loaded description; fails the test (throws) when it does not load.
MachineDescription describe(const nlohmann::json& document);

// The error text of a description that must not load.
std::string loadError(const std::string& text, const std::string& sourceName = "machine.json");

// A device that records what it received and answers as told: it reverses
// the input into the output so that copies are visible.
class ScriptedDevice : public SimDevice {
 public:
  IoResult deviceIoControl(std::uint32_t code, std::vector<std::uint8_t>& systemBuffer, std::uint32_t inSize,
                           std::uint32_t outSize) override;
  std::string requestKind(std::uint32_t code, std::span<const std::uint8_t> input) const override;
  std::string requestDrive(std::uint32_t code, std::span<const std::uint8_t> input) const override;
  nlohmann::json state() const override { return {{"scripted", true}}; }

  struct Call {
    std::uint32_t code;
    std::vector<std::uint8_t> systemBuffer;  // as the device received it
    std::uint32_t inSize;
    std::uint32_t outSize;
  };
  std::vector<Call> calls;
  IoResult answer{true, 0, 0};                 // bytesReturned 0: all of outSize
  std::vector<std::uint8_t> output;            // written from offset 0 when set
};

// A machine with one disk node (\\?\disk#one, \\.\PHYSICALDRIVE7) whose
// device is `device`, and a SCSI port 3 answering nothing.
std::unique_ptr<SimulatedMachine> machineWithDevice(std::shared_ptr<SimDevice> device,
                                                    nlohmann::json faults = nlohmann::json::array());

// Little helpers to pass wide text.
inline std::u16string w(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace koa::sim::test
