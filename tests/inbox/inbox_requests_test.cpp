// The inbox path's requests on the wire, field by field against the tables
// of the identify query and the FIRMWARE requests. Offsets are written out
// here as numbers, not taken from the builders.
#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/console_capture.h"
#include "tests/support/inbox_drive.h"
#include "tests/support/patterned_image.h"
#include "tests/support/scripted_platform.h"
#include "transfer/inbox_path.h"

namespace koa::test::inbox {
namespace {

class InboxRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.slots = {{1, true}, {2, false}};
    drive.install(platform);
  }

  // Runs the update and returns its requests; the result must be 0.
  const std::vector<IoCall>& update(std::int32_t granularity) {
    const std::uint32_t imageSize = 0x200000;
    EXPECT_EQ(updateInboxDrive(inboxTarget(granularity), imageSize), 0);
    EXPECT_EQ(platform.openHandles(), 0);
    expectInboxOpens(platform);
    return platform.calls;
  }

  PatternedImage image{u"GXB4LTMW"};
  ScriptedPlatform platform;
  FakeFirmwareDrive drive;
  ConsoleCapture console;
};

// Checks the SRB_IO_CONTROL header and the FIRMWARE_REQUEST_BLOCK of a
// request of requestLength bytes.
void expectFirmwareHeader(const IoCall& request, std::uint32_t requestLength, std::uint32_t function) {
  EXPECT_EQ(request.code, 0x4D008u);
  EXPECT_EQ(request.inSize, requestLength);
  EXPECT_EQ(request.outSize, requestLength);
  EXPECT_TRUE(request.sameBuffer);
  const auto& b = request.input;
  ASSERT_EQ(b.size(), requestLength);
  EXPECT_EQ(le32(b, 0), 28u);                  // HeaderLength
  EXPECT_EQ(ascii(b, 4, 8), "FIRMWARE");        // Signature, no terminator
  EXPECT_EQ(le32(b, 12), 30u);                 // Timeout
  EXPECT_EQ(le32(b, 16), 0x1B0780u);           // ControlCode
  EXPECT_EQ(le32(b, 20), 0u);                  // ReturnCode
  EXPECT_EQ(le32(b, 24), requestLength - 28);  // Length
  EXPECT_EQ(le32(b, 28), 1u);                  // request block Version
  EXPECT_EQ(le32(b, 32), 24u);                 // Size
  EXPECT_EQ(le32(b, 36), function);            // Function
  EXPECT_EQ(le32(b, 40), 1u);                  // Flags: controller
  EXPECT_EQ(le32(b, 44), 52u);                 // DataBufferOffset
  EXPECT_EQ(le32(b, 48), requestLength - 52);  // DataBufferLength
}

void expectDownload(const IoCall& request, std::uint32_t offset, std::uint32_t length) {
  expectFirmwareHeader(request, 76 + length, 2);
  const auto& b = request.input;
  EXPECT_EQ(le32(b, 52), 1u);       // download Version
  EXPECT_EQ(le32(b, 56), 24u);      // Size
  EXPECT_EQ(le64(b, 60), offset);   // Offset
  EXPECT_EQ(le64(b, 68), length);   // BufferSize
  EXPECT_TRUE(carriesImageBytes(b, 76, offset, length)) << "piece at " << offset;
}

TEST_F(InboxRequests, GetInfoIsAHeaderAndARequestBlockOverZeros) {
  const auto& requests = update(1);
  ASSERT_GE(requests.size(), 1u);
  expectFirmwareHeader(requests[0], 4172, 1);
  EXPECT_TRUE(nonZeroBetween(requests[0].input, 52, 4172).empty());
}

TEST_F(InboxRequests, GranularityOneSends512PiecesOf4096BytesAtEveryOffset) {
  const auto& requests = update(1);
  ASSERT_EQ(requests.size(), 1u + 512u + 1u);
  for (std::uint32_t i = 0; i < 512; ++i) expectDownload(requests[1 + i], i * 4096, 4096);
  EXPECT_EQ(le64(requests[512].input, 60), 2093056u);
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
  const IoCall& activate = requests.back();
  expectFirmwareHeader(activate, 4172, 3);
  EXPECT_EQ(le32(activate.input, 52), 1u);   // activate Version
  EXPECT_EQ(le32(activate.input, 56), 12u);  // Size
  EXPECT_EQ(activate.input.at(60), 2u);       // SlotToActivate: slot 1 is read-only
  EXPECT_TRUE(nonZeroBetween(activate.input, 61, 4172).empty());
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
  ASSERT_EQ(platform.opens.size(), 1u);
  EXPECT_EQ(platform.opens[0].path, u"\\\\.\\PHYSICALDRIVE1");
}

TEST_F(InboxRequests, IdentifyIsAProtocolSpecificPropertyQueryOf4144Bytes) {
  DriveList drives;
  EXPECT_EQ(identifyInboxDrive(inboxTarget(), drives), 0);
  ASSERT_EQ(platform.calls.size(), 1u);
  const IoCall& query = platform.calls[0];
  EXPECT_EQ(query.code, 0x2D1400u);
  EXPECT_EQ(query.inSize, 4144u);
  EXPECT_EQ(query.outSize, 4144u);
  EXPECT_TRUE(query.sameBuffer);
  const auto& b = query.input;
  EXPECT_EQ(le32(b, 0), 49u);    // StorageAdapterProtocolSpecificProperty
  EXPECT_EQ(le32(b, 4), 0u);     // PropertyStandardQuery
  EXPECT_EQ(le32(b, 8), 3u);     // ProtocolTypeNvme
  EXPECT_EQ(le32(b, 12), 1u);    // NVMeDataTypeIdentify
  EXPECT_EQ(le32(b, 16), 1u);    // Identify Controller
  EXPECT_EQ(le32(b, 20), 0u);    // sub value
  EXPECT_EQ(le32(b, 24), 40u);   // ProtocolDataOffset
  EXPECT_EQ(le32(b, 28), 4096u); // ProtocolDataLength
  EXPECT_TRUE(nonZeroBetween(b, 32, 4144).empty());
  EXPECT_EQ(platform.openHandles(), 0);
  expectInboxOpens(platform);
}

}  // namespace
}  // namespace koa::test::inbox
