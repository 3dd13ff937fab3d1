#include "Platform/Graphics/Gdiplus.h"
#include "Platform/Graphics/detail/Premultiply.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <tuple>

namespace quillgate::graphics {
namespace {

using testing::Canvas;
using testing::PixelAt;

TEST(Bitmaps, PixelsRoundTripStraightAlphaInsideTheBitmapOnly) {
  Bitmap bitmap(3, 2);
  const std::vector<std::uint32_t> pixels = {0xFF123456, 0x80FF0000, 0xC0406080,
                                             0x00000000, 0x7F00FF00, 0xFFABCDEF};
  for (int i = 0; i < 6; ++i) ASSERT_EQ(bitmap.SetPixel(i % 3, i / 3, Color(pixels[i])), Ok);
  EXPECT_EQ(bitmap.CopyArgb(), pixels);  // not premultiplied at the interface
  Color c(0xDEADBEEF);
  EXPECT_EQ(bitmap.GetPixel(3, 0, &c), InvalidParameter);
  EXPECT_EQ(bitmap.GetPixel(-1, 0, &c), InvalidParameter);
  EXPECT_EQ(c.GetValue(), 0xDEADBEEFu);
  EXPECT_EQ(bitmap.SetPixel(0, 2, Color(0xFFFFFFFF)), InvalidParameter);

  const auto copy = Bitmap::FromArgb(ArgbView{3, 2, pixels});
  ASSERT_EQ(copy->GetLastStatus(), Ok);
  EXPECT_EQ(copy->CopyArgb(), pixels);
  EXPECT_NE(Bitmap::FromArgb(ArgbView{4, 2, pixels})->GetLastStatus(), Ok);
  const auto part = copy->Clone(Rect(1, 1, 5, 5));  // cut to the bitmap
  EXPECT_EQ(part->GetWidth(), 2u);
  EXPECT_EQ(part->CopyArgb(), (std::vector<std::uint32_t>{0x7F00FF00, 0xFFABCDEF}));
}

TEST(Bitmaps, AbsurdSizesAreRefusedWithoutAllocating) {
  for (auto [w, h] : {std::pair{0, 10}, {10, -1}, {40000, 10}, {30000, 30000}, {std::numeric_limits<int>::max(), 2}}) {
    const Bitmap bitmap(w, h);
    EXPECT_NE(bitmap.GetLastStatus(), Ok) << w << "x" << h;
    EXPECT_EQ(bitmap.GetWidth(), 0u);
    EXPECT_TRUE(bitmap.CopyArgb().empty());
  }
  Bitmap empty(0, 0);
  Graphics g(&empty);
  EXPECT_NE(g.GetLastStatus(), Ok);
  const SolidBrush brush{Color(Color::Red)};
  EXPECT_NE(g.FillRectangle(&brush, 0, 0, 5, 5), Ok);
  EXPECT_NE(g.Clear(Color(Color::Red)), Ok);
  Graphics none(nullptr);
  EXPECT_NE(none.DrawImage(&empty, 0, 0), Ok);
}

// Clear paints the clip alone and replaces what is there, translucent or not; a clip set
// with a combine mode combines with the current one.
TEST(Clipping, ClearReplacesOnlyTheCombinedClip) {
  Canvas c(10, 1);
  Graphics& g = c.g;
  g.Clear(Color(0xFF00FF00));
  g.SetClip(RectF(-0.5f, -0.5f, 6.0f, 2.0f));   // columns 0..5, whose sample points it holds
  g.SetClip(Rect(4, 0, 4, 1), CombineModeXor);  // columns 0-3 and 6-7
  g.Clear(Color(0x40FF0000));                   // semi-transparent: replaces, does not blend
  std::string seen;
  for (int x = 0; x < 10; ++x) seen += PixelAt(c.bitmap, x, 0) == 0x40FF0000u ? '#' : '.';
  EXPECT_EQ(seen, "####..##..");
  EXPECT_EQ(PixelAt(c.bitmap, 4, 0), 0xFF00FF00u);

  RectF bounds;
  ASSERT_EQ(g.GetClipBounds(&bounds), Ok);
  EXPECT_EQ(bounds.X, 0.0f);
  EXPECT_EQ(bounds.GetRight(), 8.0f) << "the bounds enclose both parts";
  g.SetClip(Rect(20, 0, 1, 1), CombineModeIntersect);  // nothing left
  EXPECT_EQ(g.Clear(Color(Color::Red)), Ok);
  EXPECT_EQ(PixelAt(c.bitmap, 0, 0), 0x40FF0000u);
}

// Straight colour comes back from premultiplied pixels rounded to nearest and capped at
// 255, for every alpha and channel value a pixel can hold.
TEST(Bitmaps, UnpremultiplyRoundsToNearestForEveryAlpha) {
  for (std::uint32_t a = 1; a < 255; ++a) {
    for (std::uint32_t c = 0; c < 256; ++c) {
      const std::uint32_t expected = std::min<std::uint32_t>((c * 255 + a / 2) / a, 255);
      const std::uint32_t straight = detail::Unpremultiply(a << 24 | c << 16 | (255 - c) << 8 | c / 2);
      ASSERT_EQ(straight >> 24, a);
      ASSERT_EQ((straight >> 16) & 0xFF, expected) << "alpha " << a << " channel " << c;
      ASSERT_EQ((straight >> 8) & 0xFF, std::min<std::uint32_t>(((255 - c) * 255 + a / 2) / a, 255));
      ASSERT_EQ(straight & 0xFF, std::min<std::uint32_t>((c / 2 * 255 + a / 2) / a, 255));
    }
  }
  EXPECT_EQ(detail::Unpremultiply(0x00123456u), 0u);
  EXPECT_EQ(detail::Unpremultiply(0xFF123456u), 0xFF123456u);
}

// Small anti-aliased ellipses lay down their true area, pixel by pixel: the ink of a dot
// (sum of alpha / 255 on a transparent bitmap) is its area, wherever it sits, and a dot over
// a pixel corner shares itself out evenly. A clip takes another way to the pixels (for a
// speck worked out once as for a larger dot): inside it, exactly the unclipped pixels.
double Ink(const Bitmap& bitmap) {
  double ink = 0;
  for (std::uint32_t p : bitmap.CopyArgb()) ink += (p >> 24) / 255.0;
  return ink;
}

TEST(Shapes, SmallEllipsesCoverTheirTrueArea) {
  constexpr double kQuarterPi = 0.78539816339744831;
  struct Case {
    RectF rect;
    double area;
  };
  const Case cases[] = {
      {RectF(3.5f, 3.5f, 1, 1), kQuarterPi},           // inside one pixel
      {RectF(3, 3, 1, 1), kQuarterPi},                 // over a pixel corner
      {RectF(3.5f, 3.5f, 2, 2), 4 * kQuarterPi},       // a quarter in each of four pixels
      {RectF(1.3f, 2.6f, 7.5f, 5), 37.5 * kQuarterPi},
      {RectF(0.4f, 0.9f, 16, 16), 256 * kQuarterPi},   // the largest done exactly
      {RectF(-1, 3, 1, 1), kQuarterPi / 2},            // half off the bitmap
      {RectF(3.2f, 4.1f, 0.1f, 0.3f), 0.03 * kQuarterPi},
  };
  const SolidBrush black{Color(Color::Black)};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rect.X << ", " << c.rect.Y << " " << c.rect.Width);
    Canvas canvas(20, 20), clipped(20, 20);
    clipped.g.SetClip(Rect(0, 0, 4, 20));  // through most of the dots
    for (Canvas* each : {&canvas, &clipped}) ASSERT_EQ(each->g.FillEllipse(&black, c.rect), Ok);
    // Each touched pixel may round by half a step of alpha.
    const double pixels = (std::ceil(c.rect.Width) + 1) * (std::ceil(c.rect.Height) + 1);
    EXPECT_NEAR(Ink(canvas.bitmap), c.area, pixels * 0.5 / 255);
    for (int i = 0; i < 400; ++i) {
      const ARGB inside = i % 20 < 4 ? PixelAt(canvas.bitmap, i % 20, i / 20) : 0u;
      EXPECT_EQ(PixelAt(clipped.bitmap, i % 20, i / 20), inside) << i % 20 << ", " << i / 20;
    }
  }

