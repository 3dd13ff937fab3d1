// From settings to encoded bytes: formats, sizes, failures and which code is current.
#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Engine/CaptchaEngine.h"

#include <gtest/gtest.h>

#include "../Platform/Graphics/ImageDecoders.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace quillgate {
namespace {

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

// Each refusal names its cause and keeps the code it was asked to draw current, as a host
// that reads the code after a failure expects. A size the bitmap cannot have is refused
// before anything is drawn, and before the style is looked at.
TEST(ImagePipelineTest, RefusedSettingsNameTheirCauseAndTheLargestSidesWork) {
  const std::string kFormat = "This picture format is not supported !";
  const std::string kStyle = "This text style is not supported !";
  const std::string kBitmap = "Failed to create the bitmap!";
  const struct {
    const char* format;
    int style;
    int width;
    int height;
    const std::string& failure;
  } cases[] = {
      {"xyz", 31, 250, 50, kFormat},  {" png", 31, 250, 50, kFormat},  // the space stays
      {"PNG", -1, 250, 50, kStyle},   {"PNG", 50, 250, 50, kStyle},
      {"PNG", 31, 0, 50, kBitmap},    {"PNG", 31, 32768, 10, kBitmap},
      {"PNG", 31, 10, 32768, kBitmap}, {"PNG", 31, 9000, 9000, kBitmap},
      {"PNG", 31, 1 << 30, 1 << 30, kBitmap}, {"PNG", 99, 0, 50, kBitmap}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " style " + std::to_string(c.style) + " at " +
                 std::to_string(c.width) + "x" + std::to_string(c.height));
    CaptchaEngine engine;
    engine.SetFormat(c.format);
    engine.SetTextStyle(c.style);
    engine.SetImageWidth(c.width);
    engine.SetImageHeight(c.height);
    const std::uint64_t before = testing::RandomDrawCount();
    try {
      ByteArray out;
      engine.CreateImage("QQ77", out);
      ADD_FAILURE() << "not refused";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.what(), c.failure);
    }
    EXPECT_EQ(engine.GetValue(), "QQ77");
    if (c.failure == kBitmap) {
      EXPECT_EQ(testing::RandomDrawCount(), before) << "nothing drawn";
    }
  }

  CaptchaEngine engine;
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

}  // namespace
}  // namespace quillgate
