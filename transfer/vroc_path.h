// Drives behind the Intel VROC driver: NVMe Firmware Image Download and
// Firmware Commit through the "NvmeRAID" pass-through on the SCSI port.
#pragma once

#include <cstdint>

#include "platform/win_types.h"
#include "update/drive_record.h"
#include "update/result_code.h"

namespace koa {

// Shows the target, opens \\.\Scsi<vrocPort>: exclusively, downloads the
// image to the drive vrocDiskId and commits it to slot 2. 1602 committed (the
// new firmware runs after the next reset), 1 the download or the commit
// request failed, 5 the port cannot be opened or the commit completed with a
// nonzero status. The commit asks for activation at the next controller
// reset, so a successful one is never 0: the result says that a reboot is
// still needed, as the other paths do for a pending activation.
ResultCode updateVrocDrive(const DriveRecord& target, const std::uint32_t& imageSize,
                           std::int32_t vrocPort);

// Sends imageBuffer[0, imageSize) in pieces of updateGranularity * 4096
// bytes (the last one shorter when that does not divide imageSize) and stops
// at the first piece that fails. 0 every piece accepted (also when there was
// none), 1 otherwise.
ResultCode downloadVroc(Handle port, const DriveRecord& target, const std::uint32_t& imageSize);

// Firmware Commit, slot 2, commit action 1. 1602 committed, 1 the request
// failed at the driver, 5 a nonzero completion status.
ResultCode activateVroc(Handle port, std::int32_t vrocDiskId);

}  // namespace koa
