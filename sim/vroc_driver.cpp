// The Intel VROC driver on one SCSI port: the volume and pass-through counts
// and lists, and the "NvmeRAID" NVMe pass-through (Identify Controller, Get
// Log Page for the Firmware Slot Information log, Firmware Image Download,
// Firmware Commit) addressed by disk id in the ReturnCode field. Every field of every request is checked; a malformed
// request is answered as the driver answers it, with one of its status codes
// 1 to 15 in ReturnCode, or, for a command that reaches the drive with a
// field the drive does not accept, with an NVMe completion status.
#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <set>

#include "platform/win_types.h"
#include "sim/drivers.h"
#include "sim/sim_bytes.h"
#include "sim/vroc_layout.h"

namespace koa::sim {

namespace {

using namespace vroc;

struct VrocDisk {
  std::string name;  // in the description's "drives"
  std::shared_ptr<NvmeDrive> drive;
  std::uint32_t diskId = 0;
  std::uint32_t pathId = 0;
};

struct VrocVolume {
  std::vector<VrocDisk> members;
  std::optional<std::uint32_t> reportedMemberCount;
};

class VrocPort : public SimDevice {
 public:
  VrocPort(nlohmann::json section, std::vector<VrocVolume> volumes, std::vector<VrocDisk> passThrough,
           std::optional<std::int32_t> reportedPassThroughCount)
      : section_(std::move(section)),
        volumes_(std::move(volumes)),
        passThrough_(std::move(passThrough)),
        reportedPassThroughCount_(reportedPassThroughCount) {}

  IoResult deviceIoControl(std::uint32_t code, std::vector<std::uint8_t>& systemBuffer, std::uint32_t inSize,
                           std::uint32_t outSize) override {
    if (code != kIoctlScsiMiniport) return ioFailure(ERROR_INVALID_FUNCTION);
    std::span<std::uint8_t> b(systemBuffer);
    // The port driver checks the header before the driver sees the request.
    if (inSize < kHeaderBytes || le32(b, kHeaderLengthAt) != kHeaderBytes ||
        std::uint64_t{kHeaderBytes} + le32(b, kLengthAt) > std::max(inSize, outSize))
      return ioFailure(ERROR_INVALID_PARAMETER);
    if (std::memcmp(b.data() + kSignatureAt, kSignature, sizeof kSignature) != 0)
      return driverStatus(b, kInvalidSignature, outSize);
    if (le32(b, kLengthAt) != inSize - kHeaderBytes) return driverStatus(b, kInsufficientInBuffer, outSize);

    switch (le32(b, kControlCodeAt)) {
      case kVolumeCount: return answerCount(b, inSize, outSize, static_cast<std::uint32_t>(volumes_.size()));
      case kPassThroughCount: return answerCount(b, inSize, outSize, passThroughCount());
      case kVolumeInfo: return answerVolumeInfo(b, inSize, outSize);
      case kMemberList: return answerMemberList(b, inSize, outSize);
      case kPassThroughList: return answerPassThroughList(b, inSize, outSize);
      case kPassThrough: return answerPassThrough(b, inSize, outSize);
      default: return driverStatus(b, kInvalidIoctlCode, outSize);
    }
  }

  std::string requestKind(std::uint32_t code, std::span<const std::uint8_t> input) const override {
    if (code != kIoctlScsiMiniport || input.size() < kHeaderBytes) return "unknown";
    switch (le32(input, kControlCodeAt)) {
      case kVolumeCount: return "vroc.volumeCount";
      case kPassThroughCount: return "vroc.passThroughCount";
      case kVolumeInfo: return "vroc.volumeInfo";
      case kMemberList: return "vroc.memberList";
      case kPassThroughList: return "vroc.passThroughList";
      case kPassThrough:
        if (input.size() <= kCommandAt) return "unknown";
        switch (input[kCommandAt]) {
          case kAdminIdentify: return "vroc.identify";
          case kAdminGetLogPage: return "vroc.getLogPage";
          case kAdminFirmwareImageDownload: return "vroc.download";
          case kAdminFirmwareCommit: return "vroc.commit";
          default: return "unknown";
        }
      default: return "unknown";
    }
  }

