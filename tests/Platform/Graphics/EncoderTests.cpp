#include "ImageDecoders.h"

#include "Platform/Com/Guid.h"
#include "Platform/Graphics/Encoders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace quillgate::graphics {
namespace {

using testing::DecodedImage;

constexpr std::uint32_t Argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

struct TestImage {
  int width;
  int height;
  std::vector<std::uint32_t> pixels;
  ArgbView View() const { return {width, height, pixels}; }
};

// CAPTCHA-like content: an opaque dark background, a light diagonal band, a coloured frame,
// a corner left transparent (as a style that paints no background leaves it) and a few
// half-transparent pixels. Few distinct colours.
TestImage FlatImage(int width = 61, int height = 23) {
  TestImage image{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint32_t c = Argb(255, 20, 24, 60);
      if (std::abs(x - 2 * y - 5) < 4) c = Argb(255, 240, 240, 230);
      if (x == 1 || y == 1 || x == width - 2 || y == height - 2) c = Argb(255, 200, 30, 40);
      if (x < 6 && y < 5) c = Argb(0, 0, 0, 0);
      if (x == width / 2 && y > 2 && y < 8) c = Argb(128, 10, 200, 90);
      image.pixels[static_cast<std::size_t>(y) * width + x] = c;
    }
  }
  return image;
}

// Many distinct colours: smooth gradients plus deterministic speckle.
TestImage RichImage(int width = 90, int height = 40) {
  TestImage image{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
  std::uint32_t state = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      const unsigned noise = (state >> 16) & 15;
      const unsigned r = static_cast<unsigned>(x * 255 / (width - 1));
      const unsigned g = static_cast<unsigned>(y * 255 / (height - 1));
      const unsigned b = std::min(255u, 100 + noise * 6);
      image.pixels[static_cast<std::size_t>(y) * width + x] = Argb(255, r, g, b);
    }
  }
  return image;
}

std::vector<std::uint8_t> Save(const ArgbView& image, const CLSID& clsid, int quality = 100) {
  const std::int32_t value = quality;
  const EncoderParameter parameter{EncoderQuality, 1, EncoderParameterValueType::Long, &value};
  const EncoderParameters params{{&parameter, 1}};
  MemoryStream stream;
  const Status status = SaveImageToStream(image, stream, clsid, &params);
  EXPECT_EQ(status, Status::Ok) << com::GuidToString(clsid);
  return {stream.Bytes().begin(), stream.Bytes().end()};
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)));
  }
  return worst;
}

// ---- the encoder list ---------------------------------------------------------------------

TEST(EncoderList, ListsTheFiveFormatsWithTheirIdentifiers) {
  std::uint32_t count = 0, size = 0;
  ASSERT_EQ(GetImageEncodersSize(count, size), Status::Ok);
  ASSERT_EQ(count, 5u);
  ASSERT_GE(size, count * sizeof(ImageCodecInfo));
  std::vector<ImageCodecInfo> copy(count);
  EXPECT_EQ(GetImageEncoders(count, size - 1, copy.data()), Status::InvalidParameter);
  EXPECT_EQ(GetImageEncoders(count + 1, size, copy.data()), Status::InvalidParameter);
  EXPECT_NE(GetImageEncoders(count, size, nullptr), Status::Ok);
  ASSERT_EQ(GetImageEncoders(count, size, copy.data()), Status::Ok);
  // Each format's MIME type leads the engine to its encoder; the engine tests encode every
  // format so and decode each with its own reader. The identifiers differ in one digit
  // only: 0, 1, 2, 5 and 6.
  const std::string digits = "01256";
  using Encoders = std::span<const ImageCodecInfo>;
  for (const Encoders encoders : {ImageEncoders(), Encoders(copy)}) {
    ASSERT_EQ(encoders.size(), 5u);
    for (std::size_t i = 0; i < encoders.size(); ++i) {
      EXPECT_EQ(com::GuidToString(encoders[i].Clsid),
                "{557CF40" + digits.substr(i, 1) + "-1A04-11D3-9A73-0000F81EF32E}");
      EXPECT_TRUE(encoders[i].Flags & ImageCodecFlagsEncoder);
      EXPECT_FALSE(encoders[i].FormatDescription.empty());
      EXPECT_FALSE(encoders[i].FilenameExtension.empty());
    }
  }
  EXPECT_EQ(com::GuidToString(EncoderQuality), "{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}");
}

