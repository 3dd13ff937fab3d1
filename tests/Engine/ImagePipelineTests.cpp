// From settings to encoded bytes: formats, sizes, failures and which code is current.
#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Engine/CaptchaEngine.h"
#include "Engine/ImageEncoding.h"
#include "Engine/ImageGenerator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <string>
#include <vector>

namespace quillgate {
namespace {

struct Decoded {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // 3 bytes per pixel
};

struct JpegErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

Decoded DecodeJpeg(const ByteArray& bytes) {
  jpeg_decompress_struct info{};
  JpegErrorManager error{};
  info.err = jpeg_std_error(&error.base);
  error.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegErrorManager*>(c->err)->jump, 1); };
  Decoded out;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return {};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.buffer.get(), static_cast<unsigned long>(bytes.length));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.rgb.data() + static_cast<std::size_t>(info.output_scanline) * out.width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return out;
}

std::pair<int, int> PngSize(const ByteArray& bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.buffer.get(), static_cast<std::size_t>(bytes.length))) {
    return {0, 0};
  }
  png_image_free(&image);
  return {static_cast<int>(image.width), static_cast<int>(image.height)};
}

std::string Prefix(const ByteArray& bytes, std::size_t n) {
  const auto span = bytes.Bytes();
  return std::string(span.begin(), span.begin() + static_cast<std::ptrdiff_t>(std::min(n, span.size())));
}

std::string FailureOf(CaptchaEngine& engine, std::string_view code = {}) {
  ByteArray out;
  try {
    engine.CreateImage(code, out);
  } catch (const EngineError& e) {
    return e.what();
  }
  return "no failure";
}

TEST(ImagePipelineTest, DefaultsGiveA250By50JpegOfTheDefaultStyle) {
  CaptchaEngine engine;
  ByteArray out;
  engine.CreateImage({}, out);
  ASSERT_GT(out.length, 0);
  EXPECT_EQ(Prefix(out, 3), "\xFF\xD8\xFF");
  const Decoded image = DecodeJpeg(out);
  ASSERT_EQ(image.width, 250);
  ASSERT_EQ(image.height, 50);
  // White outline on black: most pixels dark, some bright and grey-free (R = G = B).
  int dark = 0, bright = 0;
  for (std::size_t i = 0; i < image.rgb.size(); i += 3) {
    const int r = image.rgb[i], g = image.rgb[i + 1], b = image.rgb[i + 2];
    EXPECT_LE(std::abs(r - g) + std::abs(g - b), 24);
    dark += r < 40 ? 1 : 0;
    bright += r > 200 ? 1 : 0;
  }
  EXPECT_GT(dark, 250 * 50 / 2);
  EXPECT_GT(bright, 100);
  EXPECT_EQ(engine.GetValue().size(), 5u);
}

TEST(ImagePipelineTest, EachFormatWritesItsSignature) {
  const std::vector<std::pair<std::string, std::string>> formats = {
      {"png", "\x89PNG\r\n\x1A\n"}, {"BMP", "BM"}, {"gif", "GIF8"}, {"Jpg", "\xFF\xD8\xFF"}};
  for (const auto& [format, signature] : formats) {
    CaptchaEngine engine;
    engine.SetFormat(format);
    ByteArray out;
    engine.CreateImage({}, out);
    EXPECT_EQ(Prefix(out, signature.size()), signature) << format;
  }
  CaptchaEngine engine;
  engine.SetFormat("tiff");
  ByteArray out;
  engine.CreateImage({}, out);
  const std::string mark = Prefix(out, 4);
  EXPECT_TRUE(mark == std::string("II*\0", 4) || mark == std::string("MM\0*", 4)) << mark;
}

TEST(ImagePipelineTest, HeightIsRaisedToTenAndWidthKept) {
  CaptchaEngine engine;
  engine.SetFormat("PNG");
  engine.SetImageHeight(5);
  engine.SetImageWidth(123);
  ByteArray out;
  engine.CreateImage({}, out);
  EXPECT_EQ(PngSize(out), std::make_pair(123, 10));
}

TEST(ImagePipelineTest, GivenCodeIsDrawnAndStaysCurrent) {
  CaptchaEngine engine;
  engine.SetFormat("PNG");
  ByteArray first, second;
  testing::SetRandomState(5);
  engine.CreateImage("AB12", first);
  EXPECT_EQ(engine.GetValue(), "AB12");
  testing::SetRandomState(5);
  engine.CreateImage("AB12", second);
  EXPECT_EQ(std::vector(first.Bytes().begin(), first.Bytes().end()),
            std::vector(second.Bytes().begin(), second.Bytes().end()))
      << "one state, one code: one image";
}

TEST(ImagePipelineTest, CodeCharactersComeFirstThenTheStyleDraws) {
  CaptchaEngine engine;
  engine.SetCodeLength(7);
  ByteArray out;
  const std::uint64_t before = testing::RandomDrawCount();
  engine.CreateImage({}, out);
  EXPECT_EQ(testing::RandomDrawCount() - before, 7u + 5u) << "style 31: rectangle and family";
}