  std::string requestDrive(std::uint32_t code, std::span<const std::uint8_t> input) const override {
    if (code != kIoctlScsiMiniport || input.size() < kHeaderBytes || le32(input, kControlCodeAt) != kPassThrough)
      return {};
    const VrocDisk* disk = findDisk(le32(input, kReturnCodeAt));
    return disk != nullptr ? disk->name : std::string();
  }

  nlohmann::json state() const override { return section_; }

 private:
  // A request the driver refuses: its status in ReturnCode, nothing else
  // written, only the header returned.
  static IoResult driverStatus(std::span<std::uint8_t> b, std::uint32_t status, std::uint32_t outSize) {
    setLe32(b, kReturnCodeAt, status);
    return ioSuccess(std::min(outSize, kHeaderBytes));
  }

  std::uint32_t passThroughCount() const {
    if (reportedPassThroughCount_) return static_cast<std::uint32_t>(*reportedPassThroughCount_);
    return static_cast<std::uint32_t>(passThrough_.size());
  }

  const VrocDisk* findDisk(std::uint32_t diskId) const {
    for (const auto& volume : volumes_)
      for (const auto& disk : volume.members)
        if (disk.diskId == diskId) return &disk;
    for (const auto& disk : passThrough_)
      if (disk.diskId == diskId) return &disk;
    return nullptr;
  }

  // The checks every list request shares: the same length both ways, the
  // list timeout, no target in ReturnCode.
  static std::optional<std::uint32_t> listRequestFault(std::span<const std::uint8_t> b, std::uint32_t inSize,
                                                       std::uint32_t outSize, std::uint32_t expectedSize) {
    if (inSize != expectedSize) return kInsufficientInBuffer;
    if (outSize != expectedSize) return kInsufficientOutBuffer;
    if (le32(b, kTimeoutAt) != kListTimeout) return kInvalidIoctlCode;
    if (le32(b, kReturnCodeAt) != 0) return kInvalidPathTargetId;
    return std::nullopt;
  }

  IoResult answerCount(std::span<std::uint8_t> b, std::uint32_t inSize, std::uint32_t outSize, std::uint32_t count) {
    if (auto fault = listRequestFault(b, inSize, outSize, kCountBytes)) return driverStatus(b, *fault, outSize);
    if (le32(b, kFirstPayloadAt) != 0) return driverStatus(b, kInvalidIoctlCode, outSize);
    setLe32(b, kFirstPayloadAt, count);
    return ioSuccess(kCountBytes);
  }

  // Volume numbers count from 1.
  const VrocVolume* volumeAt(std::span<const std::uint8_t> b) const {
    const std::uint32_t number = le32(b, kFirstPayloadAt);
    if (number == 0 || number > volumes_.size()) return nullptr;
    return &volumes_[number - 1];
  }

  IoResult answerVolumeInfo(std::span<std::uint8_t> b, std::uint32_t inSize, std::uint32_t outSize) {
    if (auto fault = listRequestFault(b, inSize, outSize, kVolumeInfoBytes)) return driverStatus(b, *fault, outSize);
    const VrocVolume* volume = volumeAt(b);
    if (volume == nullptr) return driverStatus(b, kInvalidPathTargetId, outSize);
    if (!allZero(b, kFirstPayloadAt + 4, kVolumeInfoBytes)) return driverStatus(b, kInvalidIoctlCode, outSize);
    setLe32(b, kMemberCountAt,
            volume->reportedMemberCount.value_or(static_cast<std::uint32_t>(volume->members.size())));
    return ioSuccess(kVolumeInfoBytes);
  }

  // Writes the disks from entriesAt into a list of `capacity` bytes of
  // entries; only as many bytes as the entries fill are returned.
  static IoResult writeList(std::span<std::uint8_t> b, std::uint32_t outSize, std::uint32_t capacity,
                            std::size_t entriesAt, std::uint32_t extra, const std::vector<VrocDisk>& disks) {
    if (disks.size() * kEntryBytes > capacity) return driverStatus(b, kInsufficientOutBuffer, outSize);
    for (std::size_t i = 0; i < disks.size(); ++i) {
      const std::size_t entry = entriesAt + i * kEntryBytes;
      setLe32(b, entry + kEntryDiskIdAt, disks[i].diskId);
      setText(b, entry + kEntryModelAt, kEntryModelBytes, disks[i].drive->modelNumber(), ' ');
      setText(b, entry + kEntrySerialAt, kEntrySerialBytes, disks[i].drive->serialNumber(), 0);
      setLe32(b, entry + kEntryPathIdAt, disks[i].pathId);
    }
    return ioSuccess(static_cast<std::uint32_t>(extra + disks.size() * kEntryBytes));
  }

