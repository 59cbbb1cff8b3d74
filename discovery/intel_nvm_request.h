// The IRST NVMe pass-through ("IntelNvm") carrying an Identify Controller
// command to the drive at a path id behind the controller:
//
//   OFFSET SIZE DESCRIPTION
//        0   28 SRB_IO_CONTROL: "IntelNvm", timeout 10, control code
//               0xF0002808, Length 4232
//       28    4 drive address (wire/irst_drive_address.h), path id from the record
//       32   64 NVMe command dwords 0 to 15: dword 0 = 6 (Identify),
//               dword 10 (offset 72) = 1 (CNS 01h, Identify Controller)
//       96   20 0
//      116    4 offset of the data area, 164
//      120    4 length of the data area, 4096
//      164 4096 out: the Identify Controller data structure
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/irst_drive_address.h"
#include "wire/nvme.h"
#include "wire/request_buffer.h"

namespace koa::intel_nvm {

inline constexpr std::size_t kRequestSize = 4260;
inline constexpr char kSignature[9] = "IntelNvm";
inline constexpr std::uint32_t kTimeoutSeconds = 10;
inline constexpr std::uint32_t kControlCode = 0xF0002808;

inline constexpr std::size_t kCommandOffset = irst::kDriveAddressOffset + irst::kDriveAddressLength;
inline constexpr std::size_t kCommandDword10Offset = kCommandOffset + 10 * 4;
inline constexpr std::size_t kDataOffsetFieldOffset = 116;
inline constexpr std::size_t kDataLengthFieldOffset = 120;
inline constexpr std::size_t kDataOffset = 164;
inline constexpr std::size_t kDataLength = nvme::kIdentifyLength;

static_assert(kCommandOffset == 32);
static_assert(kCommandDword10Offset == 72);
static_assert(kDataOffset + kDataLength == kRequestSize);
static_assert(kRequestSize - 28 == 4232);

// Fills a zero-filled buffer of kRequestSize bytes with the Identify
// Controller request for the drive whose path id is pathId (only its low
// byte reaches the wire).
void writeIdentifyRequest(RequestBuffer& request, std::int64_t pathId);

}  // namespace koa::intel_nvm
