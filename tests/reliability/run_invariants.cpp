#include "tests/reliability/run_invariants.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <sstream>

#include "sim/inbox_wire.h"
#include "sim/irst_layout.h"
#include "sim/sha256.h"
#include "sim/sim_bytes.h"
#include "sim/srb_io_control_layout.h"
#include "sim/vroc_layout.h"
#include "transfer/firmware_image.h"

namespace koa::reliability {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::isActivationRequest;
using test::RecordedRequest;

// The SRB_IO_CONTROL ReturnCode, common to every driver-private request.
using sim::srb::kReturnCodeAt;

struct Piece {
  std::uint64_t offset = 0;
  std::span<const std::uint8_t> data;
};

// Where a download request carries its piece, read with the simulator's own
// layout constants. nullopt when the request is too short to hold one.
std::optional<Piece> pieceOf(const std::string& kind, const Bytes& input) {
  if (kind == "inbox.download") {
    namespace w = sim::inboxwire;
    const std::size_t image = w::kFunctionData + sim::firmware::kDownloadImage;
    if (input.size() < image) return std::nullopt;
    return Piece{sim::le64(input, w::kFunctionData + sim::firmware::kDownloadOffset),
                 std::span<const std::uint8_t>(input).subspan(image)};
  }
  if (kind == "irst.download") {
    namespace fw = sim::irst::fw;
    const std::size_t image = fw::kData + sim::firmware::kDownloadV2Image;
    if (input.size() < image) return std::nullopt;
    return Piece{sim::le64(input, fw::kData + sim::firmware::kDownloadOffset),
                 std::span<const std::uint8_t>(input).subspan(image)};
  }
  if (kind == "vroc.download") {
    namespace v = sim::vroc;
    if (input.size() < v::kDataAt) return std::nullopt;
    const std::uint32_t length = sim::le32(input, v::kDataBytesAt);
    if (length > input.size() - v::kDataAt) return std::nullopt;
    return Piece{std::uint64_t{sim::le32(input, v::commandDword(11))} * 4,
                 std::span<const std::uint8_t>(input).subspan(v::kDataAt, length)};
  }
  return std::nullopt;
}

// Whether the request succeeded as the program sees it: the call, the
// driver's ReturnCode and, for the VROC pass-through, the NVMe status.
bool succeeded(const RecordedRequest& request) {
  if (!request.succeeded) return false;
  const Bytes& output = request.output;
  if (output.size() >= kReturnCodeAt + 4 && sim::le32(output, kReturnCodeAt) != 0) return false;
  if (request.kind.rfind("vroc.", 0) == 0 && output.size() >= sim::vroc::completionDword(3) + 4 &&
      (sim::le32(output, sim::vroc::completionDword(3)) >> sim::vroc::kStatusShift) != 0)
    return false;
  return true;
}

// The log's per-drive Return Codes by serial number, in order.
struct Reported {
  std::string serial;
  long code = 0;
};
std::vector<Reported> reportedDrives(const std::string& log) {
  std::vector<Reported> drives;
  std::istringstream lines(log);
  std::string line;
  bool inDisk = false;
  while (std::getline(lines, line)) {
    if (line.rfind("[Disk #", 0) == 0) {
      inDisk = true;
      drives.push_back({});
    } else if (line.rfind("[", 0) == 0) {
      inDisk = false;
    } else if (inDisk && line.rfind("Serial Number : ", 0) == 0) {
      drives.back().serial = line.substr(16);
    } else if (inDisk && line.rfind("Return Code : ", 0) == 0) {
      drives.back().code = std::stol(line.substr(14));
    }
  }
  return drives;
}

// What a drive has received since its download last started at offset 0.
struct DownloadProgress {
  std::uint64_t contiguousEnd = 0;  // the pieces so far, in order from 0
  bool inOrder = true;
  bool failed = false;
};

class Checker {
 public:
  explicit Checker(const MachineRun& run) : run_(run) {}

  std::vector<std::string> check() {
    checkHandles();
    checkTrace();
    checkOutput();
    checkDrives();
    return std::move(broken_);
  }

 private:
  template <typename... Parts>
  void breaks(const Parts&... parts) {
    std::ostringstream text;
    (text << ... << parts);
    broken_.push_back(text.str());
  }

  void checkHandles() {
    if (run_.machine->openHandleCount() != 0) breaks(run_.machine->openHandleCount(), " handle(s) left open");
    if (run_.machine->openDeviceSetCount() != 0)
      breaks(run_.machine->openDeviceSetCount(), " device information set(s) left open");
  }

