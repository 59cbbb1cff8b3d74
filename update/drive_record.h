// One drive as a plain value, and how it is reached.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace koa {

// How a drive is reached; selects its identify query and its transfer path.
enum class DriverKind : std::int32_t {
  IrstRaid = 1,     // member of an IRST RAID volume (candidate: the volume)
  IrstNonRaid = 2,  // another drive behind the Intel RAID controller
  Inbox = 3,        // the Windows inbox NVMe driver
  VrocRaid = 4,     // member of a VROC RAID volume
  VrocNonRaid = 5,  // a drive that the VROC driver passes through
};

// Copied whole whenever it is handed to a query or appended to a list.
struct DriveRecord {
  std::u16string devicePath;   // what is opened to reach the drive
  std::int64_t pathId = -1;    // address on the Intel RST controller; -1 when none
  DriverKind driverKind = DriverKind::Inbox;
  std::u16string modelNumber;
  std::u16string serialNumber;
  std::u16string firmwareRevision;
  std::int32_t updateGranularity = 1;  // in units of 4096 bytes
  std::int32_t vrocDiskId = 0;
  std::int32_t updateResult = 0;
  // Identify Controller VID; 0 until a drive has answered Identify.
  std::uint16_t pciVendorId = 0;
};

using DriveList = std::vector<DriveRecord>;

// A record with the defaults every discovery step starts from.
inline DriveRecord makeCandidate(DriverKind kind, std::u16string devicePath, std::int64_t pathId) {
  DriveRecord record;
  record.driverKind = kind;
  record.devicePath = std::move(devicePath);
  record.pathId = pathId;
  return record;
}

}  // namespace koa
