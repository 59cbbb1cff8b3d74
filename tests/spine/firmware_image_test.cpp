#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/machine_run.h"
#include "transfer/firmware_image.h"

namespace koa {
namespace {

TEST(FirmwareImage, LoadImageCopiesExactlyTheEmbeddedFile) {
  const std::string file = test::readFile(KOA_EMBEDDED_IMAGE_PATH);
  ASSERT_EQ(file.size(), kImageSize);
  loadImage();
  EXPECT_EQ(std::memcmp(imageBuffer, file.data(), kImageSize), 0);
}

TEST(FirmwareImage, RevisionIsTheEightBytesAt0x42Widened) {
  loadImage();
  ASSERT_EQ(imageRevision.size(), 8u);
  for (std::uint32_t i = 0; i < 8; ++i)
    EXPECT_EQ(imageRevision[i], static_cast<char16_t>(imageBuffer[0x42 + i])) << i;
}

#ifndef KOA_REAL_FIRMWARE_IMAGE
TEST(FirmwareImage, PlaceholderCarriesTheRevisionGXB4LTMW) {
  loadImage();
  EXPECT_EQ(imageRevision, u"GXB4LTMW");
}

// The placeholder must let a test tell one piece from another: a piece sent
// at the wrong offset, twice, or not at all shows in the drive's copy.
TEST(FirmwareImage, PlaceholderPiecesAreAllDifferent) {
  loadImage();
  constexpr std::uint32_t kPiece = 4096;
  for (std::uint32_t a = 0; a < kImageSize; a += 64 * kPiece)
    for (std::uint32_t b = a + kPiece; b < kImageSize; b += 7 * kPiece)
      ASSERT_NE(std::memcmp(imageBuffer + a, imageBuffer + b, kPiece), 0) << a << " " << b;
}
#endif

// The configure-time check of an image given with -DKOA_FIRMWARE_IMAGE.
class ImageCheck : public ::testing::Test {
 protected:
  void SetUp() override { directory_ = test::makeTemporaryDirectory(); }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  static test::MachineRun checkFile(const std::filesystem::path& image) {
    return test::runCommand(KOA_CMAKE_COMMAND, {"-DKOA_FIRMWARE_IMAGE=" + image.string(), "-P",
                                                test::sourcePath("cmake/check_firmware_image.cmake").string()});
  }

  test::MachineRun check(const std::string& content) {
    const auto image = directory_ / "image.bin";
    test::writeFile(image, content);
    return checkFile(image);
  }

  static std::string image(const std::string& revision) {
    std::string bytes(kImageSize, '\x5A');
    bytes.replace(0x42, revision.size(), revision);
    return bytes;
  }

  std::filesystem::path directory_;
};

// CMake wraps its messages; compare with runs of blanks and line ends as one blank.
std::string oneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\n';
    if (blank && !out.empty() && out.back() == ' ') continue;
    out.push_back(blank ? ' ' : c);
  }
  return out;
}

TEST_F(ImageCheck, AcceptsAWholeImageAndNamesItsRevision) {
  const auto run = check(image("GXB5LTMW"));
  EXPECT_EQ(run.exitCode, 0) << run.standardError;
  EXPECT_NE(run.standardOutput.find("firmware image revision: GXB5LTMW"), std::string::npos);
}

TEST_F(ImageCheck, AcceptsBlanksAndPunctuationInTheRevision) {
  EXPECT_EQ(check(image(" ~B4-T! ")).exitCode, 0);
}

TEST_F(ImageCheck, RejectsAnImageOneByteShort) {
  std::string bytes = image("GXB4LTMW");
  bytes.pop_back();
  const auto run = check(bytes);
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(oneLine(run.standardError).find("is 2097151 bytes; a firmware image is exactly 2097152 bytes"),
            std::string::npos)
      << run.standardError;
}

TEST_F(ImageCheck, RejectsAnImageOneByteLong) {
  const auto run = check(image("GXB4LTMW") + "x");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(oneLine(run.standardError).find("is 2097153 bytes"), std::string::npos) << run.standardError;
}

TEST_F(ImageCheck, RejectsAnEmptyFile) { EXPECT_NE(check("").exitCode, 0); }

TEST_F(ImageCheck, RejectsANulInTheRevision) {
  const auto run = check(image(std::string("GXB4LTM\0", 8)));
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(oneLine(run.standardError).find("byte 0x00 at offset 73"), std::string::npos) << run.standardError;
}

TEST_F(ImageCheck, RejectsControlAndHighBytesInTheRevision) {
  EXPECT_NE(check(image("\x1FXB4LTMW")).exitCode, 0);
  EXPECT_NE(check(image("GXB4\x7FTMW")).exitCode, 0);
  const auto run = check(image("GXB4LT\xC3\xA9"));
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(oneLine(run.standardError).find("byte 0xc3 at offset 72"), std::string::npos) << run.standardError;
}

TEST_F(ImageCheck, RejectsAMissingFile) {
  const auto run = checkFile(directory_ / "none.bin");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(oneLine(run.standardError).find("is not a file"), std::string::npos) << run.standardError;
}

// The version record's FirmwareRevision is read from the image at build
// time; a quote or backslash in the revision must reach the resource
// compiler escaped ("" and \\), or the record would hold another text.
TEST_F(ImageCheck, TheVersionRecordTakesTheRevisionFromTheImageEscaped) {
  const auto imageFile = directory_ / "image.bin";
  const auto header = directory_ / "firmware_revision.h";
  test::writeFile(imageFile, image("G\"B\\4 ~!"));
  const auto run = test::runCommand(KOA_CMAKE_COMMAND,
                                    {"-DKOA_FIRMWARE_IMAGE=" + imageFile.string(), "-DOUTPUT=" + header.string(),
                                     "-P", test::sourcePath("cmake/firmware_revision_header.cmake").string()});
  ASSERT_EQ(run.exitCode, 0) << run.standardError;
  EXPECT_EQ(test::readFile(header), "#define KOA_FIRMWARE_REVISION \"G\"\"B\\\\4 ~!\"\n");
}

}  // namespace
}  // namespace koa
