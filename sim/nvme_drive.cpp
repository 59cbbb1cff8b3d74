#include "sim/nvme_drive.h"

#include <algorithm>

#include "sim/sim_bytes.h"

namespace koa::sim {

namespace {

// Identify Controller data (NVMe base specification, figure "Identify
// Controller Data Structure").
constexpr std::size_t kVidOffset = 0;
constexpr std::size_t kSsvidOffset = 2;
constexpr std::size_t kSnOffset = 4;
constexpr std::size_t kSnLength = 20;
constexpr std::size_t kMnOffset = 24;
constexpr std::size_t kMnLength = 40;
constexpr std::size_t kFrOffset = 64;
constexpr std::size_t kFrLength = 8;
constexpr std::size_t kVerMinorOffset = 81;
constexpr std::size_t kVerMajorOffset = 82;
constexpr std::size_t kOacsOffset = 256;
constexpr std::size_t kFwugOffset = 319;
constexpr std::size_t kSqesOffset = 512;
constexpr std::size_t kCqesOffset = 513;
constexpr std::size_t kNnOffset = 516;
static_assert(kFrOffset + kFrLength == 72 && kMnOffset + kMnLength == kFrOffset && kSnOffset + kSnLength == kMnOffset);

constexpr std::uint16_t kOacsFirmwareCommands = 1u << 2;
constexpr std::uint8_t kFrmwSlot1ReadOnly = 1u << 0;
constexpr std::uint8_t kFwugNoRestriction = 0xFF;
constexpr std::size_t kMaxSlots = 7;

bool isResetRequiredStatus(std::uint16_t status) {
  return status == kNvmeActivationRequiresConventionalReset || status == kNvmeActivationRequiresSubsystemReset ||
         status == kNvmeActivationRequiresControllerReset;
}

std::string textOfLength(const JsonField& field, std::size_t maxLength) {
  const std::string text = field.string();
  if (text.size() > maxLength) field.fail("longer than " + std::to_string(maxLength) + " characters");
  return text;
}

nlohmann::json fingerprintJson(const ImageFingerprint& fingerprint) {
  return {{"length", fingerprint.length}, {"sha256", toHex(fingerprint.sha256)}};
}

}  // namespace

NvmeDrive NvmeDrive::fromDescription(const JsonField& d) {
  d.allowOnly({"serialNumber", "modelNumber", "firmwareRevision", "pciVendorId", "version", "fwug", "upgradeSupport",
               "activation", "expectedImageLength", "slots", "activeSlot", "pendingSlot",
               "activeSlotReplaced", "identifyHex", "identifyPatches",
               "commitStatus", "received", "committed"});
  NvmeDrive drive;
  drive.serialNumber_ = textOfLength(d["serialNumber"], kSnLength);
  drive.modelNumber_ = textOfLength(d["modelNumber"], kMnLength);
  const JsonField revisionField = d["firmwareRevision"];
  const std::string revision = textOfLength(revisionField, kFrLength);
  drive.pciVendorId_ = static_cast<std::uint16_t>(d.unsignedOr("pciVendorId", 0xFFFF, 0));
  if (auto version = d.optional("version")) {
    version->allowOnly({"major", "minor"});
    drive.versionMajor_ = static_cast<std::uint16_t>((*version)["major"].unsignedInteger(0xFFFF));
    drive.versionMinor_ = static_cast<std::uint8_t>((*version)["minor"].unsignedInteger(0xFF));
  }
  drive.fwug_ = static_cast<std::uint8_t>(d.unsignedOr("fwug", 0xFF, 1));
  drive.upgradeSupport_ = d.booleanOr("upgradeSupport", true);
  const std::string activation = d.stringOr("activation", "immediate");
  if (activation == "immediate")
    drive.activation_ = ActivationBehaviour::Immediate;
  else if (activation == "reset")
    drive.activation_ = ActivationBehaviour::Reset;
  else
    d["activation"].fail("expected \"immediate\" or \"reset\"");
  drive.expectedImageLength_ = d.unsignedOr("expectedImageLength", 1ull << 32, kDefaultImageLength);
  if (drive.expectedImageLength_ == 0 || drive.expectedImageLength_ % 4 != 0)
    d["expectedImageLength"].fail("expected a positive multiple of 4");

  if (auto slots = d.optional("slots")) {
    const auto items = slots->items();
    if (items.empty() || items.size() > kMaxSlots) slots->fail("expected 1 to 7 slots");
    for (std::size_t i = 0; i < items.size(); ++i) {
      const JsonField& item = items[i];
      item.allowOnly({"number", "readOnly", "revision"});
      FirmwareSlot slot;
      slot.number = static_cast<std::uint8_t>(item["number"].unsignedInteger(kMaxSlots));
      if (slot.number != i + 1) item["number"].fail("slots must be numbered 1, 2, ... in order");
      slot.readOnly = item.booleanOr("readOnly", false);
      if (auto slotRevision = item.optional("revision")) slot.revision = textOfLength(*slotRevision, kFrLength);
      drive.slots_.push_back(slot);
    }
    drive.activeSlot_ = static_cast<std::uint8_t>(d.unsignedOr("activeSlot", kMaxSlots, 1));
    const FirmwareSlot* active = drive.findSlot(drive.activeSlot_);
    if (active == nullptr) d["activeSlot"].fail("no such slot in \"slots\"");
    // A commit may replace the active slot's image while the controller
    // keeps running the old one until its next reset; the description says
    // so outright, so that a mistyped revision is still caught.
    if (d.booleanOr("activeSlotReplaced", false)) {
      if (active->revision == revision)
        d["activeSlotReplaced"].fail("the active slot holds the running revision (\"" + revision + "\")");
    } else if (active->revision != revision) {
      revisionField.fail("differs from the revision of the active slot (\"" + active->revision + "\")");
    }
  } else {
    if (d.has("activeSlot") && d["activeSlot"].unsignedInteger(kMaxSlots) != 1)
      d["activeSlot"].fail("no such slot (without \"slots\" the drive has slot 1 only)");
    if (d.booleanOr("activeSlotReplaced", false))
      d["activeSlotReplaced"].fail("without \"slots\" slot 1 holds the running revision");
    drive.slots_.push_back(FirmwareSlot{1, false, revision});
    drive.activeSlot_ = 1;
  }
  // An activation the next reset carries out; loading applies no reset.
  if (auto pending = d.optional("pendingSlot")) {
    drive.pendingSlot_ = static_cast<std::uint8_t>(pending->unsignedInteger(kMaxSlots));
    const FirmwareSlot* slot = drive.findSlot(drive.pendingSlot_);
    if (slot == nullptr) pending->fail("no such slot in \"slots\"");
    if (slot->revision.empty()) pending->fail("the slot holds no image");
  }
  drive.initialRevision_ = revision;
  drive.running_ = revision;

  if (auto raw = d.optional("identifyHex")) {
    auto bytes = raw->hexBytes();
    if (bytes.size() > kIdentifyLength) raw->fail("more than 4096 bytes");
    bytes.resize(kIdentifyLength, 0);
    drive.identifyOverride_ = std::move(bytes);
  }
  if (auto patches = d.optional("identifyPatches")) {
    for (const auto& patch : patches->items()) {
      patch.allowOnly({"offset", "hex"});
      const auto offset = static_cast<std::size_t>(patch["offset"].unsignedInteger(kIdentifyLength - 1));
      auto bytes = patch["hex"].hexBytes();
      if (offset + bytes.size() > kIdentifyLength) patch["hex"].fail("reaches past byte 4095 of the identify data");
      drive.identifyPatches_.emplace_back(offset, std::move(bytes));
    }
  }
  if (auto forced = d.optional("commitStatus")) {
    forced->allowOnly({"status", "nth"});
    drive.forcedCommitStatus_ = static_cast<std::uint16_t>((*forced)["status"].unsignedInteger(0x7FFF));
    // A commit that completes successfully has committed the image; a drive
    // that says so and keeps its old firmware is not one NVMe describes.
    if (*drive.forcedCommitStatus_ == 0)
      (*forced)["status"].fail("a forced status is not 0 (a successful commit commits the image)");
    drive.forcedCommitNth_ = static_cast<std::uint32_t>(forced->unsignedOr("nth", 0xFFFFFFFFu, 0));
  }
  // "received" and "committed" are what a state file reports of the last
  // run; a new run starts with nothing received.
  for (const char* report : {"received", "committed"})
    if (auto field = d.optional(report)) {
      field->allowOnly({"length", "sha256"});
      (void)(*field)["length"].unsignedInteger(~0ull);
      if ((*field)["sha256"].hexBytes().size() != 32) (*field)["sha256"].fail("expected 64 hex digits");
    }
  return drive;
}

FirmwareSlot* NvmeDrive::findSlot(std::uint8_t number) {
  for (auto& slot : slots_)
    if (slot.number == number) return &slot;
  return nullptr;
}

const FirmwareSlot* NvmeDrive::findSlot(std::uint8_t number) const {
  for (const auto& slot : slots_)
    if (slot.number == number) return &slot;
  return nullptr;
}

std::string NvmeDrive::runningRevision() const { return running_; }

std::string NvmeDrive::revisionAfterReset() const {
  return findSlot(pendingSlot_ != 0 ? pendingSlot_ : activeSlot_)->revision;
}

std::vector<std::uint8_t> NvmeDrive::identify() const {
  std::vector<std::uint8_t> data;
  const std::string running = runningRevision();
  if (identifyOverride_) {
    data = *identifyOverride_;
    // The raw data stands as given until the drive runs other firmware.
    if (running != initialRevision_) setText(data, kFrOffset, kFrLength, running, ' ');
  } else {
    data.assign(kIdentifyLength, 0);
    setLe16(data, kVidOffset, pciVendorId_);
    setLe16(data, kSsvidOffset, pciVendorId_);
    setText(data, kSnOffset, kSnLength, serialNumber_, ' ');
    setText(data, kMnOffset, kMnLength, modelNumber_, ' ');
    setText(data, kFrOffset, kFrLength, running, ' ');
    setLe8(data, kVerMinorOffset, versionMinor_);
    setLe16(data, kVerMajorOffset, versionMajor_);
    setLe16(data, kOacsOffset, upgradeSupport_ ? kOacsFirmwareCommands : 0);
    std::uint8_t frmw = static_cast<std::uint8_t>(slots_.size() << 1);
    if (slots_.front().readOnly) frmw |= kFrmwSlot1ReadOnly;
    if (activation_ == ActivationBehaviour::Immediate) frmw |= kFrmwActivationWithoutReset;
    setLe8(data, kIdentifyFrmwAt, frmw);
    setLe8(data, kFwugOffset, fwug_);
    setLe8(data, kSqesOffset, 0x66);
    setLe8(data, kCqesOffset, 0x44);
    setLe32(data, kNnOffset, 1);
  }
  for (const auto& [offset, bytes] : identifyPatches_) std::copy(bytes.begin(), bytes.end(), data.begin() + offset);
  return data;
}

void NvmeDrive::startDownload() {
  staged_.assign(expectedImageLength_, 0);
  receivedBeforeDownload_ = receivedLength_;
  stagedRanges_.clear();
  contiguousEnd_ = 0;
  inOrder_ = true;
}

std::uint16_t NvmeDrive::firmwareImageDownload(std::uint64_t offset, std::span<const std::uint8_t> data) {
  if (!upgradeSupport_) return kNvmeInvalidOpcode;
  const std::uint64_t length = data.size();
  if (length == 0 || length % 4 != 0 || offset % 4 != 0) return kNvmeInvalidField;
  if (offset > expectedImageLength_ || length > expectedImageLength_ - offset) return kNvmeInvalidField;
  const std::uint64_t end = offset + length;
  if (const auto granule = downloadGranularity()) {
    if (offset % *granule != 0) return kNvmeInvalidField;
    if (length % *granule != 0 && end != expectedImageLength_) return kNvmeInvalidField;
  }
  if (offset == 0 || staged_.empty()) startDownload();
  // An earlier piece of this download that the new one overlaps.
  auto after = stagedRanges_.upper_bound(offset);
  if (after != stagedRanges_.end() && after->first < end) return kNvmeOverlappingRange;
  if (after != stagedRanges_.begin() && std::prev(after)->second > offset) return kNvmeOverlappingRange;

  std::copy(data.begin(), data.end(), staged_.begin() + static_cast<std::ptrdiff_t>(offset));
  stagedRanges_[offset] = end;
  if (offset == contiguousEnd_)
    contiguousEnd_ = end;
  else
    inOrder_ = false;
  receivedHash_.update(data);
  receivedLength_ += length;
  ++acceptedPieces_;
  return kNvmeSuccess;
}

std::optional<std::uint64_t> NvmeDrive::downloadGranularity() const {
  if (fwug_ == 0 || fwug_ == kFwugNoRestriction) return std::nullopt;
  return fwug_ * kFirmwareGranularityUnit;
}

bool NvmeDrive::stagedImageWhole() const {
  return !staged_.empty() && inOrder_ && contiguousEnd_ == expectedImageLength_;
}

std::uint16_t NvmeDrive::firmwareCommit(std::uint8_t slot, std::uint8_t commitAction) {
  ++commitCount_;
  if (!upgradeSupport_) return kNvmeInvalidOpcode;
  std::optional<std::uint16_t> forced;
  if (forcedCommitStatus_ && (forcedCommitNth_ == 0 || forcedCommitNth_ == commitCount_)) forced = forcedCommitStatus_;
  if (forced && !isResetRequiredStatus(*forced)) return *forced;
  if (commitAction > kCommitReplaceActivateNow) return kNvmeInvalidField;

  const bool replaces = commitAction != kCommitActivateAtReset;
  if (slot == 0 && replaces) {
    // The controller chooses: the first slot it may write.
    for (const auto& candidate : slots_)
      if (!candidate.readOnly) {
        slot = candidate.number;
        break;
      }
  }
  FirmwareSlot* target = findSlot(slot);
  if (target == nullptr || (replaces && target->readOnly)) return kNvmeInvalidFirmwareSlot;

  if (replaces) {
    if (!stagedImageWhole()) return kNvmeInvalidFirmwareImage;
    target->revision.assign(reinterpret_cast<const char*>(staged_.data()) + kImageRevisionOffset,
                            kImageRevisionLength);
    // A whole image came in order, so when it is all this run received, the
    // received fingerprint is the image's: hashing it again would double the
    // simulator's cost of every update.
    committed_ = ImageFingerprint{expectedImageLength_, receivedBeforeDownload_ == 0
                                                            ? receivedHash_.digest()
                                                            : sha256(staged_)};
    // Consumed: released, not just emptied, so that a machine of many drives
    // holds only the downloads still in progress.
    staged_ = std::vector<std::uint8_t>();
    stagedRanges_.clear();
    contiguousEnd_ = 0;
  } else if (target->revision.empty()) {
    return kNvmeInvalidFirmwareImage;
  }

  const bool now = commitAction == kCommitReplaceActivateNow && activation_ == ActivationBehaviour::Immediate && !forced;
  if (now) {
    activeSlot_ = slot;
    running_ = target->revision;
    pendingSlot_ = 0;
  } else if (commitAction != kCommitReplace) {
    pendingSlot_ = slot;
  }
  return forced ? *forced : kNvmeSuccess;
}

FirmwareSlotInfo NvmeDrive::firmwareSlotInfo() const {
  return FirmwareSlotInfo{upgradeSupport_, activeSlot_, pendingSlot_, slots_};
}

void NvmeDrive::reset() {
  if (pendingSlot_ != 0) activeSlot_ = std::exchange(pendingSlot_, 0);
  // The controller loads the active slot's image, which a commit may have
  // replaced while the old firmware kept running.
  running_ = findSlot(activeSlot_)->revision;
  staged_ = std::vector<std::uint8_t>();
  stagedRanges_.clear();
  contiguousEnd_ = 0;
  inOrder_ = true;
}

ImageFingerprint NvmeDrive::received() const { return ImageFingerprint{receivedLength_, receivedHash_.digest()}; }

std::vector<std::uint8_t> NvmeDrive::firmwareSlotLog() const {
  std::vector<std::uint8_t> log(kFirmwareSlotLogLength, 0);
  setLe8(log, 0, static_cast<std::uint8_t>((activeSlot_ & 0x7) | (pendingSlot_ & 0x7) << 4));
  for (const auto& slot : slots_)
    if (!slot.revision.empty()) setText(log, kFrLength * slot.number, kFrLength, slot.revision, ' ');
  return log;
}

nlohmann::json NvmeDrive::stateAfterReset() const {
  const std::uint8_t active = pendingSlot_ != 0 ? pendingSlot_ : activeSlot_;
  return stateWith(active, 0, findSlot(active)->revision);
}

nlohmann::json NvmeDrive::stateNow() const { return stateWith(activeSlot_, pendingSlot_, running_); }

nlohmann::json NvmeDrive::stateWith(std::uint8_t active, std::uint8_t pending, const std::string& running) const {
  nlohmann::json state = {
      {"serialNumber", serialNumber_},
      {"modelNumber", modelNumber_},
      {"firmwareRevision", running},
      {"pciVendorId", pciVendorId_},
      {"version", {{"major", versionMajor_}, {"minor", versionMinor_}}},
      {"fwug", fwug_},
      {"upgradeSupport", upgradeSupport_},
      {"activation", activation_ == ActivationBehaviour::Immediate ? "immediate" : "reset"},
      {"expectedImageLength", expectedImageLength_},
      {"activeSlot", active},
  };
  if (pending != 0) state["pendingSlot"] = pending;
  if (findSlot(active)->revision != running) state["activeSlotReplaced"] = true;
  nlohmann::json slots = nlohmann::json::array();
  for (const auto& slot : slots_) {
    nlohmann::json entry = {{"number", slot.number}, {"readOnly", slot.readOnly}};
    if (!slot.revision.empty()) entry["revision"] = slot.revision;
    slots.push_back(entry);
  }
  state["slots"] = slots;
  if (identifyOverride_) {
    NvmeDrive described = *this;
    described.activeSlot_ = active;
    described.running_ = running;
    described.pendingSlot_ = pending;
    described.identifyPatches_.clear();
    state["identifyHex"] = toHex(described.identify());
  }
  if (!identifyPatches_.empty()) {
    nlohmann::json patches = nlohmann::json::array();
    for (const auto& [offset, bytes] : identifyPatches_) patches.push_back({{"offset", offset}, {"hex", toHex(bytes)}});
    state["identifyPatches"] = patches;
  }
  if (forcedCommitStatus_) {
    state["commitStatus"] = {{"status", *forcedCommitStatus_}};
    if (forcedCommitNth_ != 0) state["commitStatus"]["nth"] = forcedCommitNth_;
  }
  state["received"] = fingerprintJson(received());
  if (committed_) state["committed"] = fingerprintJson(*committed_);
  return state;
}

}  // namespace koa::sim
