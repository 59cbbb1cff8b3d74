// The Intel storage controller under the IRST driver, reached by the
// controller's storage-port interface path. It answers three private
// interfaces on IOCTL_SCSI_MINIPORT, each checked field by field:
//   "CSMIARY\0" control code 11: the configuration of a RAID set (CSMI);
//   "IntelNvm" 0xF0002808: NVMe Identify Controller of the drive at a path id,
//     or Get Log Page for its Firmware Slot Information log in the same block;
//   "IntelFw " 0xF0000040: firmware download (function 2) and activate (3).
// A request the port driver cannot take (wrong size, header length or
// Length) fails the call with ERROR_INVALID_PARAMETER; one the driver does
// not know fails it with ERROR_INVALID_FUNCTION; a firmware request with a
// malformed block is answered with FIRMWARE_STATUS_INVALID_PARAMETER, as the
// Windows miniport firmware interface does.
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "platform/win_types.h"
#include "sim/drivers.h"
#include "sim/irst_layout.h"
#include "sim/sim_bytes.h"

namespace koa::sim {

namespace {

using namespace irst;

constexpr std::uint32_t kErrorDevNotExist = 55;  // ERROR_DEV_NOT_EXIST

enum class Interface { None, Csmi, Nvm, Fw };

bool isGetLogPage(std::span<const std::uint8_t> request) {
  return request.size() > nvm::kCommand && request[nvm::kCommand] == nvm::kOpcodeGetLogPage;
}

Interface interfaceOf(std::span<const std::uint8_t> input) {
  if (input.size() < kHeaderBytes) return Interface::None;
  const std::string_view signature(reinterpret_cast<const char*>(input.data()) + kSignatureAt, 8);
  if (signature == std::string_view("CSMIARY\0", 8)) return Interface::Csmi;
  if (signature == "IntelNvm") return Interface::Nvm;
  if (signature == "IntelFw ") return Interface::Fw;
  return Interface::None;
}

struct AttachedDrive {
  std::string name;
  std::shared_ptr<NvmeDrive> drive;
};

class IrstController : public SimDevice {
 public:
  IrstController(nlohmann::json section, std::map<std::uint8_t, AttachedDrive> drives,
                 std::vector<std::vector<std::uint8_t>> raidSets)
      : section_(std::move(section)), drives_(std::move(drives)), raidSets_(std::move(raidSets)) {}

  IoResult deviceIoControl(std::uint32_t code, std::vector<std::uint8_t>& systemBuffer, std::uint32_t inSize,
                           std::uint32_t outSize) override {
    if (code != kIoctlScsiMiniport) return ioFailure(ERROR_INVALID_FUNCTION);
    if (!portTakesInPlace(systemBuffer, inSize, outSize)) return ioFailure(ERROR_INVALID_PARAMETER);
    std::span<std::uint8_t> request(systemBuffer.data(), inSize);

    switch (interfaceOf(request)) {
      case Interface::Csmi: return raidConfig(request);
      case Interface::Nvm: return isGetLogPage(request) ? firmwareSlotLog(request) : identify(request);
      case Interface::Fw: return firmware(request);
      case Interface::None: break;
    }
    return ioFailure(ERROR_INVALID_FUNCTION);
  }

  std::string requestKind(std::uint32_t code, std::span<const std::uint8_t> input) const override {
    if (code != kIoctlScsiMiniport || input.size() < kHeaderBytes) return "unknown";
    const std::uint32_t control = le32(input, kControlCodeAt);
    switch (interfaceOf(input)) {
      case Interface::Csmi: return control == csmi::kGetRaidConfig ? "csmi.raidConfig" : "unknown";
      case Interface::Nvm:
        if (control != nvm::kControlCode) return "unknown";
        return isGetLogPage(input) ? "irst.getLogPage" : "irst.identify";
      case Interface::Fw:
        if (control != fw::kControlCode || input.size() < fw::kData) return "unknown";
        if (le32(input, fw::kBlockAt + firmware::kFunction) == firmware::kFunctionDownload) return "irst.download";
        if (le32(input, fw::kBlockAt + firmware::kFunction) == firmware::kFunctionActivate) return "irst.activate";
        return "unknown";
      case Interface::None: break;
    }
    return "unknown";
  }

  std::string requestDrive(std::uint32_t code, std::span<const std::uint8_t> input) const override {
    const Interface kind = interfaceOf(input);
    if (code != kIoctlScsiMiniport || (kind != Interface::Nvm && kind != Interface::Fw) ||
        input.size() <= kAddressPathId)
      return {};
    const auto found = drives_.find(input[kAddressPathId]);
    return found == drives_.end() ? std::string{} : found->second.name;
  }

  nlohmann::json state() const override { return section_; }

