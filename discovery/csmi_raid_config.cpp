#include "discovery/csmi_raid_config.h"

#include "wire/byte_order.h"
#include "wire/srb_io_control.h"

namespace koa::csmi {

void writeRaidConfigRequest(RequestBuffer& request) {
  srb::writeHeader(request, kSignature, kTimeoutSeconds, kControlCode);
  put32(request.data(), kRaidSetIndexOffset, 0);
}

std::size_t memberCount(const RequestBuffer& answer) {
  if (!answer.holds(kDriveCountOffset, 1)) return 0;
  const std::size_t count = get8(answer.data(), kDriveCountOffset);
  return count < kDriveEntriesHeld ? count : kDriveEntriesHeld;
}

std::int64_t memberPathId(const RequestBuffer& answer, std::size_t i) {
  const std::size_t offset = kDriveEntriesOffset + i * kDriveEntrySize + kEntryPathIdOffset;
  if (!answer.holds(offset, 1)) return -1;
  return get8(answer.data(), offset);
}

}  // namespace koa::csmi
