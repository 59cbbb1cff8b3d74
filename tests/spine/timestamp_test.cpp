#include <gtest/gtest.h>

#include "report/timestamp.h"
#include "tests/support/recording_platform.h"

namespace koa {
namespace {

std::string timestampAt(LocalTime time) {
  auto& platform = test::RecordingPlatform::install();
  platform.clock = {time};
  return currentTimestamp();
}

TEST(Timestamp, DayMonthYearThenTimeInParentheses) {
  EXPECT_EQ(timestampAt({2026, 12, 7, 21, 5, 3}), "07-12-2026(21:05:03)");
}

TEST(Timestamp, SingleDigitFieldsCarryALeadingZero) {
  EXPECT_EQ(timestampAt({2027, 2, 1, 3, 4, 5}), "01-02-2027(03:04:05)");
  EXPECT_EQ(timestampAt({2027, 1, 1, 0, 0, 0}), "01-01-2027(00:00:00)");
}

TEST(Timestamp, YearIsPaddedToFourDigits) { EXPECT_EQ(timestampAt({987, 10, 31, 23, 59, 59}), "31-10-0987(23:59:59)"); }

TEST(Timestamp, LeapSecondIsShownAsTheClockGivesIt) {
  EXPECT_EQ(timestampAt({2016, 12, 31, 23, 59, 60}), "31-12-2016(23:59:60)");
}

TEST(Timestamp, ReadsTheClockOncePerCall) {
  auto& platform = test::RecordingPlatform::install();
  platform.clock = {{2026, 1, 2, 3, 4, 5}, {2026, 1, 2, 3, 4, 6}};
  EXPECT_EQ(currentTimestamp(), "02-01-2026(03:04:05)");
  EXPECT_EQ(currentTimestamp(), "02-01-2026(03:04:06)");
  EXPECT_EQ(platform.clockReads, 2);
}

}  // namespace
}  // namespace koa
