// The model's side of the wire (sim/host/shim_protocol.h): every open,
// close and device control the shim relays becomes the same call on the
// simulated machine, through the platform interface, so that the machine's
// strictness, faults and trace are the ones the Linux program meets.
//
// What an open carries under Wine 8 is less than CreateFileW's arguments:
// the share mode and the create options, from which only
// FILE_FLAG_OVERLAPPED can be read back. The machine is therefore asked for
// GENERIC_READ | GENERIC_WRITE and OPEN_EXISTING; Wine checks each request's
// access bits against the real handle itself before the shim sees it.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <vector>

#include "platform/platform.h"
#include "sim/host/device_presentation.h"

namespace koa::sim::host {

struct ServeLimits {
  int idleSeconds = 120;        // longest wait for the shim's next request
  std::uint64_t stopAfter = 0;  // not 0: stop without answering the request after this many relayed ones
};

enum class ServeEnd {
  Goodbye,     // the shim unloaded: the run is over
  Vanished,    // the connection closed or broke without a goodbye
  Idle,        // nothing came for idleSeconds
  Malformed,   // a request out of protocol
  Stopped,     // stopAfter was reached
};

class ModelServer {
 public:
  ModelServer(Platform& machine, const Presentation& presentation, std::ostream& errors);

  // Answers the shim on `connection` (a connected socket) until the run
  // ends; writes one line to `errors` for every way the run left what the
  // simulated machine would have done.
  ServeEnd serve(int connection, const ServeLimits& limits);

  // Whether the machine and Wine disagreed (an open the machine refused
  // after Wine had granted it) or the shim reported something it could not
  // present.
  [[nodiscard]] bool diverged() const { return diverged_; }
  [[nodiscard]] std::uint64_t relayed() const { return relayed_; }

 private:
  struct Reply {
    std::uint32_t error = 0;
    std::vector<std::uint8_t> payload;
  };
  bool create(std::uint32_t file, std::uint32_t name, std::uint32_t shareMode, std::uint32_t options, Reply& reply);
  void close(std::uint32_t file);
  void deviceControl(std::uint32_t file, std::uint32_t code, std::uint32_t outSize, std::vector<std::uint8_t>& input,
                     Reply& reply);
  void report(const std::vector<std::uint8_t>& text);
  Handle handleOf(std::uint32_t file) const;

  Platform& machine_;
  const Presentation& presentation_;
  std::ostream& errors_;
  std::map<std::uint32_t, Handle> files_;  // the shim's open files and the machine's handles for them
  std::uint64_t relayed_ = 0;
  bool diverged_ = false;
};

}  // namespace koa::sim::host