  IoResult answerMemberList(std::span<std::uint8_t> b, std::uint32_t inSize, std::uint32_t outSize) {
    const std::uint32_t capacity = inSize >= kMemberListCapacityAt + 4 ? le32(b, kMemberListCapacityAt) : 0;
    if (capacity % kEntryBytes != 0 || std::uint64_t{capacity} + kMemberListExtra != inSize)
      return driverStatus(b, kInsufficientInBuffer, outSize);
    if (auto fault = listRequestFault(b, inSize, outSize, inSize)) return driverStatus(b, *fault, outSize);
    const VrocVolume* volume = volumeAt(b);
    if (volume == nullptr) return driverStatus(b, kInvalidPathTargetId, outSize);
    if (!allZero(b, kMemberEntriesAt, inSize)) return driverStatus(b, kInvalidIoctlCode, outSize);
    return writeList(b, outSize, capacity, kMemberEntriesAt, kMemberListExtra, volume->members);
  }

  IoResult answerPassThroughList(std::span<std::uint8_t> b, std::uint32_t inSize, std::uint32_t outSize) {
    const std::uint32_t capacity = inSize >= kPassThroughCapacityAt + 4 ? le32(b, kPassThroughCapacityAt) : 0;
    if (capacity % kEntryBytes != 0 || std::uint64_t{capacity} + kPassThroughListExtra != inSize)
      return driverStatus(b, kInsufficientInBuffer, outSize);
    if (auto fault = listRequestFault(b, inSize, outSize, inSize)) return driverStatus(b, *fault, outSize);
    if (!allZero(b, kPassThroughEntriesAt, inSize)) return driverStatus(b, kInvalidIoctlCode, outSize);
    return writeList(b, outSize, capacity, kPassThroughEntriesAt, kPassThroughListExtra, passThrough_);
  }

  // The checks of the pass-through block that do not depend on the command.
  static std::optional<std::uint32_t> blockFault(std::span<const std::uint8_t> b, std::uint32_t timeout,
                                                 std::uint32_t direction) {
    if (le32(b, kTimeoutAt) != timeout) return kInvalidIoctlCode;
    if (!allZero(b, kVendorSpecificAt, kCommandAt)) return kAdminVendorSpecificNotSupported;
    if (!allZero(b, kCompletionAt, kDirectionAt)) return kInvalidIoctlCode;
    if (le32(b, kQueueIdAt) != 0) return kUnsupportedNvmCmd;
    if (le32(b, kMetaBytesAt) != 0) return kInvalidMetaBufferLength;
    if (le32(b, kDirectionAt) != direction) return kInvalidDirectionSpecified;
    return std::nullopt;
  }

  // Command dwords that must be zero for every command here: 1 to 9 and 12
  // to 15 (NSID, metadata and data pointers belong to the driver).
  static bool otherDwordsZero(std::span<const std::uint8_t> b, bool dword11MayBeSet) {
    for (std::size_t n = 1; n <= 15; ++n) {
      if (n == 10 || (n == 11 && dword11MayBeSet)) continue;
      if (le32(b, commandDword(n)) != 0) return false;
    }
    return true;
  }

  IoResult complete(std::span<std::uint8_t> b, std::uint16_t status, std::uint32_t bytesReturned) {
    setLe32(b, kReturnCodeAt, kSuccess);
    for (std::size_t n = 0; n < 3; ++n) setLe32(b, completionDword(n), 0);
    setLe32(b, completionDword(3), std::uint32_t{status} << kStatusShift | kPhaseTag | nextCommandId_);
    nextCommandId_ = static_cast<std::uint16_t>(nextCommandId_ + 1);
    return ioSuccess(bytesReturned);
  }

