// What the inbox path's unit tests share: a target record and a recognisable
// image.
#pragma once

#include <cstdint>
#include <vector>

#include "transfer/firmware_image.h"
#include "update/drive_record.h"

namespace koa::test::inbox {

inline DriveRecord inboxTarget(std::int32_t granularity = 1) {
  DriveRecord target = makeCandidate(DriverKind::Inbox, u"\\\\.\\PHYSICALDRIVE1", -1);
  target.modelNumber = u"TORVALE NVME SSD 1TB";
  target.serialNumber = u"S0TEST0001";
  target.firmwareRevision = u"GXB3LTMW";
  target.updateGranularity = granularity;
  return target;
}

// Every 4 KiB block of the image differs from the others and from its
// neighbours' bytes, so a piece taken from the wrong offset shows.
inline void fillImageWithPattern() {
  for (std::uint32_t i = 0; i < kImageSize; ++i)
    imageBuffer[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 12) ^ (i >> 20));
  imageRevision = u"GXB4LTMW";
}

inline bool carriesImageBytes(const std::vector<std::uint8_t>& request, std::size_t from, std::uint32_t offset,
                              std::uint32_t length) {
  if (request.size() < from + length) return false;
  for (std::uint32_t i = 0; i < length; ++i)
    if (request[from + i] != imageBuffer[offset + i]) return false;
  return true;
}

}  // namespace koa::test::inbox
