// The inbox path's requests on the wire, field by field against the tables
// of the identify query and the FIRMWARE requests. Offsets are written out
// here as numbers, not taken from the builders.
#include <gtest/gtest.h>

#include "tests/support/console_capture.h"
#include "tests/inbox/fake_firmware_drive.h"
#include "tests/inbox/fake_platform.h"
#include "tests/inbox/inbox_test_support.h"
#include "tests/inbox/wire.h"
#include "transfer/inbox_path.h"

namespace koa::test::inbox {
namespace {

class InboxRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    fillImageWithPattern();
    drive.slots = {{1, true}, {2, false}};
    drive.install(platform);
  }

  // Runs the update and returns its requests; the result must be 0.
  const std::vector<RecordedRequest>& update(std::int32_t granularity) {
    const std::uint32_t imageSize = 0x200000;
    EXPECT_EQ(updateInboxDrive(inboxTarget(granularity), imageSize), 0);
    EXPECT_EQ(platform.openHandles, 0);
    return platform.requests;
  }

  FakePlatform platform;
  FakeFirmwareDrive drive;
  ConsoleCapture console;
};

// Checks the SRB_IO_CONTROL header and the FIRMWARE_REQUEST_BLOCK of a
// request of requestLength bytes.
void expectFirmwareHeader(const RecordedRequest& request, std::uint32_t requestLength, std::uint32_t function) {
  EXPECT_EQ(request.code, 0x4D008u);
  EXPECT_EQ(request.inSize, requestLength);
  EXPECT_EQ(request.outSize, requestLength);
  EXPECT_TRUE(request.sameBuffer);
  const auto& b = request.input;
  ASSERT_EQ(b.size(), requestLength);
  EXPECT_EQ(le(b, 0, 4), 28u);                  // HeaderLength
  EXPECT_EQ(ascii(b, 4, 8), "FIRMWARE");        // Signature, no terminator
  EXPECT_EQ(le(b, 12, 4), 30u);                 // Timeout
  EXPECT_EQ(le(b, 16, 4), 0x1B0780u);           // ControlCode
  EXPECT_EQ(le(b, 20, 4), 0u);                  // ReturnCode
  EXPECT_EQ(le(b, 24, 4), requestLength - 28);  // Length
  EXPECT_EQ(le(b, 28, 4), 1u);                  // request block Version
  EXPECT_EQ(le(b, 32, 4), 24u);                 // Size
  EXPECT_EQ(le(b, 36, 4), function);            // Function
  EXPECT_EQ(le(b, 40, 4), 1u);                  // Flags: controller
  EXPECT_EQ(le(b, 44, 4), 52u);                 // DataBufferOffset
  EXPECT_EQ(le(b, 48, 4), requestLength - 52);  // DataBufferLength
}

void expectDownload(const RecordedRequest& request, std::uint32_t offset, std::uint32_t length) {
  expectFirmwareHeader(request, 76 + length, 2);
  const auto& b = request.input;
  EXPECT_EQ(le(b, 52, 4), 1u);       // download Version
  EXPECT_EQ(le(b, 56, 4), 24u);      // Size
  EXPECT_EQ(le(b, 60, 8), offset);   // Offset
  EXPECT_EQ(le(b, 68, 8), length);   // BufferSize
  EXPECT_TRUE(carriesImageBytes(b, 76, offset, length)) << "piece at " << offset;
}

TEST_F(InboxRequests, GetInfoIsAHeaderAndARequestBlockOverZeros) {
  const auto& requests = update(1);
  ASSERT_GE(requests.size(), 1u);
  expectFirmwareHeader(requests[0], 4172, 1);
  EXPECT_TRUE(zeroFrom(requests[0].input, 52, 4172));
}

TEST_F(InboxRequests, GranularityOneSends512PiecesOf4096BytesAtEveryOffset) {
  const auto& requests = update(1);
  ASSERT_EQ(requests.size(), 1u + 512u + 1u);
  for (std::uint32_t i = 0; i < 512; ++i) expectDownload(requests[1 + i], i * 4096, 4096);
  EXPECT_EQ(le(requests[512].input, 60, 8), 2093056u);
}

