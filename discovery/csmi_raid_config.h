// The CSMI RAID configuration request (CSMI_SAS_RAID_CONFIG_BUFFER) that the
// IRST driver answers with the member drives of a RAID set:
//
//   OFFSET      SIZE DESCRIPTION
//        0        28 SRB_IO_CONTROL: "CSMIARY\0", timeout 30, control code 11
//                    (CC_CSMI_SAS_GET_RAID_CONFIG), Length 308
//       28         4 uRaidSetIndex, always 0
//       43         1 out: bDriveCount
//       64+136*i 136 out: drive entry i (CSMI_SAS_RAID_DRIVES), i = 0 and 1
//   64+136*i+90    1 out: bSASAddress[2] of drive i, the drive's path id
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/request_buffer.h"

namespace koa::csmi {

inline constexpr std::size_t kRequestSize = 336;
inline constexpr char kSignature[9] = "CSMIARY";  // 7 letters and a terminating zero byte
inline constexpr std::uint32_t kTimeoutSeconds = 30;
inline constexpr std::uint32_t kControlCode = 11;  // CC_CSMI_SAS_GET_RAID_CONFIG

inline constexpr std::size_t kRaidSetIndexOffset = 28;
inline constexpr std::size_t kDriveCountOffset = 43;
inline constexpr std::size_t kDriveEntriesOffset = 64;
inline constexpr std::size_t kDriveEntrySize = 136;
inline constexpr std::size_t kEntryPathIdOffset = 90;
// The 336-byte buffer holds two drive entries; a larger count is cut to them.
inline constexpr std::size_t kDriveEntriesHeld = 2;

static_assert(kDriveEntriesOffset + kDriveEntriesHeld * kDriveEntrySize == kRequestSize);

// Fills a zero-filled buffer of kRequestSize bytes with the request for
// RAID set 0.
void writeRaidConfigRequest(RequestBuffer& request);

// The number of entries of the answer that hold member drives: bDriveCount,
// at most kDriveEntriesHeld.
[[nodiscard]] std::size_t memberCount(const RequestBuffer& answer);

// The path id of member i (< memberCount), zero-extended.
[[nodiscard]] std::int64_t memberPathId(const RequestBuffer& answer, std::size_t i);

}  // namespace koa::csmi
