// Which firmware a drive activates at its next reset, read without changing
// anything: the inbox driver's firmware get-info, and on the IRST and VROC
// routes the NVMe firmware slot log through the pass-through that carries
// their Identify. A read that fails or is refused leaves the answer unknown.
#pragma once

#include <cstdint>
#include <string>

#include "update/drive_record.h"

namespace koa {

struct PendingActivation {
  bool known = false;
  std::uint8_t activeSlot = 0;
  std::uint8_t nextSlot = 0;  // activated at the next reset; 0: none
  std::u16string nextRevision;  // the revision in nextSlot
};

// vrocPort: the SCSI port at which the VROC walk found the driver (VROC drives only).
PendingActivation readPendingActivation(const DriveRecord& drive, std::int32_t vrocPort);

}  // namespace koa
