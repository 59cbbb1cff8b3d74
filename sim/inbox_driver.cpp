// A disk on the Windows storage stack and, when it is one of the NVMe
// drives, the inbox NVMe driver behind it: the device number, Identify
// Controller through the protocol-specific property query, and the
// miniport firmware interface.
#include "platform/win_types.h"
#include "sim/drivers.h"
#include "sim/inbox_firmware.h"
#include "sim/inbox_wire.h"
#include "sim/sim_bytes.h"

namespace koa::sim {

using namespace inboxwire;

namespace {

class InboxDisk : public SimDevice {
 public:
  InboxDisk(nlohmann::json section, std::uint32_t deviceNumber, std::string driveName,
            std::shared_ptr<NvmeDrive> drive, FirmwareInfoAnswer infoAnswer)
      : section_(std::move(section)),
        deviceNumber_(deviceNumber),
        driveName_(std::move(driveName)),
        drive_(std::move(drive)),
        infoAnswer_(infoAnswer) {}

  IoResult deviceIoControl(std::uint32_t code, std::vector<std::uint8_t>& systemBuffer, std::uint32_t inSize,
                           std::uint32_t outSize) override {
    switch (code) {
      case kIoctlStorageGetDeviceNumber:
        return deviceNumber(systemBuffer, outSize);
      case kIoctlStorageQueryProperty:
        if (!drive_) return ioFailure(ERROR_NOT_SUPPORTED);
        return identify(systemBuffer, inSize, outSize);
      case kIoctlScsiMiniport:
        if (!drive_) return ioFailure(ERROR_INVALID_FUNCTION);
        return answerFirmwareRequest(*drive_, infoAnswer_, systemBuffer, inSize, outSize);
      default:
        return ioFailure(ERROR_INVALID_FUNCTION);
    }
  }

  std::string requestKind(std::uint32_t code, std::span<const std::uint8_t> input) const override {
    switch (code) {
      case kIoctlStorageGetDeviceNumber:
        return "storage.deviceNumber";
      case kIoctlStorageQueryProperty:
        return "storage.identify";
      case kIoctlScsiMiniport:
        switch (firmwareFunction(input)) {
          case firmware::kFunctionGetInfo:
            return "inbox.getInfo";
          case firmware::kFunctionDownload:
            return "inbox.download";
          case firmware::kFunctionActivate:
            return "inbox.activate";
          default:
            return "unknown";
        }
      default:
        return "unknown";
    }
  }

  std::string requestDrive(std::uint32_t /*code*/, std::span<const std::uint8_t> /*input*/) const override {
    return driveName_;
  }

  nlohmann::json state() const override { return section_; }

 private:
  IoResult deviceNumber(std::vector<std::uint8_t>& buffer, std::uint32_t outSize) const {
    if (outSize < kDeviceNumberLength) return ioFailure(ERROR_INSUFFICIENT_BUFFER);
    setLe32(buffer, kDeviceType, kFileDeviceDisk);
    setLe32(buffer, kDeviceNumber, deviceNumber_);
    setLe32(buffer, kPartitionNumber, 0);
    return ioSuccess(kDeviceNumberLength);
  }

  // Only exactly the Identify Controller query is served; any other field
  // value is refused as the storage stack refuses a query it cannot take.
  IoResult identify(std::vector<std::uint8_t>& buffer, std::uint32_t inSize, std::uint32_t outSize) const {
    if (inSize != kQueryLength || outSize != kQueryLength) return ioFailure(ERROR_INVALID_PARAMETER);
    const std::span<const std::uint8_t> query(buffer.data(), inSize);
    if (le32(query, kQPropertyId) != kStorageAdapterProtocolSpecificProperty ||
        le32(query, kQQueryType) != kPropertyStandardQuery)
      return ioFailure(ERROR_NOT_SUPPORTED);
    const bool wellFormed =
        le32(query, kQProtocolType) == kProtocolTypeNvme && le32(query, kQDataType) == kNvmeDataTypeIdentify &&
        le32(query, kQRequestValue) == kIdentifyController && le32(query, kQRequestSubValue) == 0 &&
        le32(query, kQProtocolDataOffset) == kProtocolDataOffset &&
        le32(query, kQProtocolDataLength) == kIdentifyLength && allZero(query, kQHeaderRest, query.size());
    if (!wellFormed) return ioFailure(ERROR_INVALID_PARAMETER);

    const std::vector<std::uint8_t> data = drive_->identify();
    setLe32(buffer, kDescriptorVersion, kDescriptorLength);
    setLe32(buffer, kDescriptorSize, kDescriptorLength);
    std::copy(data.begin(), data.end(), buffer.begin() + static_cast<std::ptrdiff_t>(kQIdentifyData));
    return ioSuccess(kQueryLength);
  }

  nlohmann::json section_;
  std::uint32_t deviceNumber_;
  std::string driveName_;
  std::shared_ptr<NvmeDrive> drive_;
  FirmwareInfoAnswer infoAnswer_;
};

FirmwareInfoAnswer firmwareInfoAnswer(const JsonField& section) {
  FirmwareInfoAnswer answer;
  if (const auto version = section.optional("firmwareInfoVersion")) {
    answer.version = static_cast<std::uint32_t>(version->unsignedInteger(2));
    if (answer.version == 0) version->fail("expected 1 or 2");
  }
  return answer;
}

}  // namespace

std::unique_ptr<SimDevice> makeInboxDisk(const JsonField& section, const DriveTable& drives) {
  section.allowOnly({"deviceNumber", "drive", "firmwareInfoVersion"});
  const auto deviceNumber = static_cast<std::uint32_t>(section["deviceNumber"].unsignedInteger(0xFFFFFFFEu));
  std::string driveName;
  std::shared_ptr<NvmeDrive> drive;
  if (auto field = section.optional("drive")) {
    drive = referencedDrive(*field, drives);
    driveName = field->string();
  }
  if (section.has("firmwareInfoVersion") && !drive)
    section["firmwareInfoVersion"].fail("a disk without \"drive\" has no firmware");
  return std::make_unique<InboxDisk>(section.json(), deviceNumber, std::move(driveName), std::move(drive),
                                     firmwareInfoAnswer(section));
}

}  // namespace koa::sim