TEST(ImagePipelineTest, FailuresKeepTheNewCodeCurrent) {
  CaptchaEngine engine;
  engine.SetFormat("xyz");
  EXPECT_EQ(FailureOf(engine), "This picture format is not supported !");
  const std::string drawn = engine.GetValue();
  EXPECT_EQ(drawn.size(), 5u);
  EXPECT_EQ(FailureOf(engine, "QQ77"), "This picture format is not supported !");
  EXPECT_EQ(engine.GetValue(), "QQ77");
  engine.SetFormat(" png");  // the space stays in the name
  EXPECT_EQ(FailureOf(engine), "This picture format is not supported !");
  EXPECT_NE(engine.GetValue(), "QQ77");
}

TEST(ImagePipelineTest, UnknownOrUnwrittenStylesAreRejected) {
  CaptchaEngine engine;
  for (int style : {-1, 50, 1 << 30}) {
    engine.SetTextStyle(style);
    EXPECT_EQ(FailureOf(engine, "ST" + std::to_string(style)), "This text style is not supported !");
    EXPECT_EQ(engine.GetValue(), "ST" + std::to_string(style));
  }
  // A style of the catalogue that this build does not draw yet fails the same way.
  for (int style = 0; style < 50; ++style) {
    engine.SetTextStyle(style);
    const std::string failure = FailureOf(engine);
    EXPECT_TRUE(failure == "no failure" || failure == "This text style is not supported !") << style;
  }
}

TEST(ImagePipelineTest, SizesTheBitmapCannotHaveFailBeforeDrawing) {
  struct Size {
    int width;
    int height;
  };
  for (const Size size : {Size{0, 50}, Size{-7, 50}, Size{32768, 10}, Size{10, 32768},
                          Size{9000, 9000}, Size{1 << 30, 1 << 30}}) {
    CaptchaEngine engine;
    engine.SetImageWidth(size.width);
    engine.SetImageHeight(size.height);
    const std::uint64_t before = testing::RandomDrawCount();
    EXPECT_EQ(FailureOf(engine, "SIZE"), "Failed to create the bitmap!") << size.width << "x" << size.height;
    EXPECT_EQ(testing::RandomDrawCount(), before) << "nothing drawn";
    EXPECT_EQ(engine.GetValue(), "SIZE");
  }
  // The bitmap check comes before the style check.
  CaptchaEngine engine;
  engine.SetImageWidth(0);
  engine.SetTextStyle(99);
  EXPECT_EQ(FailureOf(engine), "Failed to create the bitmap!");
}

TEST(ImagePipelineTest, LargestSidesStillWork) {
  CaptchaEngine engine;
  engine.SetFormat("BMP");
  engine.SetImageWidth(32767);
  engine.SetImageHeight(10);
  ByteArray out;
  engine.CreateImage({}, out);
  EXPECT_EQ(Prefix(out, 2), "BM");
}

TEST(ImagePipelineTest, ReusedOutputIsReplaced) {
  CaptchaEngine engine;
  ByteArray out;
  engine.SetFormat("BMP");
  engine.CreateImage({}, out);
  const auto bmpLength = out.length;
  engine.SetFormat("GIF");
  engine.CreateImage({}, out);
  EXPECT_EQ(Prefix(out, 4), "GIF8");
  EXPECT_NE(out.length, bmpLength);
}

TEST(FindEncoderTest, MatchesMimeTypesExactly) {
  graphics::CLSID clsid{};
  EXPECT_EQ(FindEncoder(u"image/png", clsid), 4);
  EXPECT_EQ(clsid, graphics::kPngEncoderClsid);
  EXPECT_EQ(FindEncoder(u"image/jpeg", clsid), 1);
  EXPECT_EQ(clsid, graphics::kJpegEncoderClsid);
  EXPECT_EQ(FindEncoder(u"image/bmp", clsid), 0);
  const graphics::CLSID kept = clsid;
  EXPECT_EQ(FindEncoder(u"IMAGE/PNG", clsid), -1);
  EXPECT_EQ(FindEncoder(u"image/jpg", clsid), -1);
  EXPECT_EQ(FindEncoder(u"", clsid), -1);
  EXPECT_EQ(clsid, kept);
}

TEST(FindEncoderTest, FormatNamesMapToMimeTypes) {
  EXPECT_EQ(MimeTypeOfFormat("JPEG"), u"image/jpeg");
  EXPECT_EQ(MimeTypeOfFormat("TIFF"), u"image/tiff");
  EXPECT_EQ(MimeTypeOfFormat("GIF"), u"image/gif");
  EXPECT_FALSE(MimeTypeOfFormat("JPG"));
  EXPECT_FALSE(MimeTypeOfFormat("png"));
  EXPECT_FALSE(MimeTypeOfFormat(""));
}

TEST(ImageGeneratorTest, DrawsOnABitmapOfTheRequestedSize) {
  const ImageGenerator generator("XY", 64, 16, 32);
  const auto bitmap = generator.GetBitmap();
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->GetWidth(), 64u);
  EXPECT_EQ(bitmap->GetHeight(), 16u);
  EXPECT_EQ(generator.GetBitmap().get(), bitmap.get()) << "shared, not copied";
}

}  // namespace
}  // namespace quillgate