// ---- failures common to all encoders ------------------------------------------------------

// Nothing is written for an unknown encoder, an image that is empty or short of pixels, or
// one wider than the format can say (JPEG and GIF sizes have 16 bits; PNG's have 32).
TEST(SaveImageToStream, RefusesWhatItCannotWriteAndLeavesTheStreamAlone) {
  const std::vector<std::uint32_t> pixels(70000, Argb(255, 1, 2, 3));
  const std::span<const std::uint32_t> twelve(pixels.data(), 12);
  const ArgbView bad[] = {
      {0, 3, twelve}, {4, 0, twelve}, {-4, 3, twelve}, {4, -3, twelve},
      {4, 4, twelve},          // needs 16 pixels, has 12
      {4, 3, {}},              // no pixels at all
      {65536, 65536, twelve},  // the count would overflow 32 bits
  };
  for (const ImageCodecInfo& encoder : ImageEncoders()) {
    for (const ArgbView& view : bad) {
      MemoryStream stream;
      EXPECT_EQ(SaveImageToStream(view, stream, encoder.Clsid, nullptr), Status::InvalidParameter)
          << com::GuidToString(encoder.Clsid) << " " << view.width << "x" << view.height;
      EXPECT_EQ(stream.Size(), 0u);
    }
  }
  MemoryStream stream;
  const CLSID unknown{0x557CF403, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  const ArgbView image{4, 3, twelve};
  EXPECT_EQ(SaveImageToStream(image, stream, unknown, nullptr), Status::UnknownImageFormat);
  const ArgbView wide{70000, 1, pixels};
  EXPECT_EQ(SaveImageToStream(wide, stream, kJpegEncoderClsid, nullptr), Status::ValueOverflow);
  EXPECT_EQ(SaveImageToStream(wide, stream, kGifEncoderClsid, nullptr), Status::ValueOverflow);
  EXPECT_EQ(stream.Size(), 0u);
  EXPECT_EQ(SaveImageToStream(wide, stream, kPngEncoderClsid, nullptr), Status::Ok);
}

// ---- the lossless formats ------------------------------------------------------------------

// PNG, BMP and TIFF give back every pixel, alpha included, whatever the image: flat, with
// many colours over more rows than one TIFF strip holds, or a single pixel. The files are
// laid out as agreed: an 8-bit RGBA PNG; a BMP with the 40-byte header and 32 bits a pixel,
// uncompressed (the readers refuse other depths); an LZW TIFF with unassociated alpha.
TEST(LosslessEncoders, EveryPixelDecodesBackExactlyFromTheAgreedLayouts) {
  const TestImage images[] = {FlatImage(), RichImage(300, 120), {1, 1, {Argb(255, 10, 20, 30)}}};
  for (const TestImage& image : images) {
    SCOPED_TRACE(image.width);
    const auto pngFile = Save(image.View(), kPngEncoderClsid);
    const auto bmpFile = Save(image.View(), kBmpEncoderClsid);
    const auto png = testing::DecodePng(pngFile);
    const auto bmp = testing::DecodeBmp(bmpFile);
    const auto tiff = testing::DecodeTiff(Save(image.View(), kTiffEncoderClsid));
    ASSERT_TRUE(png && bmp && tiff);
    for (const DecodedImage* decoded : {&*png, &bmp->image, &tiff->image}) {
      EXPECT_EQ(decoded->width, image.width);
      EXPECT_EQ(decoded->height, image.height);
      EXPECT_EQ(decoded->pixels, image.pixels);  // for BMP this also proves bottom-up rows
    }
    EXPECT_EQ(pngFile[24], 8);  // IHDR bit depth
    EXPECT_EQ(pngFile[25], 6);  // IHDR colour type: RGBA
    EXPECT_EQ(bmp->fileSizeField, bmpFile.size());
    EXPECT_EQ(bmpFile.size(), 54u + 4u * image.pixels.size());
    EXPECT_EQ(bmp->headerSize, 40u);
    EXPECT_EQ(bmp->compression, 0u);
    EXPECT_EQ(tiff->compression, 5);  // LZW
    EXPECT_EQ(tiff->extraSampleKind, 2);  // unassociated alpha
  }
}

// ---- JPEG ---------------------------------------------------------------------------------

// At quality 100 the picture comes back close, with full chroma; at 50 it is smaller, with
// chroma halved each way. Without parameters the quality is 75.
TEST(JpegEncoder, QualityDecidesFidelityAndChroma) {
  const TestImage image = RichImage();
  const auto best = Save(image.View(), kJpegEncoderClsid, 100);
  const auto half = Save(image.View(), kJpegEncoderClsid, 50);
  EXPECT_LT(half.size(), best.size());
  for (const auto& [file, sampling] : {std::pair{&best, 1}, {&half, 2}}) {
    const auto decoded = testing::DecodeJpeg(*file);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->image.width, image.width);
    EXPECT_EQ(decoded->image.height, image.height);
    EXPECT_EQ(decoded->components, 3);
    EXPECT_EQ(decoded->lumaHorizontalSampling, sampling);
    EXPECT_EQ(decoded->lumaVerticalSampling, sampling);
    if (sampling == 2) continue;
    int worst = 0;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
      worst = std::max(worst, ChannelDistance(decoded->image.pixels[i], image.pixels[i]));
    }
    EXPECT_LE(worst, 8);
  }
  MemoryStream stream;
  ASSERT_EQ(SaveImageToStream(image.View(), stream, kJpegEncoderClsid, nullptr), Status::Ok);
  const std::vector<std::uint8_t> plain(stream.Bytes().begin(), stream.Bytes().end());
  EXPECT_EQ(plain, Save(image.View(), kJpegEncoderClsid, 75));
}

