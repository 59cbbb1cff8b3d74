// The simulated inbox driver as a strict Windows driver: what it answers to
// well-formed requests, and how it refuses each malformed field. Requests
// are written here byte by byte from the request tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win_types.h"
#include "sim/drivers.h"
#include "tests/support/bytes.h"

namespace koa::test::inbox {
namespace {

using sim::IoResult;

constexpr std::uint32_t kMiniport = 0x4D008;

std::vector<std::uint8_t> firmwareRequest(std::uint32_t function, std::uint32_t dataLength) {
  std::vector<std::uint8_t> r(52 + dataLength, 0);
  putLe(r.data(), 0, 28, 4);
  std::memcpy(r.data() + 4, "FIRMWARE", 8);
  putLe(r.data(), 12, 30, 4);
  putLe(r.data(), 16, 0x1B0780, 4);
  putLe(r.data(), 24, r.size() - 28, 4);
  putLe(r.data(), 28, 1, 4);
  putLe(r.data(), 32, 24, 4);
  putLe(r.data(), 36, function, 4);
  putLe(r.data(), 40, 1, 4);
  putLe(r.data(), 44, 52, 4);
  putLe(r.data(), 48, dataLength, 4);
  return r;
}

std::vector<std::uint8_t> getInfoRequest() { return firmwareRequest(1, 4096 + 24); }

std::vector<std::uint8_t> downloadRequest(std::uint64_t offset, std::uint32_t length, std::uint8_t fill) {
  auto r = firmwareRequest(2, 24 + length);
  putLe(r.data(), 52, 1, 4);
  putLe(r.data(), 56, 24, 4);
  putLe(r.data(), 60, offset, 8);
  putLe(r.data(), 68, length, 8);
  std::memset(r.data() + 76, fill, length);
  // The image carries its revision at bytes 0x42 to 0x49.
  if (offset == 0 && length >= 0x4A) std::memcpy(r.data() + 76 + 0x42, "GXB4LTMW", 8);
  return r;
}

std::vector<std::uint8_t> activateRequest(std::uint8_t slot) {
  auto r = firmwareRequest(3, 4096 + 24);
  putLe(r.data(), 52, 1, 4);
  putLe(r.data(), 56, 12, 4);
  r[60] = slot;
  return r;
}

struct Answer {
  IoResult io;
  std::vector<std::uint8_t> bytes;
  std::uint32_t returnCode() const { return static_cast<std::uint32_t>(le(bytes, 20, 4)); }
};

class SimInboxDriver : public ::testing::Test {
 protected:
  void load(const std::string& driveJson, const std::string& diskJson = R"({"deviceNumber": 2, "drive": "ssd"})") {
    driveDescription = nlohmann::json::parse(driveJson);
    drives["ssd"] = std::make_shared<sim::NvmeDrive>(
        sim::NvmeDrive::fromDescription(sim::JsonField(driveDescription, "/drives/ssd")));
    diskDescription = nlohmann::json::parse(diskJson);
    disk = sim::makeInboxDisk(sim::JsonField(diskDescription, "/devices/0/disk"), drives);
  }

  Answer send(std::uint32_t code, std::vector<std::uint8_t> request) {
    const auto size = static_cast<std::uint32_t>(request.size());
    return send(code, std::move(request), size, size);
  }
  Answer send(std::uint32_t code, std::vector<std::uint8_t> request, std::uint32_t inSize, std::uint32_t outSize) {
    request.resize(std::max(inSize, outSize), 0);
    const IoResult io = disk->deviceIoControl(code, request, inSize, outSize);
    return {io, request};
  }

  // Downloads a whole 2 MiB image in pieces of pieceLength; returns the
  // status of the first piece refused, or 0.
  std::uint32_t downloadImage(std::uint32_t pieceLength) {
    for (std::uint32_t offset = 0; offset < 0x200000; offset += pieceLength) {
      const std::uint32_t length = std::min(pieceLength, 0x200000 - offset);
      const Answer a = send(kMiniport, downloadRequest(offset, length, static_cast<std::uint8_t>(offset >> 12)));
      if (!a.io.ok) return 0xDEAD;
      if (a.returnCode() != 0) return a.returnCode();
    }
    return 0;
  }

