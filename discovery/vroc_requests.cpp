#include "discovery/vroc_requests.h"

#include <algorithm>

#include "wire/byte_order.h"

namespace koa::vroc {
namespace {

void writeHeader(RequestBuffer& request, std::uint32_t controlCode) {
  nvme_raid::writeHeader(request, nvme_raid::kListTimeout, controlCode);
}

}  // namespace

std::uint32_t boundedMemberCount(std::uint32_t reported) { return std::min(reported, kMaxListEntries); }

std::uint32_t boundedPassThroughCount(std::int32_t reported) {
  if (reported <= 0) return 0;
  return std::min(static_cast<std::uint32_t>(reported), kMaxListEntries);
}

void buildVolumeCount(RequestBuffer& request) { writeHeader(request, kVolumeCountCode); }

void buildPassThroughCount(RequestBuffer& request) { writeHeader(request, kPassThroughCountCode); }

void buildVolumeInformation(RequestBuffer& request) {
  writeHeader(request, kVolumeInformationCode);
  put32(request.data(), kPayloadOffset, kFirstVolume);
}

void buildMemberList(RequestBuffer& request, std::uint32_t entries) {
  writeHeader(request, kMemberListCode);
  put32(request.data(), kPayloadOffset, kFirstVolume);
  put32(request.data(), kMemberListCapacityOffset, static_cast<std::uint32_t>(entries * kDiskEntryLength));
}

void buildPassThroughList(RequestBuffer& request, std::uint32_t entries) {
  writeHeader(request, kPassThroughListCode);
  put32(request.data(), kPayloadOffset, static_cast<std::uint32_t>(entries * kDiskEntryLength));
}

std::uint32_t entriesInAnswer(const RequestBuffer& answer, std::size_t entriesOffset, std::uint32_t requested,
                              std::uint32_t bytesReturned) {
  const std::size_t answered = std::min<std::size_t>(bytesReturned, answer.size());
  if (answered <= entriesOffset) return 0;
  const std::size_t whole = (answered - entriesOffset) / kDiskEntryLength;
  return static_cast<std::uint32_t>(std::min<std::size_t>(whole, requested));
}

VrocDiskEntry readDiskEntry(const RequestBuffer& answer, std::size_t entriesOffset, std::uint32_t index) {
  const std::uint8_t* entry = answer.data() + entriesOffset + index * kDiskEntryLength;
  VrocDiskEntry result;
  result.diskId = static_cast<std::int32_t>(get32(entry, kEntryDiskIdOffset));
  result.model.assign(reinterpret_cast<const char*>(entry + kEntryModelOffset), kEntryModelLength);
  const std::uint8_t* serial = entry + kEntrySerialOffset;
  const std::uint8_t* serialEnd = std::find(serial, serial + kEntrySerialMaxLength, std::uint8_t{0});
  result.serial.assign(serial, serialEnd);
  result.pathId = get32(entry, kEntryPathIdOffset);
  return result;
}

}  // namespace koa::vroc
