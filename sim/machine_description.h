// A machine description loaded and checked: the device nodes in
// enumeration order, what each opened path reaches, the drives, the faults
// and the clock. docs/simulator.md describes the JSON.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/win_types.h"
#include "sim/drivers.h"
#include "sim/file_system.h"
#include "sim/sim_device.h"

namespace koa::sim {

// What an opened handle reaches: a device node's driver or a SCSI port.
struct DeviceTarget {
  std::shared_ptr<SimDevice> device;
  std::u16string label;        // the first path that reaches it, for the trace
  std::string section;         // "disk", "irst", "vroc" or "" (answers nothing)
  std::size_t deviceNode = 0;  // index in devices when it belongs to a node
  bool isScsiPort = false;
  std::uint32_t scsiPort = 0;
  std::size_t scsiPortEntry = 0;  // index in the description's "scsiPorts"
};

struct DeviceInterface {
  Guid classGuid{};
  std::u16string path;
};

struct DeviceNode {
  std::u16string instanceId;
  std::optional<std::u16string> parent;
  std::vector<std::u16string> hardwareIds;
  std::optional<std::u16string> driverDesc;
  std::optional<std::u16string> locationInfo;
  bool present = true;
  Guid setupClass{};  // from its interfaces: DiskDrive, SCSIAdapter or none
  std::uint32_t devInst = 0;
  std::vector<DeviceInterface> interfaces;
  std::optional<std::size_t> target;  // index in targets
  std::optional<std::uint32_t> diskNumber;
};

// Hold: the request is answered as the device answers it, after the
// machine's hold handler (SimulatedMachine::setHoldHandler) returns.
enum class FaultAction { FailOpen, Fail, ReturnCode, CompletionStatus, Patch, Output, Hold };

struct Fault {
  FaultAction action = FaultAction::Fail;
  std::size_t target = 0;      // index in targets
  std::string request;         // request kind ("" for FailOpen)
  std::string drive;           // only requests addressing this drive ("" any)
  std::uint32_t nth = 0;       // 0: every one
  std::uint32_t error = 0;     // FailOpen, Fail
  std::uint32_t value = 0;     // ReturnCode, CompletionStatus
  std::uint32_t offset = 0;    // Patch
  std::vector<std::uint8_t> bytes;  // Patch, Output
  // Not 0: the fault hits the platform call that the trace numbers `call`
  // (its "seq"), whatever it is, instead of a device's requests.
  std::uint32_t call = 0;
  std::string jsonPath;        // where it was declared
};

// A named mutex that exists before the program starts, made by another
// process of the machine.
enum class MutexState { Free, Held, Abandoned };
struct NamedMutex {
  std::u16string name;
  bool madeByAdministrator = true;  // false: by a standard user
  MutexState state = MutexState::Held;
};

struct MachineDescription {
  std::optional<LocalTime> clock;
  // The machine's host name (GetComputerNameExW).
  std::u16string computerName = u"KOA-SIM";
  // The process token's TokenElevation; false also refuses every device open.
  bool elevated = true;
  // Whether the process's window station has WSF_VISIBLE (false: a service's).
  bool windowStationVisible = true;
  DriveTable drives;
  std::vector<DeviceNode> devices;
  std::vector<DeviceTarget> targets;
  std::vector<Fault> faults;
  std::vector<NamedMutex> mutexes;
  // Normalised path (normalisedDevicePath) to index in targets: interface
  // paths of present nodes, \\.\PHYSICALDRIVE<n>, \\.\Scsi<n>:.
  std::map<std::u16string, std::size_t> paths;
  // The files a log path may name (sim/file_system.h).
  FileSystemDescription fileSystem;
  nlohmann::json source;  // the description as given (for the state file)
};

// The DevInst of the device node at index i.
inline constexpr std::uint32_t kFirstDevInst = 1001;

inline constexpr Guid kDiskDriveSetupClass = {
    0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr Guid kScsiAdapterSetupClass = {
    0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Every request kind a fault may name.
const std::vector<std::string>& knownRequestKinds();

// Checks and builds the machine. Throws DescriptionError naming the field.
[[nodiscard]] MachineDescription loadMachineDescription(const nlohmann::json& document);

// Parses and loads a description text. On failure returns nullopt and sets
// `error` to "<sourceName>: <JSON path>: <what is wrong>".
[[nodiscard]] std::optional<MachineDescription> parseMachineDescription(std::string_view text,
                                                                        const std::string& sourceName,
                                                                        std::string& error);

// The path as Windows matches it: "\\?\" read as "\\.\", letters folded.
[[nodiscard]] std::u16string normalisedDevicePath(std::u16string_view path);

}  // namespace koa::sim
