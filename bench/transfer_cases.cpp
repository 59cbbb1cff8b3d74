#include "bench/transfer_cases.h"

#include <memory>

#include "bench/floor_walk.h"
#include "platform/unique_handle.h"
#include "transfer/firmware_image.h"
#include "transfer/inbox_download.h"
#include "transfer/inbox_path.h"
#include "transfer/inbox_requests.h"
#include "transfer/intel_fw_request.h"
#include "transfer/irst_path.h"
#include "transfer/target_device.h"
#include "transfer/vroc_path.h"
#include "wire/nvme_raid_request.h"
#include "wire/piece_walk.h"

namespace koa::bench {
namespace {

// What the orchestrator hands every path.
const std::uint32_t kWholeImage = kImageSize;
constexpr Handle kOpenDevice = 0x100;
constexpr std::int32_t kVrocPort = 2;

// Where each path's download request carries the piece, and how much longer
// than the piece the request is.
struct RequestShape {
  const char* path;
  std::size_t dataOffset;
  std::size_t overhead;
};
constexpr RequestShape kInbox{"inbox", inbox::kDownloadImageOffset, inbox::kDownloadImageOffset};
constexpr RequestShape kIrst{"irst", intel_fw::kDownloadDataOffset, intel_fw::kDownloadDataOffset};
constexpr RequestShape kVroc{"vroc", nvme_raid::kDataOffset, nvme_raid::kDownloadOverhead};

std::uint32_t piecesOf(std::int32_t granularity) {
  const std::uint32_t pieceSize = pieceSizeFor(granularity);
  return (kImageSize + pieceSize - 1) / pieceSize;
}

DriveRecord target(DriverKind kind, std::int32_t granularity) {
  DriveRecord record = makeCandidate(kind, u"\\\\.\\PHYSICALDRIVE1", kind == DriverKind::Inbox ? -1 : 1);
  record.modelNumber = u"TORVALE NVMe SSD 1TB";
  record.serialNumber = u"BENCH000000000000001";
  record.firmwareRevision = u"GXB3LTMW";
  record.updateGranularity = granularity;
  record.vrocDiskId = 0x01000000;
  return record;
}

TransferCase floorCase(const RequestShape& shape, std::int32_t granularity) {
  const std::uint32_t pieceSize = pieceSizeFor(granularity);
  // Allocated once, outside the measurement: the floor is the per-piece work.
  auto buffer = std::make_shared<std::vector<std::uint8_t>>(shape.overhead + pieceSize);
  const std::uint32_t pieces = piecesOf(granularity);
  return {shape.path, "floor", granularity, pieces, 0, [buffer, shape, pieceSize, pieces] {
            return floorWalk(buffer->data(), shape.dataOffset, shape.overhead, pieceSize) ==
                   pieces;
          }};
}

bool inboxDownload(std::int32_t granularity) {
  const std::uint32_t pieceSize = pieceSizeFor(granularity);
  RequestBuffer buffer(inbox::firmwareRequestLength(pieceSize));
  const UniqueHandle drive =
      openTargetDevice(u"\\\\.\\PHYSICALDRIVE1", /*shareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE);
  return buffer.ok() && drive.valid() && inbox::downloadImage(drive, buffer, pieceSize, kWholeImage);
}

}  // namespace

std::vector<TransferCase> transferCases() {
  std::vector<TransferCase> cases;
  for (const std::int32_t g : kGranularities) {
    const std::uint32_t pieces = piecesOf(g);

    cases.push_back(floorCase(kInbox, g));
    cases.push_back({"inbox", "download", g, pieces, pieces, [g] { return inboxDownload(g); }});
    const DriveRecord inboxTarget = target(DriverKind::Inbox, g);
    // Get info, the pieces, the activation.
    cases.push_back({"inbox", "update", g, pieces, pieces + 2,
                     [inboxTarget] { return updateInboxDrive(inboxTarget, kWholeImage) == 0; }});

    cases.push_back(floorCase(kIrst, g));
    const DriveRecord irstTarget = target(DriverKind::IrstNonRaid, g);
    cases.push_back({"irst", "download", g, pieces, pieces,
                     [irstTarget] { return downloadIrst(kOpenDevice, irstTarget, kWholeImage) == 0; }});
    cases.push_back({"irst", "update", g, pieces, pieces + 1,
                     [irstTarget] { return updateIrstDrive(irstTarget, kWholeImage) == 0; }});

    cases.push_back(floorCase(kVroc, g));
    const DriveRecord vrocTarget = target(DriverKind::VrocNonRaid, g);
    cases.push_back({"vroc", "download", g, pieces, pieces,
                     [vrocTarget] { return downloadVroc(kOpenDevice, vrocTarget, kWholeImage) == result::kSucceeded; }});
    cases.push_back({"vroc", "update", g, pieces, pieces + 1, [vrocTarget] {
                       return updateVrocDrive(vrocTarget, kWholeImage, kVrocPort) == result::kRebootRequired;
                     }});
  }
  return cases;
}

}  // namespace koa::bench
