// The firmware slot log read (NVMe Get Log Page, LID 03h, 512 bytes) as the
// IRST and VROC drivers take it: each driver's identify block changed only
// in its command dwords. Written byte by byte from the request tables, apart
// from the system's builders and the simulator's layouts.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/support/bytes.h"

namespace koa::test {

// "IntelNvm" on the IRST controller, 4,260 bytes; the log comes back at 164.
inline std::vector<std::uint8_t> irstFirmwareSlotLogRequest(std::uint8_t pathId) {
  std::vector<std::uint8_t> bytes(4260, 0);
  putLe32(bytes, 0, 28);
  std::memcpy(bytes.data() + 4, "IntelNvm", 8);
  putLe32(bytes, 12, 10);
  putLe32(bytes, 16, 0xF0002808);
  putLe32(bytes, 24, 4260 - 28);
  bytes[28] = 1;
  bytes[29] = pathId;
  putLe32(bytes, 32, 0x02);
  putLe32(bytes, 36, 0xFFFFFFFF);
  putLe32(bytes, 72, 0x007F0003);
  putLe32(bytes, 116, 164);
  putLe32(bytes, 120, 4096);
  return bytes;
}

// "NvmeRAID" pass-through on the VROC port, 4,252 bytes, the disk id in
// ReturnCode; the log comes back at 152, the NVMe status in dword 128.
inline std::vector<std::uint8_t> vrocFirmwareSlotLogRequest(std::uint32_t diskId) {
  std::vector<std::uint8_t> bytes(4252, 0);
  putLe32(bytes, 0, 28);
  std::memcpy(bytes.data() + 4, "NvmeRAID", 8);
  putLe32(bytes, 12, 40);
  putLe32(bytes, 16, 0xE0002000);
  putLe32(bytes, 20, diskId);
  putLe32(bytes, 24, 4252 - 28);
  putLe32(bytes, 52, 0x02);
  putLe32(bytes, 56, 0xFFFFFFFF);
  putLe32(bytes, 92, 0x007F0003);
  putLe32(bytes, 132, 2);
  putLe32(bytes, 148, 4252);
  std::memset(bytes.data() + 152, 0x55, 4096);
  return bytes;
}

}  // namespace koa::test