  nlohmann::json driveDescription;
  nlohmann::json diskDescription;
  sim::DriveTable drives;
  std::unique_ptr<sim::SimDevice> disk;
};

const char kDrive[] = R"({"serialNumber": "S0SIM0001", "modelNumber": "TORVALE NVME SSD",
  "firmwareRevision": "GXB3LTMW", "pciVendorId": "0xD5A7", "version": {"major": 1, "minor": 4}, "fwug": 1,
  "slots": [{"number": 1, "readOnly": true, "revision": "GXB1LTMW"}, {"number": 2, "revision": "GXB3LTMW"},
            {"number": 3}], "activeSlot": 2})";

TEST_F(SimInboxDriver, AnswersTheDeviceNumberAsAStorageDeviceNumber) {
  load(kDrive);
  const Answer a = send(0x2D1080, {}, 0, 12);
  ASSERT_TRUE(a.io.ok);
  EXPECT_EQ(a.io.bytesReturned, 12u);
  EXPECT_EQ(le(a.bytes, 0, 4), 7u);
  EXPECT_EQ(le(a.bytes, 4, 4), 2u);
}

std::vector<std::uint8_t> identifyQuery() {
  std::vector<std::uint8_t> q(4144, 0);
  putLe(q.data(), 0, 49, 4);
  putLe(q.data(), 8, 3, 4);
  putLe(q.data(), 12, 1, 4);
  putLe(q.data(), 16, 1, 4);
  putLe(q.data(), 24, 40, 4);
  putLe(q.data(), 28, 4096, 4);
  return q;
}

TEST_F(SimInboxDriver, AnswersIdentifyControllerAfterTheProtocolDescriptor) {
  load(kDrive);
  const Answer a = send(0x2D1400, identifyQuery());
  ASSERT_TRUE(a.io.ok);
  EXPECT_EQ(a.io.bytesReturned, 4144u);
  EXPECT_EQ(ascii(a.bytes, 48 + 4, 20), "S0SIM0001           ");
  EXPECT_EQ(ascii(a.bytes, 48 + 64, 8), "GXB3LTMW");
  EXPECT_EQ(a.bytes[48 + 81], 4u);
  EXPECT_EQ(le(a.bytes, 48 + 82, 2), 1u);
  EXPECT_EQ(a.bytes[48 + 319], 1u);
}

TEST_F(SimInboxDriver, RefusesAnIdentifyQueryWithAnyFieldOff) {
  load(kDrive);
  struct Case {
    std::size_t offset;
    std::uint32_t value;
    std::uint32_t error;
  };
  for (const Case& c : {Case{0, 50, ERROR_NOT_SUPPORTED}, Case{4, 1, ERROR_NOT_SUPPORTED},
                        Case{8, 2, ERROR_INVALID_PARAMETER}, Case{12, 2, ERROR_INVALID_PARAMETER},
                        Case{16, 0, ERROR_INVALID_PARAMETER}, Case{20, 1, ERROR_INVALID_PARAMETER},
                        Case{24, 48, ERROR_INVALID_PARAMETER}, Case{28, 4095, ERROR_INVALID_PARAMETER},
                        Case{40, 1, ERROR_INVALID_PARAMETER}}) {
    auto q = identifyQuery();
    putLe(q.data(), c.offset, c.value, 4);
    const Answer a = send(0x2D1400, q);
    EXPECT_FALSE(a.io.ok) << "offset " << c.offset;
    EXPECT_EQ(a.io.error, c.error) << "offset " << c.offset;
  }
  EXPECT_EQ(send(0x2D1400, identifyQuery(), 4144, 4140).io.error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(send(0x2D1400, identifyQuery(), 4140, 4144).io.error, ERROR_INVALID_PARAMETER);
}

TEST_F(SimInboxDriver, GetInfoAnswersVersionOneSlotsAtTheDataBufferOffset) {
  load(kDrive);
  const Answer a = send(kMiniport, getInfoRequest());
  ASSERT_TRUE(a.io.ok);
  EXPECT_EQ(a.returnCode(), 0u);
  EXPECT_EQ(le(a.bytes, 44, 4), 52u);
  EXPECT_EQ(le(a.bytes, 52, 4), 1u);   // Version
  EXPECT_EQ(le(a.bytes, 56, 4), 32u);  // Size
  EXPECT_EQ(a.bytes[60], 1u);          // UpgradeSupport
  EXPECT_EQ(a.bytes[61], 3u);          // SlotCount
  EXPECT_EQ(a.bytes[62], 2u);          // ActiveSlot
  EXPECT_EQ(a.bytes[63], 0xFFu);       // no pending slot
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(a.bytes[68 + 16 * i], i + 1);
    EXPECT_EQ(a.bytes[69 + 16 * i], i == 0 ? 1u : 0u);
  }
  EXPECT_EQ(ascii(a.bytes, 68 + 8, 8), "GXB1LTMW");
}

