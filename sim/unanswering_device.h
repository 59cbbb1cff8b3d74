// A device that opens but answers no request: a SCSI port without a
// driver the system speaks to, a disk node without a storage section.
#pragma once

#include "platform/win_types.h"
#include "sim/sim_device.h"

namespace koa::sim {

class UnansweringDevice : public SimDevice {
 public:
  IoResult deviceIoControl(std::uint32_t /*code*/, std::vector<std::uint8_t>& /*systemBuffer*/,
                           std::uint32_t /*inSize*/, std::uint32_t /*outSize*/) override {
    return ioFailure(ERROR_INVALID_FUNCTION);
  }
  std::string requestKind(std::uint32_t /*code*/, std::span<const std::uint8_t> /*input*/) const override {
    return "unknown";
  }
  nlohmann::json state() const override { return nullptr; }
};

}  // namespace koa::sim
