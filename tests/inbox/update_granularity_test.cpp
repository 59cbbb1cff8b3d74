#include <gtest/gtest.h>

#include <array>

#include "tests/support/bytes.h"
#include "transfer/identify_controller.h"
#include "wire/nvme.h"

namespace koa {
namespace {

TEST(UpdateGranularity, FwugCountsFromVersionOnePointThree) {
  EXPECT_EQ(updateGranularityFor(1, 2, 8), 1);
  EXPECT_EQ(updateGranularityFor(1, 3, 8), 8);
  EXPECT_EQ(updateGranularityFor(1, 4, 3), 3);
  EXPECT_EQ(updateGranularityFor(0, 9, 8), 1);
}

TEST(UpdateGranularity, LaterMajorVersionsCountAsAtLeastOnePointThree) {
  EXPECT_EQ(updateGranularityFor(2, 0, 8), 8);
  EXPECT_EQ(updateGranularityFor(2, 1, 16), 16);
  EXPECT_EQ(updateGranularityFor(0x0100, 0, 4), 4);
}

TEST(UpdateGranularity, ZeroAndNoRestrictionGiveOne) {
  EXPECT_EQ(updateGranularityFor(1, 3, 0), 1);
  EXPECT_EQ(updateGranularityFor(1, 3, 0xFF), 1);
  EXPECT_EQ(updateGranularityFor(2, 0, 0xFF), 1);
  EXPECT_EQ(updateGranularityFor(1, 3, 0xFE), 254);
}

std::array<std::uint8_t, nvme::kIdentifyLength> identifyData() {
  std::array<std::uint8_t, nvme::kIdentifyLength> data{};
  return data;
}

TEST(IdentifyController, TextFieldsStopAtTheFirstNulAndKeepBlanks) {
  auto data = identifyData();
  test::putAscii(data.data(), 4, "S0SERIAL000000000001");  // 20 bytes, no NUL: all kept
  test::putAscii(data.data(), 24, "TORVALE NVME SSD  ");
  test::putAscii(data.data(), 64, "GXB3LTMW");
  data[72] = 'X';  // the byte after FR is not part of it
  DriveRecord record;
  identify::fillFromIdentify(record, data.data());
  EXPECT_EQ(record.serialNumber, u"S0SERIAL000000000001");
  EXPECT_EQ(record.modelNumber, u"TORVALE NVME SSD  ");
  EXPECT_EQ(record.firmwareRevision, u"GXB3LTMW");
}

TEST(IdentifyController, FieldsAreAppendedToWhatTheRecordHolds) {
  auto data = identifyData();
  test::putAscii(data.data(), 64, "GXB3");
  DriveRecord record;
  record.firmwareRevision = u"[";
  identify::fillFromIdentify(record, data.data());
  EXPECT_EQ(record.firmwareRevision, u"[GXB3");
}

TEST(IdentifyController, HighBytesAreWidenedAsSignedCharacters) {
  auto data = identifyData();
  data[64] = 0xC3;
  data[65] = 0x7F;
  EXPECT_EQ(identify::fieldText(data.data(), 64, 8), (std::u16string{char16_t{0xFFC3}, char16_t{0x7F}}));
}

TEST(IdentifyController, GranularityReadFromVersionAndFwug) {
  auto data = identifyData();
  data[80] = 9;  // tertiary version: not looked at
  data[81] = 3;
  test::putLe(data.data(), 82, 1, 2);
  data[319] = 8;
  DriveRecord record;
  identify::fillFromIdentify(record, data.data());
  EXPECT_EQ(record.updateGranularity, 8);
  data[81] = 2;
  identify::fillFromIdentify(record, data.data());
  EXPECT_EQ(record.updateGranularity, 1);
  data[81] = 0;
  test::putLe(data.data(), 82, 2, 2);
  identify::fillFromIdentify(record, data.data());
  EXPECT_EQ(record.updateGranularity, 8);
}

}  // namespace
}  // namespace koa
