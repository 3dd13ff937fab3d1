// From settings to encoded bytes: formats, sizes, failures and which code is current.
#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Engine/CaptchaEngine.h"
#include "Engine/ImageEncoding.h"

#include <gtest/gtest.h>

#include "../Platform/Graphics/ImageDecoders.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace quillgate {
namespace {

std::string FailureOf(CaptchaEngine& engine, std::string_view code = {}) {
  ByteArray out;
  try {
    engine.CreateImage(code, out);
  } catch (const EngineError& e) {
    return e.what();
  }
  return "no failure";
}

// The quantisation tables (DQT segments) of a JPEG file, in file order, read as tables of
// 8-bit entries: a precision-and-index byte, then 64 entries.
std::vector<std::vector<int>> JpegQuantisationTables(std::span<const unsigned char> file) {
  std::vector<std::vector<int>> tables;
  // From after SOI up to the scan data.
  for (std::size_t at = 2; at + 4 <= file.size() && file[at] == 0xFF && file[at + 1] != 0xDA;) {
    const std::size_t length = std::size_t{file[at + 2]} << 8 | file[at + 3];
    const std::size_t end = std::min(file.size(), at + 2 + length);
    for (std::size_t p = at + 4; file[at + 1] == 0xDB && p < end; p += 65) {
      tables.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(p + 1),
                          file.begin() + static_cast<std::ptrdiff_t>(std::min(end, p + 65)));
    }
    at = end;
  }
  return tables;
}

TEST(ImagePipelineTest, DefaultsGiveA250By50JpegOfTheDefaultStyle) {
  CaptchaEngine engine;
  EXPECT_EQ(engine.CodeType(), 0);
  EXPECT_EQ(engine.TextStyle(), 31);
  ByteArray out;
  engine.CreateImage({}, out);
  const auto image = graphics::testing::DecodeJpeg(out.Bytes());
  ASSERT_TRUE(image);
  ASSERT_EQ(image->image.width, 250);
  ASSERT_EQ(image->image.height, 50);
  EXPECT_EQ(engine.GetValue().size(), 5u);
  // Quality 100 makes every entry of every quantisation table 1; any lower quality has
  // larger divisors.
  const std::vector<std::vector<int>> tables = JpegQuantisationTables(out.Bytes());
  ASSERT_EQ(tables.size(), 2u) << "one table for luma, one for chroma";
  for (const auto& table : tables) {
    ASSERT_EQ(table.size(), 64u);
    EXPECT_EQ(std::count(table.begin(), table.end(), 1), 64);
  }
}

TEST(ImagePipelineTest, FailuresKeepTheNewCodeCurrent) {
  CaptchaEngine engine;
  engine.SetFormat("xyz");
  EXPECT_EQ(FailureOf(engine), "This picture format is not supported !");
  EXPECT_EQ(engine.GetValue().size(), 5u);
  EXPECT_EQ(FailureOf(engine, "QQ77"), "This picture format is not supported !");
  EXPECT_EQ(engine.GetValue(), "QQ77");
  engine.SetFormat(" png");  // the space stays in the name
  EXPECT_EQ(FailureOf(engine), "This picture format is not supported !");
  EXPECT_NE(engine.GetValue(), "QQ77");
}

TEST(ImagePipelineTest, UnknownStylesAreRejected) {
  CaptchaEngine engine;
  for (int style : {-1, 50, 1 << 30}) {
    engine.SetTextStyle(style);
    EXPECT_EQ(FailureOf(engine, "ST" + std::to_string(style)), "This text style is not supported !");
    EXPECT_EQ(engine.GetValue(), "ST" + std::to_string(style));
  }
}

TEST(ImagePipelineTest, SizesTheBitmapCannotHaveFailBeforeDrawingAndTheLargestSidesWork) {
  for (const auto& [width, height] : {std::pair{0, 50}, {-7, 50}, {32768, 10}, {10, 32768},
                                      {9000, 9000}, {1 << 30, 1 << 30}}) {
    CaptchaEngine engine;
    engine.SetImageWidth(width);
    engine.SetImageHeight(height);
    const std::uint64_t before = testing::RandomDrawCount();
    EXPECT_EQ(FailureOf(engine, "SIZE"), "Failed to create the bitmap!") << width << "x" << height;
    EXPECT_EQ(testing::RandomDrawCount(), before) << "nothing drawn";
    EXPECT_EQ(engine.GetValue(), "SIZE");
  }
  // The bitmap check comes before the style check.
  CaptchaEngine engine;
  engine.SetImageWidth(0);
  engine.SetTextStyle(99);
  EXPECT_EQ(FailureOf(engine), "Failed to create the bitmap!");

  engine.SetTextStyle(31);
  engine.SetFormat("BMP");
  engine.SetImageWidth(32767);
  engine.SetImageHeight(10);
  ByteArray out;
  engine.CreateImage({}, out);
  const auto image = graphics::testing::DecodeBmp(out.Bytes());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->image.width, 32767);
  EXPECT_EQ(image->image.height, 10);
}

TEST(FindEncoderTest, FormatNamesMapToMimeTypes) {
  EXPECT_EQ(MimeTypeOfFormat("JPEG"), u"image/jpeg");
  EXPECT_EQ(MimeTypeOfFormat("TIFF"), u"image/tiff");
  EXPECT_EQ(MimeTypeOfFormat("GIF"), u"image/gif");
  EXPECT_FALSE(MimeTypeOfFormat("JPG"));
  EXPECT_FALSE(MimeTypeOfFormat("png"));
  EXPECT_FALSE(MimeTypeOfFormat(""));
}

}  // namespace
}  // namespace quillgate
