#include "tests/fuzz/fuzzed_machine.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "sim/machine_description.h"
#include "tests/reliability/run_invariants.h"

namespace koa::fuzz {
namespace {

// Reads the fuzzer's bytes front to back; past the end every read gives 0.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  [[nodiscard]] bool empty() const { return position_ >= bytes_.size(); }
  std::uint8_t byte() { return empty() ? 0 : bytes_[position_++]; }
  std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(u16() | (std::uint32_t{u16()} << 16)); }
  std::size_t below(std::size_t count) { return count == 0 ? 0 : byte() % count; }
  std::string hex(std::size_t maxLength) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const std::size_t length = 1 + below(maxLength);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
      const std::uint8_t b = byte();
      text += kDigits[b >> 4];
      text += kDigits[b & 15];
    }
    return text;
  }
  // Text built from pieces the system looks for and a few raw characters.
  std::string text() {
    static constexpr std::array<const char*, 16> kPieces = {
        "Bus Number ", "VEN_D5A7", "VEN_8086", "NVMe", "RAID", "RST", "Premium", ", ", "0", "7", "255",
        "4294967296", "-1", "Intel(R) Chipset SATA/PCIe RST Premium Controller", "\xC3\xA9", " "};
    std::string text;
    const std::size_t parts = below(6);
    for (std::size_t i = 0; i < parts; ++i) {
      const std::uint8_t choice = byte();
      if (choice < 0xC0)
        text += kPieces[choice % kPieces.size()];
      else
        text += static_cast<char>(0x20 + choice % 0x5F);
    }
    return text;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

constexpr std::array<const char*, 2> kMachines = {"examples/machines/workstation.json",
                                                   "examples/machines/vroc-server.json"};

// Paths by the driver that answers behind them.
struct Paths {
  std::vector<std::string> disks;     // \\.\PHYSICALDRIVE<n> of disks with a drive
  std::vector<std::string> otherDisks;
  std::vector<std::string> irst;      // the IRST controller's interface path
  std::vector<std::string> vroc;      // \\.\Scsi<n>: with the VROC driver
  std::vector<std::string> ports;     // SCSI ports answering nothing
};

Paths pathsOf(const nlohmann::json& machine) {
  Paths paths;
  for (const auto& device : machine.value("devices", nlohmann::json::array())) {
    if (device.contains("disk")) {
      const std::string path = "\\\\.\\PHYSICALDRIVE" + std::to_string(device["disk"]["deviceNumber"].get<int>());
      (device["disk"].contains("drive") ? paths.disks : paths.otherDisks).push_back(path);
    }
    if (device.contains("irst")) paths.irst.push_back(device["interfaces"][0]["path"]);
  }
  for (const auto& port : machine.value("scsiPorts", nlohmann::json::array()))
    (port.contains("vroc") ? paths.vroc : paths.ports)
        .push_back("\\\\.\\Scsi" + std::to_string(port["port"].get<int>()) + ":");
  return paths;
}

// A request kind and a device that answers it.
struct RequestTarget {
  std::string kind;
  std::string device;
};

RequestTarget requestTarget(ByteReader& in, const Paths& paths) {
  static constexpr std::array<const char*, 18> kKinds = {
      "storage.deviceNumber", "storage.identify", "inbox.getInfo",   "inbox.download",     "inbox.activate",
      "csmi.raidConfig",      "irst.identify",    "irst.download",   "irst.activate",      "vroc.volumeCount",
      "vroc.passThroughCount", "vroc.volumeInfo", "vroc.memberList", "vroc.passThroughList", "vroc.identify",
      "vroc.download",        "vroc.commit",      "unknown"};
  RequestTarget target{kKinds[in.below(kKinds.size())], {}};
  const std::string& kind = target.kind;
  const std::vector<std::string>* devices = &paths.disks;
  if (kind.rfind("csmi.", 0) == 0 || kind.rfind("irst.", 0) == 0) devices = &paths.irst;
  if (kind.rfind("vroc.", 0) == 0) devices = &paths.vroc;
  if (kind == "unknown") devices = paths.ports.empty() ? &paths.otherDisks : &paths.ports;
  if (devices->empty()) devices = &paths.disks;
  if (devices->empty()) return target;
  target.device = (*devices)[in.below(devices->size())];
  return target;
}

bool isActivation(const std::string& kind) {
  return kind == "inbox.activate" || kind == "irst.activate" || kind == "vroc.commit";
}

// The faults answer in the driver's place; none of them may answer a success
// that did not happen (a ReturnCode or NVMe status of 0, "power cycle
// required" on an activation, or an activation answer made up or patched),
// since a driver that lies about an activation makes any updater report a
// drive updated that is not. A failure, a wrong count or a garbled answer to
// anything else is fair.
void addRequestFault(ByteReader& in, const Paths& paths, nlohmann::json& machine, std::uint8_t action) {
  const RequestTarget target = requestTarget(in, paths);
  if (target.device.empty()) return;
  if (isActivation(target.kind) && (action == 0 || action == 1)) action = 4;
  if (action == 3 && target.kind != "vroc.identify" && target.kind != "vroc.download" && target.kind != "vroc.commit")
    action = 2;  // only the NVMe pass-through has a completion entry
  nlohmann::json fault = {{"device", target.device}, {"request", target.kind}};
  const std::uint8_t nth = in.byte();
  if (nth < 0xC0) fault["nth"] = 1 + nth % 4;  // else every one
  switch (action) {
    case 0:
      fault["action"] = "patch";
      fault["offset"] = in.u16() % 4400;
      fault["hex"] = in.hex(16);
      break;
    case 1:
      fault["action"] = "output";
      fault["hex"] = in.hex(160);
      break;
    case 2: {
      std::uint32_t code = std::max<std::uint32_t>(1, in.byte() < 0x80 ? std::uint32_t{in.byte()} : in.u32());
      // FIRMWARE_STATUS_POWER_CYCLE_REQUIRED answers that the image was taken.
      if (isActivation(target.kind) && code == 0x20) code = 0x10;
      fault["action"] = "returnCode";
      fault["returnCode"] = code;
      break;
    }
    case 3:
      fault["action"] = "completionStatus";
      fault["status"] = std::max(1, in.u16() & 0x7FFF);
      break;
    default: {
      static constexpr std::array<std::uint32_t, 6> kErrors = {1, 31, 121, 1117, 234, 122};
      fault["action"] = "fail";
      fault["error"] = kErrors[in.below(kErrors.size())];
      break;
    }
  }
  machine["faults"].push_back(fault);
}

std::string driveName(ByteReader& in, const nlohmann::json& machine) {
  const auto& drives = machine["drives"];
  auto it = drives.begin();
  std::advance(it, static_cast<std::ptrdiff_t>(in.below(drives.size())));
  return it.key();
}

void changeDrive(ByteReader& in, nlohmann::json& machine) {
  nlohmann::json& drive = machine["drives"][driveName(in, machine)];
  switch (in.below(6)) {
    case 0:
      drive["identifyPatches"].push_back({{"offset", in.u16() % 4096}, {"hex", in.hex(16)}});
      break;
    case 1:
      drive["fwug"] = in.byte();
      break;
    case 2:
      drive["version"] = {{"major", in.u16()}, {"minor", in.byte()}};
      break;
    case 3:
      drive["activation"] = in.byte() & 1 ? "reset" : "immediate";
      break;
    case 4:
      drive["upgradeSupport"] = (in.byte() & 1) != 0;
      break;
    default:
      drive["commitStatus"] = {{"status", std::max(1, in.u16() & 0x7FFF)}};
      break;
  }
}

void changeDevice(ByteReader& in, nlohmann::json& machine) {
  auto& devices = machine["devices"];
  if (devices.empty()) return;
  nlohmann::json& device = devices[in.below(devices.size())];
  switch (in.below(5)) {
    case 0:
      device["locationInfo"] = in.text();
      break;
    case 1:
      device["driverDesc"] = in.text();
      break;
    case 2: {
      nlohmann::json ids = nlohmann::json::array();
      for (std::size_t i = 0, n = 1 + in.below(3); i < n; ++i) ids.push_back(in.text());
      device["hardwareIds"] = ids;
      break;
    }
    case 3:
      if (device.contains("disk") && device["disk"].contains("drive"))
        device["disk"]["firmwareInfo"] = {{"version", in.byte() % 4}, {"dataBufferOffset", in.u16()},
                                          {"slotCount", in.byte()}};
      break;
    default:
      if (device.contains("irst"))
        for (auto& drive : device["irst"]["drives"]) {
          const std::uint8_t b = in.byte();
          if (b & 1) drive.erase("raidSet");
          else drive["raidSet"] = b >> 6;
          drive["pathId"] = in.byte() % 8;
        }
      break;
  }
}

void changeVroc(ByteReader& in, nlohmann::json& machine) {
  for (auto& port : machine["scsiPorts"]) {
    if (!port.contains("vroc")) continue;
    if (in.byte() & 1) {
      for (auto& volume : port["vroc"]["volumes"]) volume["reportedMemberCount"] = in.byte() < 0x80 ? in.byte() % 8 : in.u32();
    } else {
      port["vroc"]["reportedPassThroughCount"] = static_cast<std::int32_t>(in.byte() < 0x80 ? in.byte() % 8 : in.u32());
    }
  }
}

}  // namespace

