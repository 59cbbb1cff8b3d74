// One NVMe drive of the simulated machine, with the semantics of the NVMe
// base specification for the admin commands programs reach it with:
// Identify Controller, Get Log Page (the Firmware Slot Information log),
// Firmware Image Download and Firmware Commit. Each driver (inbox, IRST,
// VROC) maps its own interface onto these calls.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/json_field.h"
#include "sim/sha256.h"

namespace koa::sim {

// NVMe status values as SCT << 8 | SC.
inline constexpr std::uint16_t kNvmeSuccess = 0x000;
inline constexpr std::uint16_t kNvmeInvalidOpcode = 0x001;
inline constexpr std::uint16_t kNvmeInvalidField = 0x002;
inline constexpr std::uint16_t kNvmeInvalidFirmwareSlot = 0x106;
inline constexpr std::uint16_t kNvmeInvalidFirmwareImage = 0x107;
inline constexpr std::uint16_t kNvmeActivationRequiresConventionalReset = 0x10B;
inline constexpr std::uint16_t kNvmeActivationRequiresSubsystemReset = 0x110;
inline constexpr std::uint16_t kNvmeActivationRequiresControllerReset = 0x111;
inline constexpr std::uint16_t kNvmeOverlappingRange = 0x114;

// Firmware Commit actions (command dword 10 bits 5:3).
inline constexpr std::uint8_t kCommitReplace = 0;                  // replace, no activation
inline constexpr std::uint8_t kCommitReplaceActivateAtReset = 1;   // replace, activate at next reset
inline constexpr std::uint8_t kCommitActivateAtReset = 2;          // activate the slot's image at next reset
inline constexpr std::uint8_t kCommitReplaceActivateNow = 3;       // replace, activate without reset

inline constexpr std::size_t kIdentifyLength = 4096;
// Firmware Slot Information log (LID 03h): AFI in byte 0 (bits 2:0 the slot
// running, bits 6:4 the slot activated at the next reset), FRSn at 8 x n.
inline constexpr std::size_t kFirmwareSlotLogLength = 512;
// Identify Controller FRMW (byte 260), bit 4: the controller activates
// firmware without a reset. The inbox driver reads it to pick its commit.
inline constexpr std::size_t kIdentifyFrmwAt = 260;
inline constexpr std::uint8_t kFrmwActivationWithoutReset = 1u << 4;
// FWUG (Identify byte 319) counts in these units.
inline constexpr std::uint64_t kFirmwareGranularityUnit = 4096;
inline constexpr std::uint64_t kDefaultImageLength = 2097152;
// Where a firmware image carries its own revision (8 bytes).
inline constexpr std::size_t kImageRevisionOffset = 0x42;
inline constexpr std::size_t kImageRevisionLength = 8;

struct FirmwareSlot {
  std::uint8_t number = 0;  // 1 to 7
  bool readOnly = false;
  std::string revision;  // empty: the slot holds no image
};

// What the Windows firmware get-info reports (STORAGE_FIRMWARE_INFO's facts).
struct FirmwareSlotInfo {
  bool upgradeSupport = false;
  std::uint8_t activeSlot = 0;
  std::uint8_t pendingActivateSlot = 0;  // 0: none
  std::vector<FirmwareSlot> slots;
};

// Length and SHA-256 of a stream of bytes.
struct ImageFingerprint {
  std::uint64_t length = 0;
  Sha256::Digest sha256{};
};

enum class ActivationBehaviour {
  Immediate,  // Firmware Commit action 3 activates at once
  Reset,      // activation always waits for the next reset (power cycle)
};

class NvmeDrive {
 public:
  // Builds the drive from its description (see docs/simulator.md, "drives").
  // Throws DescriptionError naming the field when it is malformed.
  static NvmeDrive fromDescription(const JsonField& description);

  // Identify Controller data (CNS 1), 4,096 bytes, as the running firmware
  // reports it.
  [[nodiscard]] std::vector<std::uint8_t> identify() const;

  // The Firmware Slot Information log page, 512 bytes, as the drive stands
  // now (a pending activation shows in AFI bits 6:4).
  [[nodiscard]] std::vector<std::uint8_t> firmwareSlotLog() const;

