// The IRST requests on the wire, byte by byte, against the driver's layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "discovery/irst_membership.h"
#include "tests/support/bytes.h"
#include "tests/support/console_capture.h"
#include "tests/support/scripted_platform.h"
#include "transfer/firmware_image.h"
#include "transfer/irst_path.h"

namespace koa::test {
namespace {

constexpr std::u16string_view kController = u"\\\\?\\pci#ven_8086&dev_a77f#3&11583659&0&b8#{2accfe60-c130-11d2-b082-00a0c91efb8b}";

void expectHeader(const std::vector<std::uint8_t>& bytes, const char* signature, std::uint32_t timeout,
                  std::uint32_t controlCode) {
  EXPECT_EQ(le32(bytes, 0), 28u);
  EXPECT_EQ(ascii(bytes, 4, 8), std::string(signature, 8));
  EXPECT_EQ(le32(bytes, 12), timeout);
  EXPECT_EQ(le32(bytes, 16), controlCode);
  EXPECT_EQ(le32(bytes, 20), 0u);
  EXPECT_EQ(le32(bytes, 24), bytes.size() - 28);
}

DriveRecord irstTarget(std::int64_t pathId, std::int32_t granularity) {
  DriveRecord target = makeCandidate(DriverKind::IrstNonRaid, std::u16string(kController), pathId);
  target.updateGranularity = granularity;
  return target;
}

// The embedded image differs in every 4-byte word, so a piece taken from
// the wrong offset shows.
void fillImage() { loadImage(); }

TEST(IrstRequestBytes, CsmiRaidConfigurationAsksForRaidSetZero) {
  ScriptedPlatform machine;
  ConsoleCapture console;
  DriveList drives;
  ASSERT_EQ(queryRaidConfig(makeCandidate(DriverKind::IrstRaid, std::u16string(kController), -1), drives), 0);

  ASSERT_EQ(machine.calls.size(), 1u);
  const IoCall& call = machine.calls[0];
  EXPECT_EQ(call.code, 0x4D008u);
  ASSERT_EQ(call.input.size(), 336u);
  EXPECT_EQ(call.outSize, 336u);
  EXPECT_TRUE(call.sameBuffer);
  expectHeader(call.input, "CSMIARY\0", 30, 11);
  EXPECT_EQ(le32(call.input, 24), 308u);
  EXPECT_TRUE(nonZeroBetween(call.input, 28, 336).empty());
  EXPECT_TRUE(drives.empty());  // the driver named no member
}

TEST(IrstRequestBytes, IntelNvmIdentifyAddressesTheLowByteOfThePathId) {
  for (const auto& [pathId, wire] : {std::pair<std::int64_t, std::uint8_t>{2, 2}, {261, 5}, {-1, 255}, {0, 0}}) {
    ScriptedPlatform machine;
    DriveList drives;
    ASSERT_EQ(identifyIrstDrive(makeCandidate(DriverKind::IrstNonRaid, std::u16string(kController), pathId), drives), 0);
    ASSERT_EQ(machine.calls.size(), 1u);
    const IoCall& call = machine.calls[0];
    EXPECT_EQ(call.code, 0x4D008u);
    ASSERT_EQ(call.input.size(), 4260u);
    EXPECT_EQ(call.outSize, 4260u);
    expectHeader(call.input, "IntelNvm", 10, 0xF0002808);
    EXPECT_EQ(le32(call.input, 24), 4232u);
    EXPECT_EQ(call.input[28], 1);
    EXPECT_EQ(call.input[29], wire) << "pathId " << pathId;
    EXPECT_EQ(le32(call.input, 32), 6u);   // Identify
    EXPECT_EQ(le32(call.input, 72), 1u);   // CNS 01h
    EXPECT_EQ(le32(call.input, 116), 164u);
    EXPECT_EQ(le32(call.input, 120), 4096u);
    std::vector<std::size_t> expected{28, 32, 72, 116, 121};  // 164 = 0xA4, 4096 = 0x1000
    if (wire != 0) expected.insert(expected.begin() + 1, 29);
    EXPECT_EQ(nonZeroBetween(call.input, 28, 4260), expected);
  }
}

// Every download request of a walk, checked field by field against the
// piece it should carry.
void expectDownloadWalk(const ScriptedPlatform& machine, std::uint8_t pathIdByte, std::uint32_t pieceSize,
                        std::size_t expectedPieces) {
  const auto calls = machine.callsWithCode(0x4D008);
  ASSERT_EQ(calls.size(), expectedPieces + 1);  // and the activation
  std::uint64_t offset = 0;
  for (std::size_t i = 0; i < expectedPieces; ++i) {
    const auto& bytes = calls[i].input;
    const std::uint64_t length = std::min<std::uint64_t>(pieceSize, kImageSize - offset);
    SCOPED_TRACE("piece " + std::to_string(i));
    ASSERT_EQ(bytes.size(), 88 + length);
    EXPECT_EQ(calls[i].outSize, bytes.size());
    expectHeader(bytes, "IntelFw ", 30, 0xF0000040);
    EXPECT_EQ(bytes[28], 1);
    EXPECT_EQ(bytes[29], pathIdByte);
    EXPECT_EQ(bytes[30], 0);
    EXPECT_EQ(bytes[31], 0);
    EXPECT_EQ(le32(bytes, 32), 1u);
    EXPECT_EQ(le32(bytes, 36), 24u);
    EXPECT_EQ(le32(bytes, 40), 2u);
    EXPECT_EQ(le32(bytes, 44), 1u);
    EXPECT_EQ(le32(bytes, 48), 56u);
    EXPECT_EQ(le32(bytes, 52), 32 + length);
    EXPECT_EQ(le32(bytes, 56), 2u);
    EXPECT_EQ(le32(bytes, 60), 32u);
    EXPECT_EQ(le64(bytes, 64), offset);
    EXPECT_EQ(le64(bytes, 72), length);
    EXPECT_EQ(bytes[80], 0xFF);
    EXPECT_EQ(bytes[81] | bytes[82] | bytes[83], 0);
    EXPECT_EQ(le32(bytes, 84), 0u);
    EXPECT_EQ(std::memcmp(bytes.data() + 88, imageBuffer + offset, length), 0);
    offset += length;
  }
  EXPECT_EQ(offset, kImageSize);
}

TEST(IrstRequestBytes, DownloadOfGranularityOneIs512PiecesOf4096Bytes) {
  fillImage();
  ScriptedPlatform machine;
  ConsoleCapture console;
  ASSERT_EQ(updateIrstDrive(irstTarget(261, 1), kImageSize), 0u);
  expectDownloadWalk(machine, 5, 4096, 512);
  EXPECT_EQ(le64(machine.calls[511].input, 64), 2093056u);
  EXPECT_EQ(le32(machine.calls[0].input, 52), 4128u);
}

TEST(IrstRequestBytes, DownloadOfGranularityEightIs64PiecesOf32KiB) {
  fillImage();
  ScriptedPlatform machine;
  ConsoleCapture console;
  ASSERT_EQ(updateIrstDrive(irstTarget(-1, 8), kImageSize), 0u);
  expectDownloadWalk(machine, 255, 32768, 64);
}

TEST(IrstRequestBytes, GranularityThatDoesNotDivideTheImageEndsWithAShorterPiece) {
  // 2,097,152 = 170 * 12,288 + 8,192: the last of 171 pieces carries the
  // remaining 8,192 bytes instead of leaving them unsent.
  fillImage();
  ScriptedPlatform machine;
  ConsoleCapture console;
  ASSERT_EQ(updateIrstDrive(irstTarget(3, 3), kImageSize), 0u);
  expectDownloadWalk(machine, 3, 12288, 171);
  const auto& last = machine.calls[170].input;
  EXPECT_EQ(last.size(), 88u + 8192u);
  EXPECT_EQ(le32(last, 24), 60u + 8192u);
  EXPECT_EQ(le32(last, 52), 32u + 8192u);
  EXPECT_EQ(le64(last, 72), 8192u);
}

TEST(IrstRequestBytes, ActivationNamesSlotTwoAndTheLowByteOfThePathId) {
  for (const auto& [pathId, wire] : {std::pair<std::int64_t, std::uint8_t>{2, 2}, {261, 5}, {-1, 255}}) {
    ScriptedPlatform machine;
    ConsoleCapture console;
    ASSERT_EQ(updateIrstDrive(irstTarget(pathId, 128), kImageSize), 0u);
    const auto& calls = machine.calls;
    ASSERT_EQ(calls.size(), 5u);  // four pieces of 512 KiB, then the activation
    const auto& bytes = calls.back().input;
    ASSERT_EQ(bytes.size(), 68u);
    EXPECT_EQ(calls.back().outSize, 68u);
    expectHeader(bytes, "IntelFw ", 30, 0xF0000040);
    EXPECT_EQ(le32(bytes, 24), 40u);
    EXPECT_EQ(bytes[28], 1);
    EXPECT_EQ(bytes[29], wire);
    EXPECT_EQ(le32(bytes, 32), 1u);
    EXPECT_EQ(le32(bytes, 36), 24u);
    EXPECT_EQ(le32(bytes, 40), 3u);
    EXPECT_EQ(le32(bytes, 44), 1u);
    EXPECT_EQ(le32(bytes, 48), 56u);
    EXPECT_EQ(le32(bytes, 52), 12u);
    EXPECT_EQ(le32(bytes, 56), 1u);
    EXPECT_EQ(le32(bytes, 60), 12u);
    EXPECT_EQ(bytes[64], 2);
    EXPECT_EQ(bytes[65] | bytes[66] | bytes[67], 0);
  }
}

}  // namespace
}  // namespace koa::test