  // A 2 x 2 dot centred on a pixel centre covers that pixel fully: half transparent over
  // white, the pixel is mid grey, still opaque.
  const SolidBrush half{Color(128, 0, 0, 0)};
  Canvas faint(8, 8);
  faint.g.Clear(Color(Color::White));
  faint.g.FillEllipse(&half, RectF(2, 2, 2, 2));
  EXPECT_EQ(PixelAt(faint.bitmap, 3, 3) >> 24, 255u);
  EXPECT_NEAR(static_cast<int>(PixelAt(faint.bitmap, 3, 3) & 0xFF), 127, 1);

  // Averaged over sub-pixel positions, a 1 x 1 dot is worth its area.
  double total = 0;
  constexpr int kSteps = 20;
  for (int i = 0; i < kSteps; ++i) {
    for (int j = 0; j < kSteps; ++j) {
      Canvas dot(6, 6);
      dot.g.FillEllipse(&black, RectF(2 + i / float(kSteps), 2 + j / float(kSteps), 1, 1));
      total += Ink(dot.bitmap);
    }
  }
  EXPECT_NEAR(total / (kSteps * kSteps), kQuarterPi, 0.005);
}

// Specks of whole sizes at whole positions take a pattern worked out once; cut by the
// bitmap's left or top edge they are worked out in full. Both must paint the same pixels.
TEST(Shapes, WholePixelSpecksPaintTheSameWhereverTheyLie) {
  const SolidBrush black{Color(Color::Black)};
  for (int h = 1; h <= 5; ++h) {
    for (int w = 1; w <= 5; ++w) {
      Canvas inside(12, 12), cutLeft(12, 12), cutTop(12, 12);
      for (auto [canvas, x, y] : {std::tuple{&inside, 4, 5}, {&cutLeft, -1, 5}, {&cutTop, 4, -1}}) {
        ASSERT_EQ(canvas->g.FillEllipse(&black, x, y, w, h), Ok);
      }
      for (int row = 0; row < h; ++row) {
        for (int column = 0; column < w; ++column) {
          const ARGB whole = PixelAt(inside.bitmap, 4 + column, 5 + row);
          if (column >= 1) {
            EXPECT_EQ(PixelAt(cutLeft.bitmap, column - 1, 5 + row), whole) << w << " x " << h;
          }
          if (row >= 1) {
            EXPECT_EQ(PixelAt(cutTop.bitmap, 4 + column, row - 1), whole) << w << " x " << h;
          }
        }
      }
    }
  }
}

