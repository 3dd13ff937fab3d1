// All fifty styles through the whole pipeline, from a fixed state of the random source:
// every style at the default size and at the smallest one in every format, and at a large
// size in PNG. Each image must decode to its size with the reference decoders and, where
// there is room for letters, show more than one colour. The sanitizer build runs this too,
// so a style that reads or writes out of bounds at an odd size shows there.
#include "CommonUtilities/RandomSourceTesting.h"
#include "Engine/CaptchaEngine.h"
#include "Styles/StyleRenderer.h"

#include "../Platform/Graphics/ImageDecoders.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <span>
#include <string>
#include <tuple>

namespace quillgate {
namespace {

namespace decode = graphics::testing;

// The picture inside a decoder's result, whichever extras the format's decoder adds.
decode::DecodedImage ImageOf(const decode::DecodedImage& image) { return image; }
decode::DecodedImage ImageOf(const auto& decoded) { return decoded.image; }

std::optional<decode::DecodedImage> Decode(const std::string& format,
                                           std::span<const std::uint8_t> bytes) {
  const auto image = [](const auto& decoded) -> std::optional<decode::DecodedImage> {
    if (!decoded) return std::nullopt;
    return ImageOf(*decoded);
  };
  if (format == "JPEG") return image(decode::DecodeJpeg(bytes));
  if (format == "GIF") return image(decode::DecodeGif(bytes));
  if (format == "PNG") return image(decode::DecodePng(bytes));
  if (format == "TIFF") return image(decode::DecodeTiff(bytes));
  return image(decode::DecodeBmp(bytes));
}

using Case = std::tuple<int, std::string, std::pair<int, int>>;  // style, format, size

class EveryStyle : public ::testing::TestWithParam<Case> {};

TEST_P(EveryStyle, MakesAnImageThatDecodesToItsSize) {
  const auto& [style, format, size] = GetParam();
  ASSERT_TRUE(CreateStyleRenderer(style)) << "style " << style << " is not drawn";
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
