// A scriptable drive behind the fake platform's inbox driver, for the unit
// tests of the inbox path: answers Identify and the three firmware functions
// by the offsets of the request tables, as literals.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/win_types.h"
#include "tests/inbox/fake_platform.h"
#include "tests/inbox/wire.h"

namespace koa::test::inbox {

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

  void install(FakePlatform& platform) {
    platform.answer = [this](std::uint32_t code, std::uint8_t* buffer, std::uint32_t size) {
      return handle(code, buffer, size);
    };
  }

  std::uint32_t handle(std::uint32_t code, std::uint8_t* buffer, std::uint32_t size) {
    if (code == IOCTL_STORAGE_QUERY_PROPERTY) {
      if (identifyError != 0) return identifyError;
      if (identify) identify(buffer + 48);
      return 0;
    }
    if (code != IOCTL_SCSI_MINIPORT || size < 52) return ERROR_INVALID_PARAMETER;
    std::uint32_t function = 0;
    for (int i = 3; i >= 0; --i) function = function * 256 + buffer[36 + i];
    if (function == 1) {
      if (getInfoError != 0) return getInfoError;
      putLe(buffer, 20, getInfoStatus, 4);
      putLe(buffer, 44, infoOffset, 4);
      if (std::uint64_t{infoOffset} + 16 > size) return 0;
      putLe(buffer, infoOffset, infoVersion, 4);
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
        putLe(buffer, 20, pieceStatus, 4);
      }
      return 0;
    }
    if (function == 3) {
      if (activateError != 0) return activateError;
      putLe(buffer, 20, activateStatus, 4);
      return 0;
    }
    return ERROR_INVALID_PARAMETER;
  }
};

}  // namespace koa::test::inbox