// Smoothed drawing puts pixel centres on whole coordinates, whichever rasteriser draws it:
// a one-pixel line along a whole coordinate fills one column (a thinner pen draws one pixel
// wide), a shape's edge there cuts its pixels in half, and a 1 x 1 dot with its box at whole
// coordinates sits on a pixel corner.
// Aliased drawing keeps whole pixels from the edge on.
TEST(PixelGrid, SmoothedPensAndBrushesCentrePixelsOnWholeCoordinates) {
  const SolidBrush black{Color(Color::Black)};
  const Pen one(Color(Color::Black), 1.0f), faint(Color(128, 0, 0, 0), 1.0f);
  const Pen two(Color(Color::Black), 2.0f), hair(Color(Color::Black), 0.1f);
  const Region region(RectF(2.5f, 2, 3, 6));
  std::vector<PointF> marks;  // straight, and too long to go straight into the pixels
  for (int y = 2; y < 110; y += 40) {
    for (const int step : {0, 12, 24, 36}) marks.emplace_back(3.0f, static_cast<REAL>(y + step));
  }
  constexpr double kHalf = 127.5;  // a half-covered pixel rounds either way
  const struct {
    const char* what;
    std::function<void(Graphics&)> draw;
    std::vector<double> alphas;  // row 6, columns 1 to 7
    SmoothingMode mode = SmoothingModeAntiAlias;
  } cases[] = {
      // Our thin-stroke rasteriser, Cairo, Cairo in one path and figure runs: column 3 alone.
      {"short line", [&](Graphics& g) { g.DrawLine(&one, 3.0f, 2.0f, 3.0f, 12.0f); },
       {0, 0, 255, 0, 0, 0, 0}},
      {"long line", [&](Graphics& g) { g.DrawLine(&one, 3.0f, 2.0f, 3.0f, 118.0f); },
       {0, 0, 255, 0, 0, 0, 0}},
      {"translucent line", [&](Graphics& g) { g.DrawLine(&faint, 3.0f, 2.0f, 3.0f, 118.0f); },
       {0, 0, 128, 0, 0, 0, 0}},
      {"hairline", [&](Graphics& g) { g.DrawLine(&hair, 3.0f, 2.0f, 3.0f, 12.0f); }, {0, 0, 255, 0, 0, 0, 0}},
      {"marks", [&](Graphics& g) { g.DrawBezierMarks(&one, marks); }, {0, 0, 255, 0, 0, 0, 0}},
      // A two-pixel pen along x = 3 covers x from 2 to 4: column 3 fully, 2 and 4 by halves.
      {"two-pixel pen", [&](Graphics& g) { g.DrawLine(&two, 3.0f, 2.0f, 3.0f, 58.0f); },
       {0, kHalf, 255, kHalf, 0, 0, 0}},
      // A smoothed fill from x = 2 to 6 halves columns 2 and 6; an aliased one takes 2 to 5.
      {"smoothed fill", [&](Graphics& g) { g.FillRectangle(&black, RectF(2, 2, 4, 5)); },
       {0, kHalf, 255, 255, 255, kHalf, 0}},
      {"aliased fill", [&](Graphics& g) { g.FillRectangle(&black, RectF(2, 2, 4, 5)); },
       {0, 255, 255, 255, 255, 0, 0}, SmoothingModeNone},
      {"aliased, other name", [&](Graphics& g) { g.FillRectangle(&black, RectF(2, 2, 4, 5)); },
       {0, 255, 255, 255, 255, 0, 0}, SmoothingModeAliased},
      // A region is whole pixels, those whose sample point it holds, even when smoothed.
      {"region", [&](Graphics& g) { g.FillRegion(&black, &region); }, {0, 0, 255, 255, 255, 0, 0}},
  };
  for (const auto& c : cases) {
    Canvas canvas(8, 120, c.mode);
    c.draw(canvas.g);
    for (int x = 1; x < 8; ++x) {
      EXPECT_NEAR(PixelAt(canvas.bitmap, x, 6) >> 24, c.alphas[x - 1], 0.5) << c.what << ", column " << x;
    }
  }
}