TEST(JpegEncoder, TransparentPixelsShowTheirStoredColour) {
  // A never-painted bitmap is all zeros: transparent black must come out black, and a
  // transparent pixel with a colour keeps that colour.
  TestImage image{16, 16, std::vector<std::uint32_t>(256, 0u)};
  for (int i = 128; i < 256; ++i) image.pixels[static_cast<std::size_t>(i)] = Argb(0, 255, 255, 255);
  const auto decoded = testing::DecodeJpeg(Save(image.View(), kJpegEncoderClsid, 100));
  ASSERT_TRUE(decoded);
  for (int i = 0; i < 256; ++i) {
    const std::uint32_t expected = i < 128 ? Argb(255, 0, 0, 0) : Argb(255, 255, 255, 255);
    EXPECT_LE(ChannelDistance(decoded->image.pixels[static_cast<std::size_t>(i)], expected), 3) << i;
  }
}

TEST(JpegEncoder, MalformedQualityParameterIsRefused) {
  const TestImage image = FlatImage();
  const std::int32_t fine = 80, tooHigh = 101, negative = -1;
  const std::int16_t shortValue = 80;
  const EncoderParameter cases[] = {
      {EncoderQuality, 1, EncoderParameterValueType::Long, &tooHigh},
      {EncoderQuality, 1, EncoderParameterValueType::Long, &negative},
      {EncoderQuality, 1, EncoderParameterValueType::Short, &shortValue},
      {EncoderQuality, 0, EncoderParameterValueType::Long, &fine},
      {EncoderQuality, 1, EncoderParameterValueType::Long, nullptr},
  };
  for (const EncoderParameter& parameter : cases) {
    const EncoderParameters params{{&parameter, 1}};
    MemoryStream stream;
    EXPECT_EQ(SaveImageToStream(image.View(), stream, kJpegEncoderClsid, &params), Status::InvalidParameter);
    EXPECT_EQ(stream.Size(), 0u);
    // The other encoders have no use for the quality and ignore it.
    EXPECT_EQ(SaveImageToStream(image.View(), stream, kPngEncoderClsid, &params), Status::Ok);
  }
}