  void checkTrace() {
    std::map<std::string, DownloadProgress> progress;
    for (const RecordedRequest& request : run_.recorder->requests()) {
      const std::string drive = request.drive.empty() ? request.path : request.drive;
      const std::size_t seq = request.seq;
      DownloadProgress& state = progress[drive];
      if (isActivationRequest(request.kind)) {
        if (state.failed) breaks("call ", seq, ": ", request.kind, " to ", drive, " after a failed piece");
        if (!state.inOrder || state.contiguousEnd != kImageSize)
          breaks("call ", seq, ": ", request.kind, " to ", drive, " after ", state.contiguousEnd,
                 " contiguous image bytes, not the whole image");
        continue;
      }
      if (!request.drive.empty()) downloaded_.insert(request.drive);
      const auto piece = pieceOf(request.kind, request.input);
      if (!piece) {
        breaks("call ", seq, ": ", request.kind, " too short to carry a piece");
        continue;
      }
      if (piece->data.empty() || piece->offset > kImageSize || piece->data.size() > kImageSize - piece->offset) {
        breaks("call ", seq, ": piece of ", piece->data.size(), " bytes at ", piece->offset, " is outside the image");
        continue;
      }
      if (!std::equal(piece->data.begin(), piece->data.end(), imageBuffer + piece->offset))
        breaks("call ", seq, ": piece at ", piece->offset, " does not carry the image's bytes");
      if (piece->offset == 0) state = DownloadProgress{};
      if (!succeeded(request)) {
        state.failed = true;
      } else if (piece->offset == state.contiguousEnd) {
        state.contiguousEnd += piece->data.size();
      } else {
        state.inOrder = false;
      }
    }
  }

  void checkOutput() {
    const std::string& out = run_.standardOutput;
    const std::string separator(96, '=');
    const std::string header = separator + "\n" + std::string(imageRevision.begin(), imageRevision.end()) + "\n";
    // Only a missing module handle's fatal-error line may come before it.
    const std::size_t headerAt = out.find(header);
    if (headerAt == std::string::npos || (headerAt != 0 && out.rfind("Fatal Error: ", 0) != 0))
      breaks("standard output does not open with the run header");
    const std::size_t startAt = out.find("\n >> KOA Started \n");
    if (startAt == std::string::npos || startAt < headerAt) breaks("no start marker after the run header");
    const std::string end = "\n >> KOA Ended (Return Code : " + std::to_string(run_.exitCode) + ")\n\n";
    if (out.size() < end.size() || out.compare(out.size() - end.size(), end.size(), end) != 0)
      breaks("standard output does not end with the end marker for ", run_.exitCode);
    if (!run_.logWritten) {
      breaks("no log file");
      return;
    }
    if (run_.log.find("\n[Final Result]\nReturn Code : " + std::to_string(run_.exitCode) + "\n") == std::string::npos)
      breaks("the log's final Return Code is not the exit code ", run_.exitCode);

    const auto drives = reportedDrives(run_.log);
    int expected = drives.empty() ? 1 : 0;
    for (const auto& drive : drives) {
      if (drive.code != 0 && drive.code != 1602) expected = 1;
      else if (drive.code == 1602 && expected == 0) expected = 1602;
    }
    if (run_.exitCode != expected)
      breaks("exit code ", run_.exitCode, " where the drives' Return Codes give ", expected);

    checkReportedUpdates(drives);
  }

  // Every drive the log reports as updated (0 or 1602) holds the image after
  // a reset. The log names a drive by the serial number the program read from
  // its Identify data, which a fault may have altered (a serial that starts
  // with a NUL reads as empty on the inbox path); each serial that matches no
  // drive must then be covered by a drive that was sent the image, holds it,
  // and no reported serial names. (A drive listed twice, as a RAID walk may
  // list it, is reported twice under one serial.)
  void checkReportedUpdates(const std::vector<Reported>& drives) {
    const std::string image(imageRevision.begin(), imageRevision.end());
    std::set<const sim::NvmeDrive*> named;
    std::set<std::string> unmatched;
    for (const auto& drive : drives) {
      if (drive.code != 0 && drive.code != 1602) continue;
      const auto matches = drivesWithSerial(drive.serial);
      if (matches.empty()) {
        unmatched.insert(drive.serial);
        continue;
      }
      named.insert(matches.begin(), matches.end());
      if (std::none_of(matches.begin(), matches.end(),
                       [&](const sim::NvmeDrive* d) { return d->revisionAfterReset() == image; }))
        breaks("drive '", drive.serial, "' reported updated (", drive.code, ") but holds ",
               matches.front()->revisionAfterReset(), " after a reset");
    }
    if (unmatched.empty()) return;
    std::size_t unnamedUpdated = 0;
    for (const auto& [name, before] : run_.before) {
      const sim::NvmeDrive* d = run_.machine->drive(name);
      if (downloaded_.contains(name) && d->revisionAfterReset() == image && !named.contains(d)) ++unnamedUpdated;
    }
    if (unmatched.size() > unnamedUpdated)
      breaks("the log reports ", unmatched.size(), " updated drive(s) by serials no drive has (first '",
             *unmatched.begin(), "'), but only ", unnamedUpdated, " other drive(s) were sent the image and hold it");
  }

