#include "Platform/Graphics/Gdiplus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

namespace quillgate::graphics {
namespace {

TEST(FontFamilies, UnknownFamilyIsUnavailableAndFontsFallBackToSansSerif) {
  const FontFamily missing(u"No Such Family Quillgate");
  EXPECT_FALSE(missing.IsAvailable());
  EXPECT_EQ(missing.GetLastStatus(), FontFamilyNotFound);
  const FontFamily* generic = FontFamily::GenericSansSerif();
  ASSERT_NE(generic, nullptr);
  EXPECT_TRUE(generic->IsAvailable());

  const Font font(&missing, 20, FontStyleBold, UnitPixel);
  EXPECT_TRUE(font.IsAvailable());
  EXPECT_EQ(font.Family().ResolvedName(), generic->ResolvedName());

  const Font nullFamily(nullptr, 10);
  EXPECT_TRUE(nullFamily.IsAvailable());
  EXPECT_FALSE(Font(&missing, 0.0f).IsAvailable());
  EXPECT_FALSE(Font(&missing, -3.0f).IsAvailable());
}

// Points become pixels at 96 dpi; the default format adds a sixth of the em at each end of
// the glyphs' advances, and the box is a line high. Empty text has an empty box.
TEST(Measuring, DefaultFormatAddsASixthOfTheEmAtEachEnd) {
  Bitmap bitmap(10, 10);
  Graphics g(&bitmap);
  const FontFamily arial(u"Arial");
  for (const auto& [size, unit, pixels] :
       {std::tuple{48.0f, UnitPixel, 48.0}, {12.0f, UnitPoint, 16.0}}) {
    const Font font(&arial, size, FontStyleRegular, unit);
    EXPECT_FLOAT_EQ(font.GetPixelSize(), pixels);
    EXPECT_NEAR(font.GetHeight(96.0f), pixels * 2355 / 2048, 1e-4);
    RectF plain, typographic, empty;
    ASSERT_EQ(g.MeasureString(u"A7kW", &font, PointF(0, 0), nullptr, &plain), Ok);
    const StringFormat* exact = StringFormat::GenericTypographic();
    ASSERT_EQ(g.MeasureString(u"A7kW", &font, PointF(0, 0), exact, &typographic), Ok);
    EXPECT_FLOAT_EQ(plain.X, 0);
    EXPECT_FLOAT_EQ(plain.Y, 0);
    EXPECT_NEAR(plain.Width - typographic.Width, 2 * pixels / 6, 1e-3);
    EXPECT_NEAR(plain.Height, pixels * 2355 / 2048, 1e-3);
    // Liberation Sans advances in design units: A 1366, 7 1139, k 1024, W 1933.
    EXPECT_NEAR(typographic.Width, pixels * (1366 + 1139 + 1024 + 1933) / 2048, 1e-3);
    ASSERT_EQ(g.MeasureString(u"", &font, PointF(3, 4), nullptr, &empty), Ok);
    EXPECT_EQ(empty, RectF(3, 4, 0, 0));
  }
  RectF box;
  EXPECT_EQ(g.MeasureString(u"A", nullptr, PointF(0, 0), nullptr, &box), InvalidParameter);
}

TEST(PathStrings, LengthMinusOneStopsAtTheFirstZeroAndControlCharactersAddNothing) {
  const FontFamily arial(u"Arial");
  const char16_t text[] = u"AB\0CD";
  GraphicsPath upToZero, full;
  upToZero.AddString(text, -1, &arial, FontStyleRegular, 100, PointF(0, 0), nullptr);
  full.AddString(text, 5, &arial, FontStyleRegular, 100, PointF(0, 0), nullptr);
  GraphicsPath ab;
  ab.AddString(u"AB", &arial, FontStyleRegular, 100, PointF(0, 0), nullptr);
  EXPECT_EQ(upToZero.GetPointCount(), ab.GetPointCount());
  EXPECT_GT(full.GetPointCount(), ab.GetPointCount());

  GraphicsPath spaces;
  EXPECT_EQ(spaces.AddString(u"  \t", &arial, FontStyleRegular, 100, PointF(0, 0), nullptr), Ok);
  EXPECT_EQ(spaces.GetPointCount(), 0);
  EXPECT_NE(spaces.AddString(u"A", &arial, FontStyleRegular, 0.0f, PointF(0, 0), nullptr), Ok);
}

TEST(DrawnStrings, AreAntiAliasedWhateverTheSmoothingMode) {
  testing::Canvas canvas(80, 40, SmoothingModeNone);
  const FontFamily arial(u"Arial");
  const Font font(&arial, 20, FontStyleRegular, UnitPixel);
  const SolidBrush black{Color(Color::Black)};
  ASSERT_EQ(canvas.g.DrawString(u"Qo", &font, RectF(0, 0, 80, 40), nullptr, &black), Ok);
  int partial = 0, full = 0;
  for (std::uint32_t p : canvas.bitmap.CopyArgb()) {
    const int a = static_cast<int>(p >> 24);
    partial += (a > 0 && a < 255) ? 1 : 0;
    full += a == 255 ? 1 : 0;
  }
  EXPECT_GT(full, 20);
  EXPECT_GT(partial, 20);
}

// A string drawn in a layout rectangle sits where MeasureString puts its box (centred in the
// rectangle when so aligned): its pixels are those of the same string drawn from the box's
// corner with near alignment. Styles lay out from measured boxes and rely on that; where the
// glyphs sit in the box, the styles' references pin.
TEST(DrawnStrings, SitWhereTheMeasuredBoxSays) {
  struct Case {
    const char16_t* family;
    INT style;
    REAL size;  // points
    RectF layout;
    StringAlignment align, lineAlign;
  };
  const Case cases[] = {
      {u"Courier New", FontStyleBold, 22, RectF(5, 5, 250, 50), StringAlignmentCenter, StringAlignmentCenter},
      {u"Arial", FontStyleRegular, 21.3f, RectF(0, 0, 250, 50), StringAlignmentCenter, StringAlignmentCenter},
      {u"Arial", FontStyleBold, 17, RectF(0.4f, 3.7f, 0, 0), StringAlignmentCenter, StringAlignmentFar},
      {u"Times New Roman", FontStyleRegular, 30, RectF(-3, 2, 240, 40), StringAlignmentFar, StringAlignmentNear},
  };
  const std::u16string text = u"K3P9gX";
  for (const Case& c : cases) {
    const FontFamily family(c.family);
    const Font font(&family, c.size, c.style, UnitPoint);
    StringFormat format;
    format.SetAlignment(c.align);
    format.SetLineAlignment(c.lineAlign);
    const SolidBrush black{Color(Color::Black)};
    Bitmap laidOut(260, 60), fromCorner(260, 60);
    Graphics g(&laidOut), h(&fromCorner);
    RectF box;
    ASSERT_EQ(g.MeasureString(text.c_str(), -1, &font, c.layout, &format, &box), Ok);
    if (c.align == StringAlignmentCenter && c.layout.Width > 0) {
      EXPECT_NEAR(box.X + box.Width / 2, c.layout.X + c.layout.Width / 2, 1e-3) << "centred";
    }
    if (c.lineAlign == StringAlignmentCenter) {
      EXPECT_NEAR(box.Y + box.Height / 2, c.layout.Y + c.layout.Height / 2, 1e-3) << "centred";
    }
    ASSERT_EQ(g.DrawString(text, &font, c.layout, &format, &black), Ok);
    ASSERT_EQ(h.DrawString(text.c_str(), -1, &font, PointF(box.X, box.Y), &black), Ok);
    // The box reaches us in floats, rounded from the layout's own position: a step of
    // alpha here and there is that rounding, more would be a misplaced string.
    const auto a = laidOut.CopyArgb(), b = fromCorner.CopyArgb();
    for (std::size_t i = 0; i < a.size(); ++i) {
      ASSERT_LE(std::abs(static_cast<int>(a[i] >> 24) - static_cast<int>(b[i] >> 24)), 1)
          << "size " << c.size << " in " << c.layout.X << ", " << c.layout.Y << " at pixel " << i;
    }

  }
}

}  // namespace
}  // namespace quillgate::graphics