TEST(Images, DrawingABitmapOntoItselfReadsTheOriginal) {
  Bitmap bitmap(4, 1);
  for (int x = 0; x < 4; ++x) bitmap.SetPixel(x, 0, Color(255, static_cast<BYTE>(x * 50), 0, 0));
  Graphics g(&bitmap);
  ASSERT_EQ(g.DrawImage(&bitmap, 1, 0), Ok);
  EXPECT_EQ(PixelAt(bitmap, 1, 0), 0xFF000000u);
  EXPECT_EQ(PixelAt(bitmap, 2, 0), 0xFF320000u);
  EXPECT_EQ(PixelAt(bitmap, 3, 0), 0xFF640000u);
}

TEST(Degenerate, DrawingCallsSurviveNullsZerosAndNonFiniteValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const SolidBrush brush{Color(Color::Black)};
  const Pen pen(Color(Color::Black), 2.0f), onePixel(Color(Color::Black), 1.0f);
  const std::vector<PointF> threePoints(3);
  const FontFamily arial(u"Arial");
  const Font font(&arial, 12);
  const Font huge(&arial, 1e30f);
  const Region empty(RectF(0, 0, 0, 0));
  // How the patterns fill is pinned by the styles that paint with them; these have none.
  const HatchBrush unpatterned(HatchStyle30Percent, Color(Color::Black), Color(Color::White));
  EXPECT_EQ(unpatterned.GetLastStatus(), NotImplemented);
  const HatchBrush unknown(static_cast<HatchStyle>(99), Color(Color::Black));
  EXPECT_EQ(unknown.GetLastStatus(), InvalidParameter);
  Bitmap source(16, 16);
  // Each call on a fresh transparent bitmap: the status it returns, and whether it may
  // leave ink (a huge shape legitimately covers the bitmap; a NaN or empty one must not).
  struct Call {
    const char* what;
    std::function<Status(Graphics&)> call;
    Status status;
    bool mayInk;
  };
  const Call calls[] = {
      {"null brush", [&](Graphics& g) { return g.FillRectangle(nullptr, 0, 0, 4, 4); }, InvalidParameter, false},
      {"null pen", [&](Graphics& g) { return g.DrawLine(nullptr, 0, 0, 4, 4); }, InvalidParameter, false},
      {"null path", [&](Graphics& g) { return g.FillPath(&brush, nullptr); }, InvalidParameter, false},
      {"marks, null pen", [&](Graphics& g) { return g.DrawBezierMarks(nullptr, {}); }, InvalidParameter, false},
      {"marks, a point short", [&](Graphics& g) { return g.DrawBezierMarks(&onePixel, threePoints); },
       InvalidParameter, false},
      {"no marks", [&](Graphics& g) { return g.DrawBezierMarks(&onePixel, {}); }, Ok, false},
      {"NaN rectangle", [&](Graphics& g) { return g.FillRectangle(&brush, RectF(nan, 0, 5, 5)); }, Ok, false},
      {"empty ellipse", [&](Graphics& g) { return g.FillEllipse(&brush, RectF(0, 0, 0, 0)); }, Ok, false},
      {"huge ellipse", [&](Graphics& g) { return g.FillEllipse(&brush, RectF(-1e30f, -1e30f, 2e30f, 2e30f)); }, Ok, true},
      {"line to infinity", [&](Graphics& g) { return g.DrawLine(&pen, 0.0f, 0.0f, inf, nan); }, Ok, false},
      {"line of no length", [&](Graphics& g) { return g.DrawLine(&pen, 3.0f, 3.0f, 3.0f, 3.0f); }, Ok, true},
      {"huge bezier",
       [&](Graphics& g) {
         const PointF mark[] = {{0, 0}, {1e30f, -1e30f}, {5, 5}, {6, 6}};
         return g.DrawBezierMarks(&pen, mark);
       },
       Ok, true},
      {"negative ellipse", [&](Graphics& g) { return g.DrawEllipse(&pen, RectF(2, 2, -5, -5)); }, Ok, true},
      {"NaN clip", [&](Graphics& g) { return g.SetClip(RectF(nan, nan, 3, 3)); }, Ok, false},
      {"empty region", [&](Graphics& g) { return g.FillRegion(&brush, &empty); }, Ok, false},
      {"hatch without a pattern",
       [&](Graphics& g) { return g.FillRectangle(&unpatterned, 0, 0, 8, 8); },
       NotImplemented, false},
      {"NaN image place", [&](Graphics& g) { return g.DrawImage(&source, RectF(nan, 0, 5, 5)); }, InvalidParameter, false},
      {"huge image place", [&](Graphics& g) { return g.DrawImage(&source, RectF(0, 0, 1e30f, 1e30f)); }, Ok, false},
      {"image part outside", [&](Graphics& g) { return g.DrawImage(&source, 0, 0, 100, 100, 5, 5, UnitPixel); }, Ok, false},
      // Source rectangles are measured in pixels only.
      {"image part in points",
       [&](Graphics& g) { return g.DrawImage(&source, 0, 0, 0, 0, 2, 2, UnitPoint); },
       NotImplemented, false},
      {"empty string", [&](Graphics& g) { return g.DrawString(u"", &font, RectF(0, 0, 16, 16), nullptr, &brush); }, Ok, false},
      {"string at infinity", [&](Graphics& g) { return g.DrawString(u"A", &font, RectF(inf, 0, 16, 16), nullptr, &brush); }, InvalidParameter, false},
      {"huge font", [&](Graphics& g) { return g.DrawString(u"A", &huge, RectF(0, 0, 16, 16), nullptr, &brush); }, Ok, true},
  };
  for (const Call& c : calls) {
    SCOPED_TRACE(c.what);
    Canvas canvas(16, 16);
    Graphics& g = canvas.g;
    EXPECT_EQ(c.call(g), c.status);
    EXPECT_TRUE(c.mayInk || canvas.bitmap.CopyArgb() == std::vector<std::uint32_t>(256, 0u));
    // The context stays usable: a plain fill afterwards still lands.
    g.ResetClip();
    EXPECT_EQ(g.FillRectangle(&brush, 4, 4, 8, 8), Ok);
    EXPECT_EQ(PixelAt(canvas.bitmap, 8, 8), Color(Color::Black).GetValue());
  }
}

}  // namespace
}  // namespace quillgate::graphics