  // Serial numbers compare without the blanks and NULs that pad them, and
  // only up to a NUL, the way the inbox path reads them.
  static std::string comparableSerial(std::string text) {
    if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    return text;
  }

  // The drives whose serial, as described or as their Identify data now
  // gives it, is `serial`.
  std::vector<const sim::NvmeDrive*> drivesWithSerial(const std::string& serial) const {
    constexpr std::size_t kSerialAt = 4, kSerialLength = 20;
    const std::string wanted = comparableSerial(serial);
    std::vector<const sim::NvmeDrive*> found;
    for (const auto& [name, before] : run_.before) {
      const sim::NvmeDrive* drive = run_.machine->drive(name);
      if (drive == nullptr) continue;
      const auto identify = drive->identify();
      const std::string identified =
          identify.size() < kSerialAt + kSerialLength
              ? std::string()
              : std::string(identify.begin() + kSerialAt, identify.begin() + kSerialAt + kSerialLength);
      if (comparableSerial(drive->serialNumber()) == wanted || comparableSerial(identified) == wanted)
        found.push_back(drive);
    }
    return found;
  }

  void checkDrives() {
    const std::string image(imageRevision.begin(), imageRevision.end());
    static const auto imageDigest = sim::sha256(std::span<const std::uint8_t>(imageBuffer, kImageSize));
    for (const auto& [name, before] : run_.before) {
      const sim::NvmeDrive* drive = run_.machine->drive(name);
      if (drive->runningRevision() != before.runningRevision && drive->runningRevision() != image)
        breaks("drive ", name, " runs ", drive->runningRevision(), ", neither its old firmware nor the image");
      if (drive->revisionAfterReset() != before.revisionAfterReset && drive->revisionAfterReset() != image)
        breaks("drive ", name, " will run ", drive->revisionAfterReset(), " after a reset");
      if (const auto committed = drive->committed();
          committed && (committed->length != kImageSize || committed->sha256 != imageDigest))
        breaks("drive ", name, " committed ", committed->length, " bytes that are not the image");
      // A drive that was sent pieces was a target; if it does not hold the
      // image now, its update did not complete and the run must say so.
      if (downloaded_.contains(name) && drive->revisionAfterReset() != image && run_.exitCode != 1)
        breaks("drive ", name, " was sent pieces but does not hold the image, yet the exit code is ", run_.exitCode);
    }
  }

  const MachineRun& run_;
  std::set<std::string> downloaded_;  // drives that were sent a piece
  std::vector<std::string> broken_;
};

}  // namespace

test::RunOptions checkedRunOptions() {
  test::RunOptions options;
  options.recordRequests = true;
  options.traceBuffers = false;
  options.keepCurrentDirectory = true;
  return options;
}

std::vector<std::string> brokenInvariants(const MachineRun& run) {
  if (!run.machine || !run.recorder) return {"the run was not made with checkedRunOptions()"};
  return Checker(run).check();
}

RunOutcome outcomeOf(const MachineRun& run) {
  RunOutcome outcome;
  outcome.exitCode = run.exitCode;
  for (const Reported& drive : reportedDrives(run.log))
    outcome.reported.push_back(drive.serial + ": " + std::to_string(drive.code));
  const std::string image(imageRevision.begin(), imageRevision.end());
  for (const auto& [name, before] : run.before)
    if (before.revisionAfterReset != image && run.machine->drive(name)->revisionAfterReset() == image)
      outcome.updated.insert(name);
  return outcome;
}

std::vector<std::string> departuresFrom(const RunOutcome& expected, const MachineRun& run) {
  const RunOutcome outcome = outcomeOf(run);
  std::vector<std::string> departures;
  if (outcome.exitCode != expected.exitCode)
    departures.push_back("exit code " + std::to_string(outcome.exitCode) + " where the clean run gave " +
                         std::to_string(expected.exitCode));
  for (const std::string& drive : expected.updated)
    if (!outcome.updated.contains(drive)) departures.push_back("drive " + drive + " was not updated");
  if (outcome.reported != expected.reported) {
    std::string text = "the log reports";
    for (const auto& drive : outcome.reported) text += " [" + drive + "]";
    text += " where the clean run's reported";
    for (const auto& drive : expected.reported) text += " [" + drive + "]";
    departures.push_back(text);
  }
  return departures;
}

}  // namespace koa::reliability
