// Reading the driver's answer to a firmware get-info request: a
// STORAGE_FIRMWARE_INFO (ntddstor.h) at the DataBufferOffset the driver
// leaves in the request block, read by the layout its Version names:
//
//   OFFSET SIZE FIELD                  (from DataBufferOffset)
//        0    4 Version                1 or 2 (0 is read as 1)
//        4    4 Size
//        8    1 UpgradeSupport
//        9    1 SlotCount
//       10    1 ActiveSlot
//       11    1 PendingActivateSlot (0xFF: none)
//       16      version 1: SlotCount entries of 16 bytes
//       24      version 2: SlotCount entries of 24 bytes
//
//   slot entry: 0 SlotNumber (1), 1 ReadOnly (1), reserved bytes, and from
//   8 the revision (8 bytes in version 1, 16 in version 2).
//
// Nothing is read outside the request buffer: an answer that would place the
// information or a slot entry there is rejected, not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wire/request_buffer.h"

namespace koa::inbox {

inline constexpr std::size_t kInfoVersionOffset = 0;
inline constexpr std::size_t kInfoUpgradeSupportOffset = 8;
inline constexpr std::size_t kInfoSlotCountOffset = 9;
inline constexpr std::size_t kInfoActiveSlotOffset = 10;
inline constexpr std::size_t kInfoPendingActivateSlotOffset = 11;
inline constexpr std::uint8_t kNoPendingSlot = 0xFF;
inline constexpr std::uint32_t kInfoVersion1 = 1;  // STORAGE_FIRMWARE_INFO_STRUCTURE_VERSION
inline constexpr std::uint32_t kInfoVersion2 = 2;  // STORAGE_FIRMWARE_INFO_STRUCTURE_VERSION_V2
inline constexpr std::size_t kInfoV1SlotsOffset = 16;
inline constexpr std::size_t kInfoV1SlotLength = 16;
inline constexpr std::size_t kInfoV2SlotsOffset = 24;
inline constexpr std::size_t kInfoV2SlotLength = 24;
inline constexpr std::size_t kSlotNumberOffset = 0;
inline constexpr std::size_t kSlotReadOnlyOffset = 1;
inline constexpr std::size_t kSlotRevisionOffset = 8;

struct FirmwareSlot {
  std::uint8_t slotNumber;
  bool readOnly;
  std::string revision;  // up to its first NUL byte
};

struct FirmwareInfo {
  enum class Reading {
    Read,           // the fields below hold the answer
    InfoOutside,    // DataBufferOffset places the information outside the buffer
    UnknownVersion, // a Version other than 1 or 2
    SlotsOutside,   // SlotCount places a slot entry outside the buffer
  };
  Reading reading = Reading::InfoOutside;
  std::uint32_t dataBufferOffset = 0;
  std::uint32_t version = 0;
  std::uint8_t upgradeSupport = 0;
  std::uint8_t slotCount = 0;
  std::uint8_t activeSlot = 0;
  std::uint8_t pendingActivateSlot = kNoPendingSlot;
  std::vector<FirmwareSlot> slots;  // SlotCount entries, in order
};

// Reads the answer left in buffer by a successful get-info request.
[[nodiscard]] FirmwareInfo readFirmwareInfo(const RequestBuffer& buffer);

// The slot to activate: the first writable slot, none when the drive offers
// no upgrade, no slot, or only read-only slots.
[[nodiscard]] std::optional<std::uint8_t> chooseSlot(const FirmwareInfo& info);

}  // namespace koa::inbox