  IoResult answerPassThrough(std::span<std::uint8_t> b, std::uint32_t inSize, std::uint32_t outSize) {
    if (inSize < kDataAt) return driverStatus(b, kInsufficientInBuffer, outSize);
    const VrocDisk* disk = findDisk(le32(b, kReturnCodeAt));
    if (disk == nullptr) return driverStatus(b, kInvalidPathTargetId, outSize);
    switch (b[kCommandAt]) {
      case kAdminIdentify: return identify(b, inSize, outSize, *disk->drive);
      case kAdminGetLogPage: return firmwareSlotLog(b, inSize, outSize, *disk->drive);
      case kAdminFirmwareImageDownload: return download(b, inSize, outSize, *disk->drive);
      case kAdminFirmwareCommit: return commit(b, inSize, outSize, *disk->drive);
      default: return driverStatus(b, kUnsupportedAdminCmd, outSize);
    }
  }

  // The block the driver reads a page of the drive with: the identify
  // timeout and lengths, data to the host.
  std::optional<std::uint32_t> readBlockFault(std::span<const std::uint8_t> b, std::uint32_t inSize,
                                              std::uint32_t outSize) const {
    if (auto fault = blockFault(b, kIdentifyTimeout, kDeviceToHost)) return fault;
    if (inSize != kIdentifyBytes || le32(b, kDataBytesAt) != 0) return kInsufficientInBuffer;
    if (outSize != kIdentifyBytes || le32(b, kReturnBytesAt) != kIdentifyBytes) return kInsufficientOutBuffer;
    return std::nullopt;
  }

  IoResult identify(std::span<std::uint8_t> b, std::uint32_t inSize, std::uint32_t outSize, const NvmeDrive& drive) {
    if (auto fault = readBlockFault(b, inSize, outSize)) return driverStatus(b, *fault, outSize);
    if (le32(b, commandDword(0)) != kAdminIdentify || le32(b, commandDword(10)) != kCnsController ||
        !otherDwordsZero(b, false))
      return complete(b, kNvmeInvalidField, kIdentifyBytes);
    const std::vector<std::uint8_t> data = drive.identify();
    std::copy(data.begin(), data.end(), b.begin() + kDataAt);
    return complete(b, kNvmeSuccess, kIdentifyBytes);
  }

  // The identify block changed only in its command: opcode 02h, NSID
  // FFFFFFFFh, LID 03h with NUMDL 127. The log's 512 bytes come back at the
  // data area; the rest of it stays as sent.
  IoResult firmwareSlotLog(std::span<std::uint8_t> b, std::uint32_t inSize, std::uint32_t outSize,
                           const NvmeDrive& drive) {
    if (auto fault = readBlockFault(b, inSize, outSize)) return driverStatus(b, *fault, outSize);
    bool wellFormed = le32(b, commandDword(0)) == kAdminGetLogPage && le32(b, commandDword(1)) == kAllNamespaces &&
                      le32(b, commandDword(10)) == kFirmwareSlotLogDword10;
    for (std::size_t n = 2; n <= 15; ++n)
      if (n != 10 && le32(b, commandDword(n)) != 0) wellFormed = false;
    if (!wellFormed) return complete(b, kNvmeInvalidField, kIdentifyBytes);
    const std::vector<std::uint8_t> log = drive.firmwareSlotLog();
    std::copy(log.begin(), log.end(), b.begin() + kDataAt);
    return complete(b, kNvmeSuccess, kIdentifyBytes);
  }

  IoResult download(std::span<std::uint8_t> b, std::uint32_t inSize, std::uint32_t outSize, NvmeDrive& drive) {
    if (auto fault = blockFault(b, kFirmwareTimeout, kHostToDevice)) return driverStatus(b, *fault, outSize);
    const std::uint32_t dataBytes = le32(b, kDataBytesAt);
    if (dataBytes == 0 || std::uint64_t{dataBytes} + kPassThroughExtra != inSize)
      return driverStatus(b, kInsufficientInBuffer, outSize);
    if (outSize != kFirmwareReturnBytes || le32(b, kReturnBytesAt) != kFirmwareReturnBytes)
      return driverStatus(b, kInsufficientOutBuffer, outSize);
    if (!allZero(b, kDataAt + dataBytes, inSize)) return driverStatus(b, kInvalidIoctlCode, outSize);
    // NUMD is zero-based and counts dwords; it must describe the data sent.
    const std::uint64_t numdBytes = (std::uint64_t{le32(b, commandDword(10))} + 1) * 4;
    if (le32(b, commandDword(0)) != kAdminFirmwareImageDownload || numdBytes != dataBytes ||
        !otherDwordsZero(b, true))
      return complete(b, kNvmeInvalidField, kFirmwareReturnBytes);
    const std::uint64_t offset = std::uint64_t{le32(b, commandDword(11))} * 4;
    const std::uint16_t status = drive.firmwareImageDownload(offset, std::span<const std::uint8_t>(b.data() + kDataAt, dataBytes));
    return complete(b, status, kFirmwareReturnBytes);
  }