 private:
  // CSMI: RAID set uRaidSetIndex with its drive count and as many drive
  // entries as the buffer holds (the count says how many there are).
  IoResult raidConfig(std::span<std::uint8_t> request) {
    // Every answer, a refusal too, is the whole buffer with its ReturnCode.
    const auto answer = [&request](std::uint32_t status) {
      setLe32(request, kReturnCodeAt, status);
      return ioSuccess(static_cast<std::uint32_t>(request.size()));
    };
    if (le32(request, kControlCodeAt) != csmi::kGetRaidConfig) return answer(csmi::kStatusBadControlCode);
    if (request.size() < csmi::kDrives) return answer(csmi::kStatusInvalidParameter);
    const std::uint32_t index = le32(request, csmi::kRaidSetIndex);
    if (index >= raidSets_.size()) return answer(csmi::kRaidSetOutOfRange);
    const auto& members = raidSets_[index];
    setLe8(request, csmi::kRaidType, csmi::kRaidType0);
    setLe8(request, csmi::kStatus, 0);
    setLe32(request, csmi::kStripeSize, 128);
    setLe8(request, csmi::kDriveCount, static_cast<std::uint8_t>(members.size()));
    for (std::size_t i = 0; i < members.size(); ++i) {
      const std::size_t entry = csmi::kDrives + i * csmi::kDriveEntryLength;
      if (entry + csmi::kDriveEntryLength > request.size()) break;
      const NvmeDrive& drive = *drives_.at(members[i]).drive;
      setText(request, entry + csmi::kEntryModel, 40, drive.modelNumber(), ' ');
      setText(request, entry + csmi::kEntryFirmware, 8, drive.runningRevision(), ' ');
      setText(request, entry + csmi::kEntrySerial, 40, drive.serialNumber(), ' ');
      setLe8(request, entry + csmi::kEntryPathId, members[i]);
      setLe8(request, entry + csmi::kEntryDriveStatus, 0);
      setLe8(request, entry + csmi::kEntryDriveUsage, csmi::kDriveUsageMember);
    }
    return answer(csmi::kStatusSuccess);
  }

  // The drive a well-formed drive address names, or nullptr.
  NvmeDrive* addressed(std::span<const std::uint8_t> request) const {
    if (request[kAddressFirst] != kAddressFirstValue || !allZero(request, kAddressRest, kAddressRest + 2)) return nullptr;
    const auto found = drives_.find(request[kAddressPathId]);
    return found == drives_.end() ? nullptr : found->second.drive.get();
  }

  IoResult identify(std::span<std::uint8_t> request) {
    // Identify Controller and nothing else: opcode 06h in dword 0, CNS 01h
    // in dword 10, every other dword (NSID included) zero.
    return nvmCommand(request, nvm::kOpcodeIdentify, 0, nvm::kCnsController,
                      [](const NvmeDrive& drive) { return drive.identify(); });
  }

  // The Firmware Slot Information log in the identify block, changed only in
  // its command: opcode 02h, NSID FFFFFFFFh, LID 03h with NUMDL 127. The
  // driver copies the log's 512 bytes; the rest of the data area stays as
  // sent.
  IoResult firmwareSlotLog(std::span<std::uint8_t> request) {
    return nvmCommand(request, nvm::kOpcodeGetLogPage, nvm::kAllNamespaces, nvm::kFirmwareSlotLogDword10,
                      [](const NvmeDrive& drive) { return drive.firmwareSlotLog(); });
  }

  // An "IntelNvm" block whose command dwords are exactly opcode, NSID and
  // dword 10, every other one zero; answered with `answer` at the data area.
  template <typename Answer>
  IoResult nvmCommand(std::span<std::uint8_t> request, std::uint32_t opcode, std::uint32_t nsid,
                      std::uint32_t dword10, Answer answer) {
    if (le32(request, kControlCodeAt) != nvm::kControlCode) return ioFailure(ERROR_INVALID_FUNCTION);
    if (request.size() != nvm::kData + nvm::kDataLength || le32(request, nvm::kDataOffsetField) != nvm::kData ||
        le32(request, nvm::kDataLengthField) != nvm::kDataLength)
      return ioFailure(ERROR_INVALID_PARAMETER);
    for (std::size_t dword = 0; dword < nvm::kCommandDwords; ++dword) {
      const std::uint32_t value = le32(request, nvm::kCommand + 4 * dword);
      const std::uint32_t expected = dword == 0 ? opcode : dword == 1 ? nsid : dword == 10 ? dword10 : 0;
      if (value != expected) return ioFailure(ERROR_INVALID_PARAMETER);
    }
    if (!allZero(request, nvm::kGap, nvm::kGap + nvm::kGapLength)) return ioFailure(ERROR_INVALID_PARAMETER);
    if (request[kAddressFirst] != kAddressFirstValue || !allZero(request, kAddressRest, kAddressRest + 2))
      return ioFailure(ERROR_INVALID_PARAMETER);
    NvmeDrive* drive = addressed(request);
    if (drive == nullptr) return ioFailure(kErrorDevNotExist);
    const std::vector<std::uint8_t> data = answer(*drive);
    std::copy(data.begin(), data.end(), request.begin() + nvm::kData);
    setLe32(request, kReturnCodeAt, 0);
    return ioSuccess(static_cast<std::uint32_t>(request.size()));
  }