  // Firmware Image Download of `data` at byte `offset` of the image. Returns
  // an NVMe status: pieces must be dword-aligned and non-empty; with FWUG
  // neither 0 nor 0xFF the offset and length must be multiples of FWUG x
  // 4096, except a last piece ending exactly at the expected image length; a
  // piece reaching past the expected length or overlapping an earlier piece
  // of the same download is rejected. A piece at offset 0 starts a new
  // download. Accepted bytes are staged.
  [[nodiscard]] std::uint16_t firmwareImageDownload(std::uint64_t offset, std::span<const std::uint8_t> data);

  // Firmware Commit. Returns an NVMe status. A failed commit changes nothing
  // the drive runs or holds.
  [[nodiscard]] std::uint16_t firmwareCommit(std::uint8_t slot, std::uint8_t commitAction);

  [[nodiscard]] FirmwareSlotInfo firmwareSlotInfo() const;

  // A controller reset or power cycle: a pending activation takes effect and
  // a partial download is dropped.
  void reset();

  [[nodiscard]] const std::string& serialNumber() const { return serialNumber_; }
  [[nodiscard]] const std::string& modelNumber() const { return modelNumber_; }
  [[nodiscard]] std::string runningRevision() const;
  [[nodiscard]] std::string revisionAfterReset() const;
  // What FWUG asks of download pieces, in bytes: FWUG x 4096, or nothing
  // when FWUG is 0 or 0xFF.
  [[nodiscard]] std::optional<std::uint64_t> downloadGranularity() const;
  [[nodiscard]] std::uint64_t expectedImageLength() const { return expectedImageLength_; }
  [[nodiscard]] bool activationPending() const { return pendingSlot_ != 0; }

  // Every byte accepted by Firmware Image Download, in arrival order.
  [[nodiscard]] ImageFingerprint received() const;
  // The image of the last successful replacing commit, if any.
  [[nodiscard]] std::optional<ImageFingerprint> committed() const { return committed_; }
  [[nodiscard]] std::uint32_t acceptedPieces() const { return acceptedPieces_; }
  [[nodiscard]] std::uint32_t commitCount() const { return commitCount_; }

  // The drive's description as it will be after the next reset, with
  // "received" and "committed" fingerprints; loading it gives that drive.
  [[nodiscard]] nlohmann::json stateAfterReset() const;
  // The same as the drive is now, before that reset: a pending activation
  // stays pending and the controller keeps running what it runs. A download
  // in progress is not carried (a new process starts with nothing staged).
  [[nodiscard]] nlohmann::json stateNow() const;

 private:
  NvmeDrive() = default;
  [[nodiscard]] FirmwareSlot* findSlot(std::uint8_t number);
  [[nodiscard]] const FirmwareSlot* findSlot(std::uint8_t number) const;
  [[nodiscard]] bool stagedImageWhole() const;
  void startDownload();
  [[nodiscard]] nlohmann::json stateWith(std::uint8_t active, std::uint8_t pending, const std::string& running) const;

  std::string serialNumber_;
  std::string modelNumber_;
  std::uint16_t pciVendorId_ = 0;
  std::uint16_t versionMajor_ = 1;
  std::uint8_t versionMinor_ = 3;
  std::uint8_t fwug_ = 1;
  bool upgradeSupport_ = true;
  ActivationBehaviour activation_ = ActivationBehaviour::Immediate;
  std::uint64_t expectedImageLength_ = kDefaultImageLength;
  std::vector<FirmwareSlot> slots_;
  std::uint8_t activeSlot_ = 1;
  std::uint8_t pendingSlot_ = 0;
  std::optional<std::vector<std::uint8_t>> identifyOverride_;
  std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> identifyPatches_;
  std::string initialRevision_;
  // The firmware the controller runs: replacing the image of the active slot
  // changes it only at the next activation or reset.
  std::string running_;
  std::optional<std::uint16_t> forcedCommitStatus_;
  std::uint32_t forcedCommitNth_ = 0;  // 0: every commit

  // The download in progress.
  std::vector<std::uint8_t> staged_;
  std::map<std::uint64_t, std::uint64_t> stagedRanges_;  // offset -> end
  std::uint64_t contiguousEnd_ = 0;
  bool inOrder_ = true;

  Sha256 receivedHash_;
  std::uint64_t receivedLength_ = 0;
  std::uint64_t receivedBeforeDownload_ = 0;  // receivedLength_ when the download in progress began
  std::optional<ImageFingerprint> committed_;
  std::uint32_t acceptedPieces_ = 0;
  std::uint32_t commitCount_ = 0;
};

}  // namespace koa::sim