nlohmann::json fuzzedMachine(std::span<const std::uint8_t> bytes) {
  ByteReader in(bytes);
  static const std::array<nlohmann::json, 2> examples = {test::machineFile(kMachines[0]),
                                                        test::machineFile(kMachines[1])};
  nlohmann::json machine = examples[in.byte() & 1];
  machine["faults"] = nlohmann::json::array();
  const Paths paths = pathsOf(machine);
  for (int change = 0; change < 24 && !in.empty(); ++change) {
    const std::uint8_t what = in.byte() % 10;
    if (what < 5)
      addRequestFault(in, paths, machine, what);
    else if (what < 7)
      changeDrive(in, machine);
    else if (what < 9)
      changeDevice(in, machine);
    else
      changeVroc(in, machine);
  }
  return machine;
}

std::string runFuzzedMachine(std::span<const std::uint8_t> bytes) {
  std::string error;
  auto description = sim::parseMachineDescription(fuzzedMachine(bytes).dump(), "fuzzed.json", error);
  if (!description) return {};
  const auto run = test::runOnMachine(std::make_unique<sim::SimulatedMachine>(std::move(*description)),
                                      reliability::checkedRunOptions());
  std::string broken;
  for (const auto& line : reliability::brokenInvariants(run)) broken += line + "\n";
  return broken;
}

}  // namespace koa::fuzz