TEST_F(InboxRequests, GranularityEightSends64PiecesOf32844BytesOnTheWire) {
  const auto& requests = update(8);
  ASSERT_EQ(requests.size(), 1u + 64u + 1u);
  expectFirmwareHeader(requests[0], 32844, 1);
  for (std::uint32_t i = 0; i < 64; ++i) expectDownload(requests[1 + i], i * 32768, 32768);
  EXPECT_EQ(requests[1].inSize, 32844u);
}

TEST_F(InboxRequests, ActivationNamesTheChosenSlotAndNothingElse) {
  const auto& requests = update(1);
  const RecordedRequest& activate = requests.back();
  expectFirmwareHeader(activate, 4172, 3);
  EXPECT_EQ(le(activate.input, 52, 4), 1u);   // activate Version
  EXPECT_EQ(le(activate.input, 56, 4), 12u);  // Size
  EXPECT_EQ(activate.input.at(60), 2u);       // SlotToActivate: slot 1 is read-only
  EXPECT_TRUE(zeroFrom(activate.input, 61, 4172));
}

TEST_F(InboxRequests, ALastPieceShorterThanTheGranularityGoesOutAsLongAsItsData) {
  // Granularity 3: 170 pieces of 12,288 bytes cover 2,088,960 bytes; the
  // last 8,192 bytes go in a request of 76 + 8,192 bytes.
  const auto& requests = update(3);
  ASSERT_EQ(requests.size(), 1u + 171u + 1u);
  expectFirmwareHeader(requests[0], 76 + 12288, 1);
  for (std::uint32_t i = 0; i < 170; ++i) expectDownload(requests[1 + i], i * 12288, 12288);
  expectDownload(requests[171], 2088960, 8192);
  expectFirmwareHeader(requests.back(), 76 + 12288, 3);
}

TEST_F(InboxRequests, TheLargestGranularityIsCutToTheImage) {
  // Granularity 254 (1,040,384 bytes): two whole pieces and a 16,384-byte rest.
  const auto& requests = update(254);
  ASSERT_EQ(requests.size(), 1u + 3u + 1u);
  expectDownload(requests[1], 0, 1040384);
  expectDownload(requests[2], 1040384, 1040384);
  expectDownload(requests[3], 2080768, 16384);
}

TEST_F(InboxRequests, EveryRequestGoesToTheRecordsPhysicalDrive) {
  update(1);
  ASSERT_EQ(platform.opened.size(), 1u);
  EXPECT_EQ(platform.opened[0], u"\\\\.\\PHYSICALDRIVE1");
}

TEST_F(InboxRequests, IdentifyIsAProtocolSpecificPropertyQueryOf4144Bytes) {
  DriveList drives;
  EXPECT_EQ(identifyInboxDrive(inboxTarget(), drives), 0);
  ASSERT_EQ(platform.requests.size(), 1u);
  const RecordedRequest& query = platform.requests[0];
  EXPECT_EQ(query.code, 0x2D1400u);
  EXPECT_EQ(query.inSize, 4144u);
  EXPECT_EQ(query.outSize, 4144u);
  EXPECT_TRUE(query.sameBuffer);
  const auto& b = query.input;
  EXPECT_EQ(le(b, 0, 4), 49u);    // StorageAdapterProtocolSpecificProperty
  EXPECT_EQ(le(b, 4, 4), 0u);     // PropertyStandardQuery
  EXPECT_EQ(le(b, 8, 4), 3u);     // ProtocolTypeNvme
  EXPECT_EQ(le(b, 12, 4), 1u);    // NVMeDataTypeIdentify
  EXPECT_EQ(le(b, 16, 4), 1u);    // Identify Controller
  EXPECT_EQ(le(b, 20, 4), 0u);    // sub value
  EXPECT_EQ(le(b, 24, 4), 40u);   // ProtocolDataOffset
  EXPECT_EQ(le(b, 28, 4), 4096u); // ProtocolDataLength
  EXPECT_TRUE(zeroFrom(b, 32, 4144));
  EXPECT_EQ(platform.openHandles, 0);
}

}  // namespace
}  // namespace koa::test::inbox
