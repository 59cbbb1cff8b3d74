// What a handle on the simulated machine reaches: the storage stack of a
// disk, the IRST controller's port, a VROC port. The machine hands each
// DeviceIoControl to the device as a METHOD_BUFFERED driver sees it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace koa::sim {

struct IoResult {
  bool ok = false;
  std::uint32_t error = 0;          // the Win32 error when !ok
  std::uint32_t bytesReturned = 0;  // bytes of the system buffer that are output
};

// An I/O answer that fails with a Win32 error and returns nothing.
[[nodiscard]] inline IoResult ioFailure(std::uint32_t error) { return IoResult{false, error, 0}; }
[[nodiscard]] inline IoResult ioSuccess(std::uint32_t bytesReturned) {
  return IoResult{true, 0, bytesReturned};
}

class SimDevice {
 public:
  virtual ~SimDevice() = default;

  // One METHOD_BUFFERED request. systemBuffer holds max(inSize, outSize)
  // bytes, the first inSize of them the caller's input, the rest zero. The
  // device reads its input from it and writes its output over it; the
  // machine then copies min(outSize, bytesReturned) bytes to the caller.
  virtual IoResult deviceIoControl(std::uint32_t code, std::vector<std::uint8_t>& systemBuffer,
                                   std::uint32_t inSize, std::uint32_t outSize) = 0;

  // A stable name for the kind of request, by which faults are declared and
  // the trace is read: "storage.deviceNumber", "storage.identify",
  // "inbox.getInfo", "inbox.download", "inbox.activate", "csmi.raidConfig",
  // "irst.identify", "irst.getLogPage", "irst.download", "irst.activate",
  // "vroc.volumeCount", "vroc.passThroughCount", "vroc.volumeInfo",
  // "vroc.memberList", "vroc.passThroughList", "vroc.identify",
  // "vroc.getLogPage", "vroc.download", "vroc.commit"; "unknown" for
  // anything else. Must not change state.
  virtual std::string requestKind(std::uint32_t code, std::span<const std::uint8_t> input) const = 0;

  // The name of the drive (in the description's "drives") that the request
  // addresses, or empty when it addresses none or cannot be told. Lets a
  // fault hit one drive behind a controller that serves several.
  virtual std::string requestDrive(std::uint32_t /*code*/, std::span<const std::uint8_t> /*input*/) const {
    return {};
  }

  // The device's section of the description as it stands after the run
  // (written to the state file; loading it must give the same device).
  virtual nlohmann::json state() const = 0;
};

}  // namespace koa::sim
