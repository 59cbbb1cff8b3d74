// The VROC driver's list requests, each an "NvmeRAID" SRB_IO_CONTROL
// (wire/nvme_raid_request.h: Timeout 40, ReturnCode 0) followed by its
// payload:
//
//   request              control code  length       in                           out
//   volume count         0xE0002014    32           dword 28 = 0                 dword 28: volumes (unsigned)
//   pass-through count   0xE0002028    32           dword 28 = 0                 dword 28: drives n (signed)
//   volume information   0xE0002018    132          dword 28 = 1                 dword 128: members m (unsigned)
//   member list          0xE000201C    m*108 + 40   dword 28 = 1, 32 = m*108     m entries from 36
//   pass-through list    0xE000202C    n*108 + 36   dword 28 = n*108             n entries from 32
//
// VrocDiskEntry, 108 bytes:
//
//   OFFSET SIZE DESCRIPTION
//        0    4 disk id (vrocDiskId; the Identify request's ReturnCode field)
//        4   40 model number text
//       52  <48 serial number text, up to the first zero byte
//      100    4 path id (unsigned)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "wire/nvme_raid_request.h"
#include "wire/request_buffer.h"

namespace koa::vroc {

inline constexpr std::uint32_t kVolumeCountCode = 0xE0002014;
inline constexpr std::uint32_t kPassThroughCountCode = 0xE0002028;
inline constexpr std::uint32_t kVolumeInformationCode = 0xE0002018;
inline constexpr std::uint32_t kMemberListCode = 0xE000201C;
inline constexpr std::uint32_t kPassThroughListCode = 0xE000202C;

inline constexpr std::size_t kPayloadOffset = 28;
inline constexpr std::size_t kCountRequestLength = 32;
inline constexpr std::size_t kCountOffset = 28;
inline constexpr std::size_t kVolumeInformationLength = 132;
inline constexpr std::size_t kMemberCountOffset = 128;
inline constexpr std::uint32_t kFirstVolume = 1;
inline constexpr std::size_t kMemberListCapacityOffset = 32;
inline constexpr std::size_t kMemberEntriesOffset = 36;
inline constexpr std::size_t kMemberListOverhead = 40;
inline constexpr std::size_t kPassThroughEntriesOffset = 32;
inline constexpr std::size_t kPassThroughListOverhead = 36;

inline constexpr std::size_t kDiskEntryLength = 108;
inline constexpr std::size_t kEntryDiskIdOffset = 0;
inline constexpr std::size_t kEntryModelOffset = 4;
inline constexpr std::size_t kEntryModelLength = 40;
inline constexpr std::size_t kEntrySerialOffset = 52;
inline constexpr std::size_t kEntryPathIdOffset = 100;
// The serial text ends at its first zero byte; it is never read into the
// path id that follows it.
inline constexpr std::size_t kEntrySerialMaxLength = kEntryPathIdOffset - kEntrySerialOffset;

// The counts come from the driver. A list is never requested for more
// entries than fit in a 64 KiB answer, so a count near 2^32 can neither wrap
// the length computation into a short buffer nor ask for gigabytes.
inline constexpr std::size_t kMaxListAnswerLength = 65536;
inline constexpr std::uint32_t kMaxListEntries =
    static_cast<std::uint32_t>((kMaxListAnswerLength - kMemberListOverhead) / kDiskEntryLength);

static_assert(kMemberCountOffset + 4 == kVolumeInformationLength);
static_assert(kMemberEntriesOffset + 4 == kMemberListOverhead);
static_assert(kPassThroughEntriesOffset + 4 == kPassThroughListOverhead);
static_assert(kEntryPathIdOffset + 4 <= kDiskEntryLength);
static_assert(kMaxListEntries == 606);
static_assert(kMaxListEntries * kDiskEntryLength + kMemberListOverhead <= kMaxListAnswerLength);

// The member list's entries for a driver-reported count, bounded.
[[nodiscard]] std::uint32_t boundedMemberCount(std::uint32_t reported);
// The pass-through drives for a driver-reported count: 0 when it is not
// above 0, otherwise bounded.
[[nodiscard]] std::uint32_t boundedPassThroughCount(std::int32_t reported);

[[nodiscard]] inline std::size_t memberListLength(std::uint32_t entries) {
  return entries * kDiskEntryLength + kMemberListOverhead;
}
[[nodiscard]] inline std::size_t passThroughListLength(std::uint32_t entries) {
  return entries * kDiskEntryLength + kPassThroughListOverhead;
}

// Each builder expects a zero-filled buffer of the request's length.
void buildVolumeCount(RequestBuffer& request);
void buildPassThroughCount(RequestBuffer& request);
void buildVolumeInformation(RequestBuffer& request);
void buildMemberList(RequestBuffer& request, std::uint32_t entries);
void buildPassThroughList(RequestBuffer& request, std::uint32_t entries);

// How many whole entries from entriesOffset the answer holds: at most
// requested, and only those inside the first bytesReturned bytes of the
// buffer.
[[nodiscard]] std::uint32_t entriesInAnswer(const RequestBuffer& answer, std::size_t entriesOffset,
                                            std::uint32_t requested, std::uint32_t bytesReturned);

struct VrocDiskEntry {
  std::int32_t diskId = 0;
  std::string model;   // exactly 40 bytes
  std::string serial;  // up to the first zero byte
  std::uint32_t pathId = 0;
};

// Reads entry `index` of a list whose entries begin at entriesOffset; the
// caller has checked it with entriesInAnswer.
[[nodiscard]] VrocDiskEntry readDiskEntry(const RequestBuffer& answer, std::size_t entriesOffset,
                                          std::uint32_t index);

}  // namespace koa::vroc