TEST_F(SimInboxDriver, GetInfoCanAnswerVersionTwo) {
  load(kDrive, R"({"deviceNumber": 2, "drive": "ssd", "firmwareInfoVersion": 2})");
  const Answer a = send(kMiniport, getInfoRequest());
  ASSERT_TRUE(a.io.ok);
  EXPECT_EQ(le(a.bytes, 52, 4), 2u);
  EXPECT_EQ(a.bytes[61], 3u);
  EXPECT_EQ(le(a.bytes, 52 + 16, 4), 4096u);  // ImagePayloadAlignment
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(a.bytes[52 + 24 + 24 * i], i + 1);
  EXPECT_EQ(ascii(a.bytes, 52 + 24 + 8, 8), "GXB1LTMW");
}

TEST_F(SimInboxDriver, RefusesAMalformedHeaderByFailingTheCall) {
  load(kDrive);
  struct Case {
    std::size_t offset;
    std::uint32_t value;
    std::uint32_t error;
  };
  for (const Case& c : {Case{0, 24, ERROR_INVALID_PARAMETER}, Case{12, 0, ERROR_INVALID_PARAMETER},
                        Case{20, 1, ERROR_INVALID_PARAMETER}, Case{24, 4172 - 27, ERROR_INVALID_PARAMETER},
                        Case{16, 0x1B0781, ERROR_INVALID_FUNCTION}, Case{4, 0x6D726966, ERROR_INVALID_FUNCTION}}) {
    auto r = getInfoRequest();
    putLe(r.data(), c.offset, c.value, 4);
    const Answer a = send(kMiniport, r);
    EXPECT_FALSE(a.io.ok) << "offset " << c.offset;
    EXPECT_EQ(a.io.error, c.error) << "offset " << c.offset;
  }
  EXPECT_EQ(send(kMiniport, getInfoRequest(), 4172, 4171).io.error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(send(kMiniport, getInfoRequest(), 20, 20).io.error, ERROR_INVALID_PARAMETER);
}

TEST_F(SimInboxDriver, RefusesAMalformedRequestBlockWithAFirmwareStatus) {
  load(kDrive);
  struct Case {
    std::size_t offset;
    std::uint32_t value;
    std::uint32_t status;
  };
  for (const Case& c : {Case{28, 2, 3}, Case{32, 28, 3}, Case{36, 4, 2}, Case{40, 0, 3}, Case{40, 3, 3},
                        Case{44, 56, 3}, Case{48, 4000, 3}, Case{100, 1, 3}}) {
    auto r = getInfoRequest();
    putLe(r.data(), c.offset, c.value, 4);
    const Answer a = send(kMiniport, r);
    ASSERT_TRUE(a.io.ok) << "offset " << c.offset;
    EXPECT_EQ(a.returnCode(), c.status) << "offset " << c.offset;
  }
}

TEST_F(SimInboxDriver, RefusesMalformedDownloadAndActivateData) {
  load(kDrive);
  struct Case {
    std::size_t offset;
    std::uint64_t value;
    std::size_t width;
  };
  for (const Case& c : {Case{52, 2, 4}, Case{56, 32, 4}, Case{68, 4095, 8}, Case{68, 4097, 8}}) {
    auto r = downloadRequest(0, 4096, 1);
    putLe(r.data(), c.offset, c.value, c.width);
    EXPECT_EQ(send(kMiniport, r).returnCode(), 3u) << "download offset " << c.offset;
  }
  for (const Case& c : {Case{52, 2, 4}, Case{56, 16, 4}, Case{61, 1, 1}, Case{4000, 1, 1}}) {
    auto r = activateRequest(3);
    putLe(r.data(), c.offset, c.value, c.width);
    EXPECT_EQ(send(kMiniport, r).returnCode(), 3u) << "activate offset " << c.offset;
  }
  EXPECT_EQ(drives["ssd"]->acceptedPieces(), 0u);
  EXPECT_EQ(drives["ssd"]->runningRevision(), "GXB3LTMW");
}

TEST_F(SimInboxDriver, AWholeImageActivatesImmediately) {
  load(kDrive);
  ASSERT_EQ(downloadImage(4096), 0u);
  const Answer a = send(kMiniport, activateRequest(3));
  ASSERT_TRUE(a.io.ok);
  EXPECT_EQ(a.returnCode(), 0u);
  EXPECT_EQ(drives["ssd"]->runningRevision(), "GXB4LTMW");
}

TEST_F(SimInboxDriver, ADriveThatActivatesAtResetAnswersPowerCycleRequired) {
  std::string drive = kDrive;
  drive.insert(drive.size() - 1, R"(, "activation": "reset")");
  load(drive);
  ASSERT_EQ(downloadImage(4096), 0u);
  EXPECT_EQ(send(kMiniport, activateRequest(3)).returnCode(), 0x20u);
  EXPECT_EQ(drives["ssd"]->runningRevision(), "GXB3LTMW");
  EXPECT_EQ(drives["ssd"]->revisionAfterReset(), "GXB4LTMW");
  // Get info shows the new image waiting in slot 3 for the reset.
  const Answer info = send(kMiniport, getInfoRequest());
  ASSERT_EQ(info.returnCode(), 0u);
  EXPECT_EQ(info.bytes[62], 2u);  // ActiveSlot
  EXPECT_EQ(info.bytes[63], 3u);  // PendingActivateSlot
  EXPECT_EQ(ascii(info.bytes, 68 + 16 + 8, 8), "GXB3LTMW");
  EXPECT_EQ(ascii(info.bytes, 68 + 32 + 8, 8), "GXB4LTMW");
}

TEST_F(SimInboxDriver, AnIncompleteImageIsRefusedAndTheRunningFirmwareStays) {
  load(kDrive);
  for (std::uint32_t offset = 0; offset < 0x100000; offset += 4096)
    ASSERT_EQ(send(kMiniport, downloadRequest(offset, 4096, 1)).returnCode(), 0u);
  EXPECT_EQ(send(kMiniport, activateRequest(3)).returnCode(), 7u);
  EXPECT_EQ(drives["ssd"]->runningRevision(), "GXB3LTMW");
  EXPECT_EQ(drives["ssd"]->revisionAfterReset(), "GXB3LTMW");
}

TEST_F(SimInboxDriver, AnImageSentOutOfOrderIsRefusedAndTheRunningFirmwareStays) {
  load(kDrive);
  ASSERT_EQ(send(kMiniport, downloadRequest(0, 4096, 1)).returnCode(), 0u);
  ASSERT_EQ(send(kMiniport, downloadRequest(8192, 4096, 1)).returnCode(), 0u);
  ASSERT_EQ(send(kMiniport, downloadRequest(4096, 4096, 1)).returnCode(), 0u);
  for (std::uint32_t offset = 12288; offset < 0x200000; offset += 4096)
    ASSERT_EQ(send(kMiniport, downloadRequest(offset, 4096, 1)).returnCode(), 0u);
  EXPECT_EQ(send(kMiniport, activateRequest(3)).returnCode(), 7u);
  EXPECT_EQ(drives["ssd"]->runningRevision(), "GXB3LTMW");
  EXPECT_EQ(drives["ssd"]->revisionAfterReset(), "GXB3LTMW");
}

TEST_F(SimInboxDriver, APieceOverlappingAnEarlierOneIsRefused) {
  load(kDrive);
  ASSERT_EQ(send(kMiniport, downloadRequest(0, 8192, 1)).returnCode(), 0u);
  EXPECT_EQ(send(kMiniport, downloadRequest(4096, 4096, 1)).returnCode(), 3u);
}

TEST_F(SimInboxDriver, ARefusedSlotIsReportedAsInvalidSlot) {
  load(kDrive);
  ASSERT_EQ(downloadImage(4096), 0u);
  EXPECT_EQ(send(kMiniport, activateRequest(1)).returnCode(), 6u);
  EXPECT_EQ(drives["ssd"]->runningRevision(), "GXB3LTMW");
}

TEST_F(SimInboxDriver, PiecesMustRespectTheDrivesGranularity) {
  std::string drive = kDrive;
  drive.replace(drive.find(R"("fwug": 1)"), 9, R"("fwug": 8)");
  load(drive);
  EXPECT_EQ(send(kMiniport, downloadRequest(0, 4096, 1)).returnCode(), 3u);
  EXPECT_EQ(downloadImage(32768), 0u);
  EXPECT_EQ(send(kMiniport, activateRequest(2)).returnCode(), 0u);
  EXPECT_EQ(drives["ssd"]->runningRevision(), "GXB4LTMW");
}

TEST_F(SimInboxDriver, AGranularityThatDoesNotDivideTheImageTakesAShorterLastPiece) {
  std::string drive = kDrive;
  drive.replace(drive.find(R"("fwug": 1)"), 9, R"("fwug": 3)");
  load(drive);
  EXPECT_EQ(downloadImage(3 * 4096), 0u);
  EXPECT_EQ(drives["ssd"]->acceptedPieces(), 171u);
  EXPECT_EQ(send(kMiniport, activateRequest(3)).returnCode(), 0u);
}

TEST_F(SimInboxDriver, ADiskWithoutAnNvmeDriveServesNoFirmwareRequest) {
  load(kDrive, R"({"deviceNumber": 0})");
  EXPECT_EQ(send(kMiniport, getInfoRequest()).io.error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(send(0x2D1400, identifyQuery()).io.error, ERROR_NOT_SUPPORTED);
  EXPECT_EQ(disk->requestKind(0x2D1080, {}), "storage.deviceNumber");
}

TEST_F(SimInboxDriver, NamesItsRequestsForTheTrace) {
  load(kDrive);
  EXPECT_EQ(disk->requestKind(0x2D1400, identifyQuery()), "storage.identify");
  EXPECT_EQ(disk->requestKind(kMiniport, getInfoRequest()), "inbox.getInfo");
  EXPECT_EQ(disk->requestKind(kMiniport, downloadRequest(0, 4096, 0)), "inbox.download");
  EXPECT_EQ(disk->requestKind(kMiniport, activateRequest(2)), "inbox.activate");
  EXPECT_EQ(disk->requestKind(kMiniport, firmwareRequest(9, 24)), "unknown");
  EXPECT_EQ(disk->requestDrive(kMiniport, {}), "ssd");
}

}  // namespace
}  // namespace koa::test::inbox