  IoResult commit(std::span<std::uint8_t> b, std::uint32_t inSize, std::uint32_t outSize, NvmeDrive& drive) {
    if (auto fault = blockFault(b, kFirmwareTimeout, kHostToDevice)) return driverStatus(b, *fault, outSize);
    if (inSize != kCommitBytes || le32(b, kDataBytesAt) != 0) return driverStatus(b, kInsufficientInBuffer, outSize);
    if (outSize != kCommitBytes || le32(b, kReturnBytesAt) != kFirmwareReturnBytes)
      return driverStatus(b, kInsufficientOutBuffer, outSize);
    if (b[kDataAt] != 0) return driverStatus(b, kInvalidIoctlCode, outSize);
    const std::uint32_t dword10 = le32(b, commandDword(10));
    // Firmware slot in bits 2 to 0, commit action in bits 5 to 3; the boot
    // partition bit and the reserved bits must be clear.
    if (le32(b, commandDword(0)) != kAdminFirmwareCommit || (dword10 & ~0x3Fu) != 0 || !otherDwordsZero(b, false))
      return complete(b, kNvmeInvalidField, kFirmwareReturnBytes);
    const auto slot = static_cast<std::uint8_t>(dword10 & 0x7);
    const auto action = static_cast<std::uint8_t>((dword10 >> 3) & 0x7);
    return complete(b, drive.firmwareCommit(slot, action), kFirmwareReturnBytes);
  }

  nlohmann::json section_;
  std::vector<VrocVolume> volumes_;
  std::vector<VrocDisk> passThrough_;
  std::optional<std::int32_t> reportedPassThroughCount_;
  std::uint16_t nextCommandId_ = 0;
};

VrocDisk loadDisk(const JsonField& entry, const DriveTable& drives, std::set<std::uint32_t>& diskIds) {
  entry.allowOnly({"comment", "diskId", "pathId", "drive"});
  VrocDisk disk;
  disk.name = entry["drive"].string();
  disk.drive = referencedDrive(entry["drive"], drives);
  disk.diskId = static_cast<std::uint32_t>(entry["diskId"].unsignedInteger(0xFFFFFFFFu));
  if (!diskIds.insert(disk.diskId).second) entry["diskId"].fail("used by another disk of this port");
  disk.pathId = static_cast<std::uint32_t>(entry.unsignedOr("pathId", 0xFFFFFFFFu, 0));
  return disk;
}

}  // namespace

std::unique_ptr<SimDevice> makeVrocPort(const JsonField& section, const DriveTable& drives) {
  section.allowOnly({"comment", "volumes", "passThrough", "reportedPassThroughCount"});
  std::set<std::uint32_t> diskIds;
  std::vector<VrocVolume> volumes;
  if (auto list = section.optional("volumes"))
    for (const auto& item : list->items()) {
      item.allowOnly({"comment", "members", "reportedMemberCount"});
      VrocVolume volume;
      for (const auto& member : item["members"].items()) volume.members.push_back(loadDisk(member, drives, diskIds));
      if (auto reported = item.optional("reportedMemberCount"))
        volume.reportedMemberCount = static_cast<std::uint32_t>(reported->unsignedInteger(0xFFFFFFFFu));
      volumes.push_back(std::move(volume));
    }
  std::vector<VrocDisk> passThrough;
  if (auto list = section.optional("passThrough"))
    for (const auto& entry : list->items()) passThrough.push_back(loadDisk(entry, drives, diskIds));
  std::optional<std::int32_t> reportedPassThroughCount;
  if (auto reported = section.optional("reportedPassThroughCount"))
    reportedPassThroughCount = static_cast<std::int32_t>(
        reported->integer(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
  return std::make_unique<VrocPort>(section.json(), std::move(volumes), std::move(passThrough),
                                    reportedPassThroughCount);
}

}  // namespace koa::sim
