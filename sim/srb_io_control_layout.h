// SRB_IO_CONTROL (ntddscsi.h), the 28-byte header that opens every
// IOCTL_SCSI_MINIPORT request, as the simulated drivers read it. The inbox
// firmware requests, the IRST requests and the VROC requests all start with
// it; each driver checks its own signature and control codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "sim/sim_bytes.h"

namespace koa::sim::srb {

inline constexpr std::uint32_t kIoctlScsiMiniport = 0x4D008;

inline constexpr std::size_t kHeaderLengthAt = 0;
inline constexpr std::size_t kSignatureAt = 4;
inline constexpr std::size_t kTimeoutAt = 12;
inline constexpr std::size_t kControlCodeAt = 16;
inline constexpr std::size_t kReturnCodeAt = 20;
inline constexpr std::size_t kLengthAt = 24;
inline constexpr std::uint32_t kHeaderBytes = 28;

// The port driver's checks of a request sent as input and output at once
// (the inbox and IRST drivers' requests): the header and its Length
// describe exactly the buffer that came in and goes out.
[[nodiscard]] inline bool portTakesInPlace(std::span<const std::uint8_t> system, std::uint32_t inSize,
                                           std::uint32_t outSize) {
  return inSize >= kHeaderBytes && outSize == inSize && le32(system, kHeaderLengthAt) == kHeaderBytes &&
         le32(system, kLengthAt) == inSize - kHeaderBytes;
}

}  // namespace koa::sim::srb