  IoResult firmware(std::span<std::uint8_t> request) {
    if (le32(request, kControlCodeAt) != fw::kControlCode) return ioFailure(ERROR_INVALID_FUNCTION);
    if (request.size() < fw::kData) return ioFailure(ERROR_INVALID_PARAMETER);
    setLe32(request, kReturnCodeAt, firmwareStatus(request));
    return ioSuccess(static_cast<std::uint32_t>(request.size()));
  }

  std::uint32_t firmwareStatus(std::span<std::uint8_t> request) {
    NvmeDrive* drive = addressed(request);
    if (drive == nullptr || !firmware::blockWellFormed(request, fw::kBlockAt)) return firmware::kStatusInvalidParameter;
    const std::span<std::uint8_t> data = request.subspan(fw::kData);
    switch (le32(request, fw::kBlockAt + firmware::kFunction)) {
      case firmware::kFunctionDownload: return download(*drive, data);
      case firmware::kFunctionActivate: return activate(*drive, data);
      default: return firmware::kStatusIllegalRequest;
    }
  }

  // A STORAGE_FIRMWARE_DOWNLOAD_V2 for "any slot"; its image goes to the
  // drive at Offset.
  static std::uint32_t download(NvmeDrive& drive, std::span<const std::uint8_t> data) {
    using namespace firmware;
    if (data.size() < kDownloadV2Image || le32(data, kDownloadVersion) != kDownloadV2StructVersion ||
        le32(data, kDownloadSize) != kDownloadV2StructSize ||
        le64(data, kDownloadBufferSize) != data.size() - kDownloadV2Image || data[kDownloadV2Slot] != kNoSlot ||
        !allZero(data, kDownloadV2Reserved, kDownloadV2Reserved + 3))
      return kStatusInvalidParameter;
    return statusOf(drive.firmwareImageDownload(le64(data, kDownloadOffset), data.subspan(kDownloadV2Image)));
  }

  // Replaces the slot with the downloaded image and activates it; a drive
  // that can only activate at its next reset is left with the activation
  // pending, which the driver reports as a needed power cycle.
  static std::uint32_t activate(NvmeDrive& drive, std::span<const std::uint8_t> data) {
    using namespace firmware;
    if (data.size() != kActivateBytes || le32(data, kActivateVersion) != kActivateStructVersion ||
        le32(data, kActivateSize) != kActivateBytes || !allZero(data, kActivateReserved, kActivateBytes))
      return kStatusInvalidParameter;
    return commitStatusOf(drive, drive.firmwareCommit(data[kActivateSlot], kCommitReplaceActivateNow));
  }

  nlohmann::json section_;
  std::map<std::uint8_t, AttachedDrive> drives_;
  std::vector<std::vector<std::uint8_t>> raidSets_;
};

}  // namespace

std::unique_ptr<SimDevice> makeIrstController(const JsonField& section, const DriveTable& drives) {
  section.allowOnly({"drives"});
  std::map<std::uint8_t, AttachedDrive> attached;
  // RAID set index -> member path ids, in the order of "drives".
  std::map<std::uint64_t, std::vector<std::uint8_t>> sets;
  if (auto list = section.optional("drives"))
    for (const auto& entry : list->items()) {
      entry.allowOnly({"pathId", "drive", "raidSet"});
      const JsonField pathIdField = entry["pathId"];
      const auto pathId = static_cast<std::uint8_t>(pathIdField.unsignedInteger(0xFF));
      const JsonField driveField = entry["drive"];
      AttachedDrive drive{driveField.string(), referencedDrive(driveField, drives)};
      if (!attached.emplace(pathId, std::move(drive)).second)
        pathIdField.fail("another drive has the path id " + std::to_string(pathId));
      if (auto raidSet = entry.optional("raidSet")) sets[raidSet->unsignedInteger(0xFF)].push_back(pathId);
    }
  // The sets are numbered from 0 without gaps.
  std::vector<std::vector<std::uint8_t>> raidSets;
  for (auto& [index, members] : sets) {
    if (index != raidSets.size())
      section.fail("RAID set " + std::to_string(raidSets.size()) + " has no member while RAID set " +
                   std::to_string(index) + " has");
    raidSets.push_back(std::move(members));
  }
  return std::make_unique<IrstController>(section.json(), std::move(attached), std::move(raidSets));
}

}  // namespace koa::sim
