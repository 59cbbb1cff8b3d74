// A scriptable drive behind the inbox driver, for the unit tests of the
// inbox path: answers Identify and the three firmware functions by the
// offsets of the request tables, as literals; and the record those tests
// update.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win_types.h"
#include "tests/support/bytes.h"
#include "tests/support/scripted_platform.h"
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

struct FakeFirmwareDrive {
  struct Slot {
    std::uint8_t number;
    bool readOnly;
  };
  std::uint32_t infoVersion = 1;
  std::uint8_t upgradeSupport = 1;
  std::vector<Slot> slots{{1, false}};
  std::uint32_t infoOffset = 52;            // DataBufferOffset left after get info
  std::uint32_t getInfoError = 0;           // fail the call with this error
  std::uint32_t getInfoStatus = 0;          // ReturnCode after get info
  int failingPiece = -1;                    // the download (0-based) that fails ...
  std::uint32_t pieceError = 0;             // ... with this error, or else
  std::uint32_t pieceStatus = 0;            // ... with this ReturnCode
  std::uint32_t activateError = 0;
  std::uint32_t activateStatus = 0;
  std::function<void(std::uint8_t* identify)> identify;  // fills the 4,096 bytes
  std::uint32_t identifyError = 0;

  int pieces = 0;

  void install(ScriptedPlatform& platform) {
    platform.answer = [this](const IoCall& call, std::uint8_t* buffer, std::uint32_t&) {
      return handle(call, buffer);
    };
  }

  std::uint32_t handle(const IoCall& call, std::uint8_t* buffer) {
    // Both requests are answered in the buffer that carried them.
    if (!call.sameBuffer || call.inSize != call.outSize) return ERROR_INVALID_FUNCTION;
    const std::uint32_t size = call.outSize;
    if (call.code == IOCTL_STORAGE_QUERY_PROPERTY) {
      if (identifyError != 0) return identifyError;
      if (identify) identify(buffer + 48);
      return 0;
    }
    if (call.code != IOCTL_SCSI_MINIPORT || size < 52) return ERROR_INVALID_PARAMETER;
    const std::uint32_t function = le32(call.input, 36);
    if (function == 1) {
      if (getInfoError != 0) return getInfoError;
      putLe32(buffer, 20, getInfoStatus);
      putLe32(buffer, 44, infoOffset);
      if (std::uint64_t{infoOffset} + 16 > size) return 0;
      putLe32(buffer, infoOffset, infoVersion);
      buffer[infoOffset + 8] = upgradeSupport;
      buffer[infoOffset + 9] = static_cast<std::uint8_t>(slots.size());
      const std::uint32_t first = infoVersion == 2 ? 24 : 16;
      const std::uint32_t length = infoVersion == 2 ? 24 : 16;
      for (std::size_t i = 0; i < slots.size(); ++i) {
        const std::uint64_t entry = std::uint64_t{infoOffset} + first + i * length;
        if (entry + 2 > size) break;
        buffer[entry] = slots[i].number;
        buffer[entry + 1] = slots[i].readOnly ? 1 : 0;
      }
      return 0;
    }
    if (function == 2) {
      const int index = pieces++;
      if (index == failingPiece) {
        if (pieceError != 0) return pieceError;
        putLe32(buffer, 20, pieceStatus);
      }
      return 0;
    }
    if (function == 3) {
      if (activateError != 0) return activateError;
      putLe32(buffer, 20, activateStatus);
      return 0;
    }
    return ERROR_INVALID_PARAMETER;
  }
};

// Every inbox open asks for reading and writing, shared, of an existing
// device, without flags.
inline void expectInboxOpens(const ScriptedPlatform& platform) {
  for (const OpenCall& open : platform.opens) {
    EXPECT_EQ(open.access, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(open.shareMode, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(open.disposition, OPEN_EXISTING);
    EXPECT_EQ(open.flags, 0u);
  }
}

}  // namespace koa::test::inbox
