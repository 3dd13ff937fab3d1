// From settings to encoded bytes: formats, sizes, failures and which code is current, and
// every style through the whole pipeline.
#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Engine/CaptchaEngine.h"

#include <gtest/gtest.h>

#include "../Platform/Graphics/ImageDecoders.h"

#include <algorithm>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace quillgate {
namespace {

// The entries of a JPEG file's quantisation tables (DQT segments), table after table in
// file order, each read as 8-bit entries: a precision-and-index byte, then 64 entries.
std::vector<int> JpegQuantisationEntries(std::span<const unsigned char> file) {
  std::vector<int> entries;
  // From after SOI up to the scan data.
  for (std::size_t at = 2; at + 4 <= file.size() && file[at] == 0xFF && file[at + 1] != 0xDA;) {
    const std::size_t length = std::size_t{file[at + 2]} << 8 | file[at + 3];
    const std::size_t end = std::min(file.size(), at + 2 + length);
    for (std::size_t p = at + 4; file[at + 1] == 0xDB && p < end; p += 65) {
      entries.insert(entries.end(), file.begin() + static_cast<std::ptrdiff_t>(p + 1),
                     file.begin() + static_cast<std::ptrdiff_t>(std::min(end, p + 65)));
    }
    at = end;
  }
  return entries;
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
  // Quality 100 makes every entry of both quantisation tables, luma's and chroma's, 1; any
  // lower quality has larger divisors.
  EXPECT_EQ(JpegQuantisationEntries(out.Bytes()), std::vector<int>(2 * 64, 1));
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
      // (" png" keeps its space and so is as unknown as "xyz": the settings test.)
      {"xyz", 31, 250, 50, kFormat},    {"PNG", -1, 250, 50, kStyle},
      {"PNG", 50, 250, 50, kStyle},     {"PNG", 31, 0, 50, kBitmap},
      {"PNG", 31, 32768, 10, kBitmap},  {"PNG", 31, 10, 32768, kBitmap},
      {"PNG", 31, 9000, 9000, kBitmap}, {"PNG", 99, 0, 50, kBitmap}};
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

// ---- all fifty styles ------------------------------------------------------------------
// All fifty styles through the whole pipeline, from a fixed state of the random source:
// every style at the default size and at the smallest one in every format, and at a large
// size in PNG. Each image must decode to its size with the reference decoders and, where
// there is room for letters, show more than one colour. The sanitizer build runs this too,
// so a style that reads or writes out of bounds at an odd size shows there.

namespace decode = graphics::testing;

std::optional<decode::DecodedImage> Decode(const std::string& format,
                                           std::span<const std::uint8_t> bytes) {
  if (format == "PNG") return decode::DecodePng(bytes);
  // The picture inside the other decoders' results, without the extras each format adds.
  const auto image = [](const auto& decoded) -> std::optional<decode::DecodedImage> {
    if (!decoded) return std::nullopt;
    return decoded->image;
  };
  if (format == "JPEG") return image(decode::DecodeJpeg(bytes));
  if (format == "GIF") return image(decode::DecodeGif(bytes));
  if (format == "TIFF") return image(decode::DecodeTiff(bytes));
  return image(decode::DecodeBmp(bytes));
}

using Case = std::tuple<int, std::string, std::pair<int, int>>;  // style, format, size

class EveryStyle : public ::testing::TestWithParam<Case> {};

TEST_P(EveryStyle, MakesAnImageThatDecodesToItsSize) {
  const auto& [style, format, size] = GetParam();
  CaptchaEngine engine;
  engine.SetTextStyle(style);
  engine.SetFormat(format);
  engine.SetImageWidth(size.first);
  engine.SetImageHeight(size.second);
  testing::SetRandomState(31337);
  ByteArray out;
  // Characters outside the alphabets too: a style draws whatever code it is given.
  engine.CreateImage("K3p9#", out);
  const auto image = Decode(format, out.Bytes());
  ASSERT_TRUE(image) << format << " does not decode";
  EXPECT_EQ(image->width, size.first);
  EXPECT_EQ(image->height, size.second);
  if (size.first >= 250) {
    const std::set<std::uint32_t> colours(image->pixels.begin(), image->pixels.end());
    EXPECT_GE(colours.size(), 2u) << "a blank picture";
  }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  const auto& [style, format, size] = info.param;
  return "Style" + std::to_string(style) + "_" + format + "_" + std::to_string(size.first) + "x" +
         std::to_string(size.second);
}

INSTANTIATE_TEST_SUITE_P(DefaultAndSmallest, EveryStyle,
                         ::testing::Combine(::testing::Range(0, 50),
                                            ::testing::Values("JPEG", "PNG", "GIF", "TIFF", "BMP"),
                                            ::testing::Values(std::pair{250, 50}, std::pair{1, 10})),
                         CaseName);

INSTANTIATE_TEST_SUITE_P(Large, EveryStyle,
                         ::testing::Combine(::testing::Range(0, 50), ::testing::Values("PNG"),
                                            ::testing::Values(std::pair{4000, 800})),
                         CaseName);

}  // namespace
}  // namespace quillgate
