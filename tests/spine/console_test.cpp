#include <gtest/gtest.h>

#include "report/console.h"
#include "report/utf16_to_utf8.h"
#include "tests/support/console_capture.h"
#include "transfer/firmware_image.h"
#include "transfer/target_display.h"

namespace koa {
namespace {

TEST(Utf16ToUtf8, AsciiPassesUnchanged) { EXPECT_EQ(utf16ToUtf8(u" >> KOA Started "), " >> KOA Started "); }

TEST(Utf16ToUtf8, EncodesEachRangeWithItsByteCount) {
  EXPECT_EQ(utf16ToUtf8(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(utf16ToUtf8(u"\u07FF"), "\xDF\xBF");
  EXPECT_EQ(utf16ToUtf8(u"\u0800"), "\xE0\xA0\x80");
  EXPECT_EQ(utf16ToUtf8(u"\u65E5"), "\xE6\x97\xA5");
  EXPECT_EQ(utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(utf16ToUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
}

TEST(Utf16ToUtf8, KeepsEmbeddedNul) { EXPECT_EQ(utf16ToUtf8(std::u16string(u"A\0B", 3)), std::string("A\0B", 3)); }

// Identify strings are widened from signed bytes: 0x80 arrives as U+FF80 and
// 0xFF as U+FFFF, and both must reach the console rather than fail.
TEST(Utf16ToUtf8, SignExtendedIdentifyBytesBecomeTheirUtf8) {
  EXPECT_EQ(utf16ToUtf8(std::u16string{char16_t(0xFF80)}), "\xEF\xBE\x80");
  EXPECT_EQ(utf16ToUtf8(std::u16string{char16_t(0xFFFF)}), "\xEF\xBF\xBF");
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeQuestionMarks) {
  EXPECT_EQ(utf16ToUtf8(std::u16string{char16_t(0xD800)}), "?");
  EXPECT_EQ(utf16ToUtf8(std::u16string{char16_t(0xDC00)}), "?");
  EXPECT_EQ(utf16ToUtf8(std::u16string{u'A', char16_t(0xD83D), u'B'}), "A?B");
  // A low surrogate first, then a high one at the very end: neither pairs.
  EXPECT_EQ(utf16ToUtf8(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), "??");
  // Two high surrogates then a low one: the second pair is whole.
  EXPECT_EQ(utf16ToUtf8(std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}),
            "?\xF0\x9F\x98\x80");
}

TEST(Console, WritersShareOneSinkInCallOrderAndFlushEveryCall) {
  test::ConsoleCapture capture;
  console::wide(u"wide ");
  console::narrow("narrow");
  console::narrowLineEnd();
  console::wide(u"\u30E2\u30C7\u30EB");
  console::wideLineEnd();
  console::narrow("  [PASS] Firmware download succeeded.");
  console::narrowLineEnd();
  EXPECT_EQ(capture.text(),
            "wide narrow\n\xE3\x83\xA2\xE3\x83\x87\xE3\x83\xAB\n  [PASS] Firmware download succeeded.\n");
  EXPECT_EQ(capture.writes(), 7);
}

// A character that no narrow locale can represent must not silence the
// lines after it.
TEST(Console, TextAfterAnUnconvertibleCharacterIsNotLost) {
  test::ConsoleCapture capture;
  console::wide(u" Model Number : \u4E2D" + std::u16string{char16_t(0xDBFF)});
  console::wideLineEnd();
  console::wide(u" Serial Number : S1");
  console::wideLineEnd();
  console::narrow("dwError: 2\n");
  EXPECT_EQ(capture.text(), " Model Number : \xE4\xB8\xAD?\n Serial Number : S1\ndwError: 2\n");
}

}  // namespace
}  // namespace koa

namespace koa {
namespace {

// A model number from identify data holds sign-extended bytes (U+FF80 to
// U+FFFF); one from elsewhere may hold any character. The console shows both
// as UTF-8 and keeps writing.
TEST(Console, TargetDisplayShowsWideModelNumbersAsUtf8) {
  loadImage();
  DriveRecord target = makeCandidate(DriverKind::Inbox, u"\\\\.\\PHYSICALDRIVE0", -1);
  target.modelNumber = u"TORVALE " + std::u16string{char16_t(0xFFE9), char16_t(0xFF80)} + u"\u4E2D";
  target.serialNumber = u"S1";
  target.firmwareRevision = u"GXB3LTMW";
  test::ConsoleCapture capture;
  writeTargetDisplayBlock(target);
  EXPECT_NE(capture.text().find("\n Model Number : TORVALE \xEF\xBF\xA9\xEF\xBE\x80\xE4\xB8\xAD\n"
                                " Serial Number : S1\n"),
            std::string::npos)
      << capture.text();
}

}  // namespace
}  // namespace koa
