// The download and activation requests of a run, as the program sent them
// and as it got them back: the simulated machine, wrapped, with the bytes
// the run invariants are about kept aside. (The machine's own trace can
// carry them too, as hex text, but at a cost that a sweep of hundreds of
// runs cannot pay.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulated_machine.h"
#include "tests/support/platform_wrapper.h"

namespace koa::test {

struct RecordedRequest {
  std::size_t seq = 0;       // the machine trace's number of the call
  std::string kind;          // e.g. "inbox.download"
  std::string drive;         // the drive it addresses ("" when the device names none)
  std::string path;          // the path the device was opened by
  bool succeeded = false;    // what DeviceIoControl returned
  std::vector<std::uint8_t> input;   // the whole input, as sent
  std::vector<std::uint8_t> output;  // the output's first bytes (headers and status)
};

class RequestRecorder : public PlatformWrapper {
 public:
  explicit RequestRecorder(sim::SimulatedMachine& machine) : PlatformWrapper(machine), machine_(machine) {}

  // The downloads and activations ("inbox.download", "irst.activate",
  // "vroc.commit", ...) in call order.
  [[nodiscard]] const std::vector<RecordedRequest>& requests() const { return requests_; }
  // For the invariants' own tests, which alter what was recorded.
  [[nodiscard]] std::vector<RecordedRequest>& requests() { return requests_; }

  bool DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                       void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) override;

 private:
  sim::SimulatedMachine& machine_;  // for the kind, drive and path of a request
  std::vector<RecordedRequest> requests_;
};

[[nodiscard]] bool isDownloadRequest(const std::string& kind);
[[nodiscard]] bool isActivationRequest(const std::string& kind);

}  // namespace koa::test