// ---- GIF ----------------------------------------------------------------------------------

// Up to 256 colours stay exact, alpha ignored and nothing transparent, in a palette of the
// least size that holds them: no colour drift, no wasted entries.
TEST(GifEncoder, FewColoursStayExactInAPaletteOfTheirOwnSize) {
  TestImage full{32, 16, std::vector<std::uint32_t>(512)};  // 256 distinct colours
  for (std::size_t i = 0; i < full.pixels.size(); ++i) {
    const auto k = static_cast<unsigned>(i % 256);
    full.pixels[i] = Argb(255, k, 255 - k, (k * 7) & 255);
  }
  TestImage twoColour{40, 10, std::vector<std::uint32_t>(400, Argb(255, 0, 0, 0))};
  for (int x = 5; x < 35; ++x) twoColour.pixels[static_cast<std::size_t>(4 * 40 + x)] = ~0u;
  const TestImage flat = FlatImage();  // five colours, some of them translucent
  for (const auto& [image, paletteSize] :
       {std::pair<const TestImage*, int>{&full, 256}, {&twoColour, 2}, {&flat, 8}}) {
    const auto file = Save(image->View(), kGifEncoderClsid);
    const auto decoded = testing::DecodeGif(file);
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->hasTransparency);
    EXPECT_EQ(decoded->paletteSize, paletteSize);
    EXPECT_EQ(decoded->image.width, image->width);
    EXPECT_EQ(decoded->image.height, image->height);
    for (std::size_t i = 0; i < image->pixels.size(); ++i) {
      ASSERT_EQ(decoded->image.pixels[i], image->pixels[i] | 0xFF000000u) << i;  // alpha ignored
    }
  }
}

TEST(GifEncoder, ManyColoursGetAnAdaptivePaletteBetterThanAFixedCube) {
  const TestImage image = RichImage();
  std::set<std::uint32_t> distinct(image.pixels.begin(), image.pixels.end());
  ASSERT_GT(distinct.size(), 256u);
  const auto decoded = testing::DecodeGif(Save(image.View(), kGifEncoderClsid));
  ASSERT_TRUE(decoded);
  std::set<std::uint32_t> used(decoded->image.pixels.begin(), decoded->image.pixels.end());
  EXPECT_GT(used.size(), 200u);  // the palette is actually spent
  // Squared error against the 6 × 6 × 6 web-safe cube that a fixed palette would give.
  const auto squaredError = [](std::uint32_t a, std::uint32_t b) {
    double sum = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      const double d = static_cast<double>((a >> shift) & 255) - static_cast<double>((b >> shift) & 255);
      sum += d * d;
    }
    return sum;
  };
  const auto cube = [](std::uint32_t c) {
    std::uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) out |= ((((c >> shift) & 255) + 25) / 51 * 51) << shift;
    return out;
  };
  double adaptive = 0, fixed = 0;
  int worst = 0;
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    adaptive += squaredError(decoded->image.pixels[i], image.pixels[i]);
    fixed += squaredError(cube(image.pixels[i]), image.pixels[i]);
    worst = std::max(worst, ChannelDistance(decoded->image.pixels[i], image.pixels[i]));
  }
  EXPECT_LT(adaptive, fixed / 2) << adaptive / image.pixels.size() << " vs " << fixed / image.pixels.size();
  EXPECT_LE(worst, 40);
}

}  // namespace
}  // namespace quillgate::graphics
