// The three storage drivers of the simulated machine, as factories that the
// machine calls while loading a description. Each takes its section of the
// description (with its JSON path, for errors) and the machine's drives,
// and returns what a handle opened on that device reaches. A malformed
// section throws DescriptionError naming the field (JsonField's accessors
// do so); a reference to a drive not in `drives` is such an error too.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "sim/json_field.h"
#include "sim/nvme_drive.h"
#include "sim/sim_device.h"

namespace koa::sim {

// The machine's NVMe drives by name. Drivers share them with the machine,
// which writes their final state.
using DriveTable = std::map<std::string, std::shared_ptr<NvmeDrive>>;

// A disk on the Windows storage stack ("disk" section of a device node):
// its "deviceNumber" and, optionally, the "drive" that the inbox NVMe
// driver presents as this disk. Reached by the disk's interface path and by
// \\.\PHYSICALDRIVE<deviceNumber>.
std::unique_ptr<SimDevice> makeInboxDisk(const JsonField& section, const DriveTable& drives);

// The Intel controller's storage-port interface under the IRST driver
// ("irst" section of a device node): drives by path id, RAID set 0
// membership and the CSMI drive entries.
std::unique_ptr<SimDevice> makeIrstController(const JsonField& section, const DriveTable& drives);

// The VROC driver on a SCSI port \\.\Scsi<n>: ("vroc" section of a SCSI
// port): RAID volumes with their members and pass-through drives, each with
// its VROC disk id.
std::unique_ptr<SimDevice> makeVrocPort(const JsonField& section, const DriveTable& drives);

// Looks `field` (a string) up in `drives`; throws DescriptionError naming
// the field when there is no such drive.
std::shared_ptr<NvmeDrive> referencedDrive(const JsonField& field, const DriveTable& drives);

}  // namespace koa::sim
