// Placeholder for the inbox disk until the inbox path's driver lands: the
// storage stack answers the device number; the NVMe driver answers nothing
// useful yet.
#include "platform/win_types.h"
#include "sim/drivers.h"
#include "sim/sim_bytes.h"

namespace koa::sim {

namespace {

// STORAGE_DEVICE_NUMBER: DeviceType, DeviceNumber, PartitionNumber.
constexpr std::uint32_t kStorageDeviceNumberLength = 12;
constexpr std::size_t kDeviceTypeOffset = 0;
constexpr std::size_t kDeviceNumberOffset = 4;
constexpr std::size_t kPartitionNumberOffset = 8;
constexpr std::uint32_t kFileDeviceDisk = 7;
constexpr std::uint32_t kIoctlStorageGetDeviceNumber = 0x2D1080;

class InboxDisk : public SimDevice {
 public:
  InboxDisk(nlohmann::json section, std::uint32_t deviceNumber)
      : section_(std::move(section)), deviceNumber_(deviceNumber) {}

  IoResult deviceIoControl(std::uint32_t code, std::vector<std::uint8_t>& systemBuffer, std::uint32_t /*inSize*/,
                           std::uint32_t outSize) override {
    if (code != kIoctlStorageGetDeviceNumber) return ioFailure(ERROR_INVALID_FUNCTION);
    if (outSize < kStorageDeviceNumberLength) return ioFailure(ERROR_INSUFFICIENT_BUFFER);
    setLe32(systemBuffer, kDeviceTypeOffset, kFileDeviceDisk);
    setLe32(systemBuffer, kDeviceNumberOffset, deviceNumber_);
    setLe32(systemBuffer, kPartitionNumberOffset, 0);
    return ioSuccess(kStorageDeviceNumberLength);
  }

  std::string requestKind(std::uint32_t code, std::span<const std::uint8_t> /*input*/) const override {
    return code == kIoctlStorageGetDeviceNumber ? "storage.deviceNumber" : "unknown";
  }

  nlohmann::json state() const override { return section_; }

 private:
  nlohmann::json section_;
  std::uint32_t deviceNumber_;
};

}  // namespace

std::unique_ptr<SimDevice> makeInboxDisk(const JsonField& section, const DriveTable& drives) {
  section.allowOnly({"deviceNumber", "drive"});
  const auto deviceNumber = static_cast<std::uint32_t>(section["deviceNumber"].unsignedInteger(0xFFFFFFFEu));
  if (auto drive = section.optional("drive")) (void)referencedDrive(*drive, drives);
  return std::make_unique<InboxDisk>(section.json(), deviceNumber);
}

}  // namespace koa::sim
