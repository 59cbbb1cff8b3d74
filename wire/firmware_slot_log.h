// The NVMe Firmware Slot Information log (Get Log Page, opcode 02h, log
// identifier 03h, 512 bytes), read through the same pass-through blocks that
// carry Identify Controller on the IRST and VROC routes. Only the command
// dwords differ from the Identify block; they are those libnvme's
// nvme_get_log_fw_slot builds:
//
//   dword  0  0x02        opcode Get Log Page
//   dword  1  0xFFFFFFFF  NSID: the controller
//   dword 10  0x007F0003  LID 03h, NUMDL 127 (128 dwords, 512 bytes)
//   others    0           (the Identify's CNS in dword 10 is replaced)
//
// The log:
//
//   OFFSET SIZE FIELD
//        0    1 AFI: bits 2:0 the active slot, bits 6:4 the slot activated
//                 at the next reset (0: none)
//    8 * n    8 FRSn, the revision in slot n (1 to 7)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "wire/byte_order.h"

namespace koa::nvme {

inline constexpr std::uint8_t kOpcodeGetLogPage = 0x02;
inline constexpr std::uint32_t kNsidController = 0xFFFFFFFF;
inline constexpr std::uint32_t kLogFirmwareSlot = 0x03;
inline constexpr std::size_t kFirmwareSlotLogLength = 512;
// NUMDL, zero-based, in bits 31:16 of dword 10.
inline constexpr std::uint32_t kFirmwareSlotLogDword10 =
    kLogFirmwareSlot | ((kFirmwareSlotLogLength / 4 - 1) << 16);
static_assert(kFirmwareSlotLogDword10 == 0x007F0003);

inline constexpr std::size_t kFirmwareSlots = 7;
inline constexpr std::size_t kSlotRevisionLength = 8;

// Turns the 16 command dwords at `commandDwords` into the Get Log Page of
// the firmware slot log.
inline void writeFirmwareSlotLogCommand(std::uint8_t* commandDwords) {
  for (std::size_t dword = 0; dword < 16; ++dword) put32(commandDwords, 4 * dword, 0);
  put32(commandDwords, 0, kOpcodeGetLogPage);
  put32(commandDwords, 4, kNsidController);
  put32(commandDwords, 40, kFirmwareSlotLogDword10);
}

struct FirmwareSlotLog {
  std::uint8_t activeSlot = 0;  // 1 to 7
  std::uint8_t nextSlot = 0;    // activated at the next reset; 0 none
  std::array<std::string, kFirmwareSlots + 1> revisions;  // by slot number; [0] unused
};

[[nodiscard]] inline FirmwareSlotLog readFirmwareSlotLog(const std::uint8_t* log) {
  FirmwareSlotLog slots;
  const std::uint8_t afi = log[0];
  slots.activeSlot = afi & 0x07;
  slots.nextSlot = (afi >> 4) & 0x07;
  for (std::size_t slot = 1; slot <= kFirmwareSlots; ++slot)
    slots.revisions[slot].assign(log + 8 * slot, log + 8 * slot + kSlotRevisionLength);
  return slots;
}

}  // namespace koa::nvme
