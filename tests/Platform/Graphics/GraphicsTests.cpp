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

using testing::PixelAt;

TEST(Bitmaps, NewBitmapIsAllZeroAndReportsItsSize) {
  const Bitmap bitmap(250, 50);
  EXPECT_EQ(bitmap.GetLastStatus(), Ok);
  EXPECT_EQ(bitmap.GetWidth(), 250u);
  EXPECT_EQ(bitmap.GetHeight(), 50u);
  const auto pixels = bitmap.CopyArgb();
  ASSERT_EQ(pixels.size(), 250u * 50u);
  for (std::uint32_t p : pixels) ASSERT_EQ(p, 0u);
}

TEST(Bitmaps, PixelsRoundTripStraightAlpha) {
  Bitmap bitmap(4, 1);
  const ARGB values[] = {0xFF123456, 0x80FF0000, 0xC0406080, 0x00000000};
  for (int i = 0; i < 4; ++i) ASSERT_EQ(bitmap.SetPixel(i, 0, Color(values[i])), Ok);
  EXPECT_EQ(PixelAt(bitmap, 0, 0), 0xFF123456u);
  EXPECT_EQ(PixelAt(bitmap, 1, 0), 0x80FF0000u);  // not premultiplied at the interface
  EXPECT_EQ(PixelAt(bitmap, 2, 0), 0xC0406080u);
  EXPECT_EQ(PixelAt(bitmap, 3, 0), 0u);
  const auto all = bitmap.CopyArgb();
  EXPECT_EQ(all[1], 0x80FF0000u);

  Color c(0xDEADBEEF);
  EXPECT_EQ(bitmap.GetPixel(4, 0, &c), InvalidParameter);
  EXPECT_EQ(bitmap.GetPixel(-1, 0, &c), InvalidParameter);
  EXPECT_EQ(c.GetValue(), 0xDEADBEEFu);
  EXPECT_EQ(bitmap.SetPixel(0, 1, Color(0xFFFFFFFF)), InvalidParameter);
}

TEST(Bitmaps, FromArgbAndWriteArgbRoundTrip) {
  const std::vector<std::uint32_t> pixels = {0xFF000000, 0xFFFFFFFF, 0x7F00FF00, 0xFF0000FF, 0x00000000, 0xFFABCDEF};
  const auto bitmap = Bitmap::FromArgb(ArgbView{3, 2, pixels});
  ASSERT_EQ(bitmap->GetLastStatus(), Ok);
  EXPECT_EQ(bitmap->CopyArgb(), pixels);
  EXPECT_NE(Bitmap::FromArgb(ArgbView{4, 2, pixels})->GetLastStatus(), Ok);
  const auto part = bitmap->Clone(Rect(1, 1, 5, 5));
  EXPECT_EQ(part->GetWidth(), 2u);
  EXPECT_EQ(part->CopyArgb(), (std::vector<std::uint32_t>{0, 0xFFABCDEF}));
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

TEST(Clipping, ClearPaintsOnlyTheClipAndReplacesAlpha) {
  Bitmap bitmap(10, 10);
  Graphics g(&bitmap);
  g.Clear(Color(0xFF00FF00));
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  g.SetClip(RectF(2.5f, 2.5f, 4.0f, 4.0f));  // columns and rows 3..6
  g.Clear(Color(0x40FF0000));               // semi-transparent: replaces, does not blend
  EXPECT_EQ(PixelAt(bitmap, 3, 3), 0x40FF0000u);
  EXPECT_EQ(PixelAt(bitmap, 6, 6), 0x40FF0000u);
  EXPECT_EQ(PixelAt(bitmap, 2, 3), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(bitmap, 7, 6), 0xFF00FF00u);
  g.ResetClip();
  g.Clear(Color(0xFF0000FF));
  EXPECT_EQ(PixelAt(bitmap, 0, 0), 0xFF0000FFu);
}

TEST(Clipping, ClipEdgesStayHardUnderAntiAliasing) {
  Bitmap bitmap(20, 20);
  Graphics g(&bitmap);
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  GraphicsPath diamond;
  const PointF pts[] = {{10, 0}, {20, 10}, {10, 20}, {0, 10}};
  diamond.AddPolygon(pts, 4);
  g.SetClip(&diamond);
  const SolidBrush white{Color(Color::White)};
  g.FillRectangle(&white, -1, -1, 22, 22);
  const Region expected(&diamond);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      EXPECT_EQ(PixelAt(bitmap, x, y), expected.IsVisible(x, y) ? 0xFFFFFFFFu : 0u) << x << "," << y;
    }
  }
}

TEST(Clipping, CombineModesApplyToTheCurrentClip) {
  Bitmap bitmap(10, 1);
  Graphics g(&bitmap);
  g.SetClip(Rect(0, 0, 6, 1));
  g.SetClip(Rect(4, 0, 4, 1), CombineModeXor);  // columns 0-3 and 6-7
  g.Clear(Color(Color::White));
  std::string seen;
  for (int x = 0; x < 10; ++x) seen += PixelAt(bitmap, x, 0) ? '#' : '.';
  EXPECT_EQ(seen, "####..##..");

  RectF bounds;
  ASSERT_EQ(g.GetClipBounds(&bounds), Ok);
  EXPECT_EQ(bounds.X, 0.0f);
  EXPECT_EQ(bounds.GetRight(), 8.0f) << "the bounds enclose both parts";
  EXPECT_EQ(bounds.Height, 1.0f);
  g.ResetClip();
  ASSERT_EQ(g.GetClipBounds(&bounds), Ok);
  EXPECT_EQ(bounds.X, -4194304.0f) << "an infinite clip";
  EXPECT_EQ(bounds.Width, 8388608.0f);
  g.SetClip(Rect(0, 0, 6, 1));
  g.SetClip(Rect(4, 0, 4, 1), CombineModeXor);
  g.SetClip(Rect(0, 0, 1, 1), CombineModeExclude);
  g.SetClip(Rect(20, 0, 1, 1), CombineModeIntersect);  // nothing left
  EXPECT_EQ(g.Clear(Color(Color::Red)), Ok);
  EXPECT_EQ(PixelAt(bitmap, 0, 0), 0xFFFFFFFFu);
}

TEST(Shapes, RegionFillIsPixelAlignedWhateverTheSmoothing) {
  Bitmap bitmap(6, 3);
  Graphics g(&bitmap);
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  const Region region(RectF(0.5f, 0.5f, 2.0f, 2.0f));
  const SolidBrush black{Color(Color::Black)};
  g.FillRegion(&black, &region);
  EXPECT_EQ(PixelAt(bitmap, 1, 1), 0xFF000000u);
  EXPECT_EQ(PixelAt(bitmap, 2, 2), 0xFF000000u);
  EXPECT_EQ(PixelAt(bitmap, 0, 0), 0u);
  EXPECT_EQ(PixelAt(bitmap, 3, 1), 0u);
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

TEST(Shapes, SmoothingDecidesSoftEdges) {
  auto partials = [](SmoothingMode mode) {
    Bitmap bitmap(30, 30);
    Graphics g(&bitmap);
    g.SetSmoothingMode(mode);
    const SolidBrush black{Color(Color::Black)};
    g.FillEllipse(&black, RectF(3.3f, 2.7f, 22.0f, 19.0f));
    int n = 0;
    for (std::uint32_t p : bitmap.CopyArgb()) n += ((p >> 24) != 0 && (p >> 24) != 255) ? 1 : 0;
    return n;
  };
  EXPECT_EQ(partials(SmoothingModeNone), 0);
  EXPECT_EQ(partials(SmoothingModeAliased), 0);
  EXPECT_GT(partials(SmoothingModeAntiAlias), 20);
}

TEST(Shapes, TinyDotsAlwaysShow) {
  for (SmoothingMode mode : {SmoothingModeNone, SmoothingModeAntiAlias}) {
    Bitmap bitmap(10, 10);
    Graphics g(&bitmap);
    g.SetSmoothingMode(mode);
    const SolidBrush black{Color(Color::Black)};
    g.FillEllipse(&black, RectF(4.0f, 4.0f, 1.0f, 1.0f));
    g.FillEllipse(&black, 7, 7, 1, 1);
    // Smoothed, each dot is shared among the four pixels around a corner (see PixelGrid).
    EXPECT_GT(PixelAt(bitmap, 4, 4) >> 24, 40u) << mode;
    EXPECT_GT(PixelAt(bitmap, 7, 7) >> 24, 40u) << mode;
  }
}

// Small anti-aliased ellipses lay down their true area, pixel by pixel: the ink of a dot
// (sum of alpha / 255 on a transparent bitmap) is its area, wherever it sits, and a dot over
// a pixel corner shares itself out evenly.
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
      {RectF(2.25f, 3.7f, 3, 1.5f), 4.5 * kQuarterPi},
      {RectF(1.3f, 2.6f, 7.5f, 5), 37.5 * kQuarterPi},
      {RectF(0.4f, 0.9f, 16, 16), 256 * kQuarterPi},   // the largest done exactly
      {RectF(-1, 3, 1, 1), kQuarterPi / 2},            // half off the bitmap
      {RectF(3.2f, 4.1f, 0.1f, 0.3f), 0.03 * kQuarterPi},
  };
  for (const Case& c : cases) {
    Bitmap bitmap(20, 20);
    Graphics g(&bitmap);
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    const SolidBrush black{Color(Color::Black)};
    ASSERT_EQ(g.FillEllipse(&black, c.rect), Ok);
    // Each touched pixel may round by half a step of alpha.
    const double pixels = (std::ceil(c.rect.Width) + 1) * (std::ceil(c.rect.Height) + 1);
    EXPECT_NEAR(Ink(bitmap), c.area, pixels * 0.5 / 255) << c.rect.X << ", " << c.rect.Y << " " << c.rect.Width;
  }

  // A 2 x 2 dot centred on a pixel centre: one full pixel and softer neighbours.
  const SolidBrush black{Color(Color::Black)};
  Bitmap square(8, 8);
  Graphics h(&square);
  h.SetSmoothingMode(SmoothingModeAntiAlias);
  h.FillEllipse(&black, RectF(2, 2, 2, 2));
  EXPECT_EQ(PixelAt(square, 3, 3) >> 24, 255u);
  for (auto [x, y] : {std::pair{2, 3}, {4, 3}, {3, 2}, {3, 4}}) EXPECT_EQ(PixelAt(square, x, y) >> 24, 116u);
  // The same dot half transparent over white: its full pixel is mid grey, still opaque.
  const SolidBrush half{Color(128, 0, 0, 0)};
  Bitmap faint(8, 8);
  Graphics f(&faint);
  f.Clear(Color(Color::White));
  f.SetSmoothingMode(SmoothingModeAntiAlias);
  f.FillEllipse(&half, RectF(2, 2, 2, 2));
  EXPECT_EQ(PixelAt(faint, 3, 3) >> 24, 255u);
  EXPECT_NEAR(static_cast<int>(PixelAt(faint, 3, 3) & 0xFF), 127, 1);

  // Averaged over sub-pixel positions, a 1 x 1 dot is worth its area.
  double total = 0;
  constexpr int kSteps = 20;
  for (int i = 0; i < kSteps; ++i) {
    for (int j = 0; j < kSteps; ++j) {
      Bitmap bitmap(6, 6);
      Graphics k(&bitmap);
      k.SetSmoothingMode(SmoothingModeAntiAlias);
      k.FillEllipse(&black, RectF(2 + i / float(kSteps), 2 + j / float(kSteps), 1, 1));
      total += Ink(bitmap);
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
      Bitmap inside(12, 12), cutLeft(12, 12), cutTop(12, 12);
      for (auto [bitmap, x, y] : {std::tuple{&inside, 4, 5}, {&cutLeft, -1, 5}, {&cutTop, 4, -1}}) {
        Graphics g(bitmap);
        g.SetSmoothingMode(SmoothingModeAntiAlias);
        ASSERT_EQ(g.FillEllipse(&black, x, y, w, h), Ok);
      }
      for (int row = 0; row < h; ++row) {
        for (int column = 0; column < w; ++column) {
          const ARGB whole = PixelAt(inside, 4 + column, 5 + row);
          if (column >= 1) {
            EXPECT_EQ(PixelAt(cutLeft, column - 1, 5 + row), whole) << w << " x " << h;
          }
          if (row >= 1) {
            EXPECT_EQ(PixelAt(cutTop, 4 + column, row - 1), whole) << w << " x " << h;
          }
        }
      }
    }
  }
}

// A mirrored ellipse paints the mirrored pixels, to the bit, over a background that is
// mirrored too, both left to right and top to bottom. Pixel centres lie on whole
// coordinates, so pixel p mirrors to kSize - 1 - p and x to kSize - 1 - x.
TEST(Shapes, SmallEllipsesAreSymmetricUnderMirroring) {
  constexpr int kSize = 24;
  const auto background = [](Bitmap& b, bool flipX, bool flipY) {
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        const int u = flipX ? kSize - 1 - x : x, v = flipY ? kSize - 1 - y : y;
        b.SetPixel(x, y, Color(0xFF000000u | static_cast<ARGB>(u * 10) << 16 | static_cast<ARGB>(v * 10) << 8 | 0x5A));
      }
    }
  };
  std::uint32_t seed = 2024;
  const auto sixtyFourths = [&seed](int max) {  // exact in floats, so that mirroring is exact
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>((seed >> 8) % static_cast<std::uint32_t>(max * 64)) / 64.0f;
  };
  const SolidBrush brush(Color(0xFF20C040));
  for (int i = 0; i < 300; ++i) {
    const float w = 1.0f / 64 + sixtyFourths(i % 4 == 0 ? 16 : 3), h = 1.0f / 64 + sixtyFourths(i % 4 == 0 ? 16 : 3);
    const float x = sixtyFourths(kSize) - 2, y = sixtyFourths(kSize) - 2;
    for (auto [flipX, flipY] : {std::pair{true, false}, {false, true}}) {
      Bitmap plain(kSize, kSize), mirrored(kSize, kSize);
      background(plain, false, false);
      background(mirrored, flipX, flipY);
      Graphics a(&plain), b(&mirrored);
      a.SetSmoothingMode(SmoothingModeAntiAlias);
      b.SetSmoothingMode(SmoothingModeAntiAlias);
      a.FillEllipse(&brush, RectF(x, y, w, h));
      b.FillEllipse(&brush, RectF(flipX ? kSize - 1 - x - w : x, flipY ? kSize - 1 - y - h : y, w, h));
      for (int py = 0; py < kSize; ++py) {
        for (int px = 0; px < kSize; ++px) {
          ASSERT_EQ(PixelAt(plain, px, py),
                    PixelAt(mirrored, flipX ? kSize - 1 - px : px, flipY ? kSize - 1 - py : py))
              << "ellipse " << x << ", " << y << " " << w << " x " << h << " at pixel " << px << ", " << py;
        }
      }
    }
  }
}

// A clip or a translucent colour takes another way to the pixels; it must give the same
// coverage: inside the clip exactly the unclipped pixels, and a translucent dot as much
// less ink as its alpha says.
TEST(Shapes, SmallEllipsesKeepTheirCoverageUnderClipsAndTranslucency) {
  const SolidBrush black{Color(Color::Black)};
  const RectF dot(2.3f, 1.6f, 5.5f, 4.25f);
  Bitmap whole(10, 10), clipped(10, 10);
  for (Bitmap* b : {&whole, &clipped}) {
    Graphics g(b);
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    if (b == &clipped) g.SetClip(Rect(0, 0, 5, 10));
    g.FillEllipse(&black, dot);
  }
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      EXPECT_EQ(PixelAt(clipped, x, y), x < 5 ? PixelAt(whole, x, y) : 0u) << x << ", " << y;
    }
  }

  Bitmap faint(10, 10);
  Graphics g(&faint);
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  const SolidBrush half(Color(128, 0, 0, 0));
  g.FillEllipse(&half, dot);
  EXPECT_NEAR(Ink(faint), Ink(whole) * 128 / 255, 30 * 0.5 / 255);
}

TEST(Shapes, TinyEllipsesKeepToTheClip) {
  Bitmap bitmap(10, 10);
  Graphics g(&bitmap);
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  const SolidBrush black{Color(Color::Black)};
  g.SetClip(RectF(0, 0, 5, 10));
  g.FillEllipse(&black, RectF(4.0f, 4.0f, 1.0f, 1.0f));  // over the corner of pixels 4 and 5
  EXPECT_GT(PixelAt(bitmap, 4, 4) >> 24, 0u);
  EXPECT_EQ(PixelAt(bitmap, 5, 4), 0u);
  g.ResetClip();
  g.FillEllipse(&black, RectF(4.0f, 6.0f, 1.0f, 1.0f));
  EXPECT_GT(PixelAt(bitmap, 5, 6) >> 24, 0u);
}

TEST(Shapes, ThinPensDrawLikeOnePixelPens) {
  Bitmap thin(20, 5), one(20, 5);
  const Pen hair(Color(Color::Black), 0.1f), unit(Color(Color::Black), 1.0f);
  for (auto [bitmap, pen] : {std::pair{&thin, &hair}, std::pair{&one, &unit}}) {
    Graphics g(bitmap);
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    g.DrawLine(pen, 1.0f, 2.0f, 19.0f, 2.0f);
  }
  EXPECT_EQ(thin.CopyArgb(), one.CopyArgb());
  EXPECT_EQ(PixelAt(one, 10, 2), 0xFF000000u);
}

// Smoothed drawing puts pixel centres on whole coordinates, whichever rasteriser draws it:
// a one-pixel line along a whole coordinate fills one column, a shape's edge there cuts its
// pixels in half, and a 1 x 1 dot with its box at whole coordinates sits on a pixel corner.
// Aliased drawing keeps whole pixels from the edge on.
std::vector<int> AlphaRow(const Bitmap& bitmap, int y, int x0, int x1) {
  std::vector<int> alphas;
  for (int x = x0; x < x1; ++x) alphas.push_back(static_cast<int>(PixelAt(bitmap, x, y) >> 24));
  return alphas;
}

TEST(PixelGrid, SmoothedPensAndBrushesCentrePixelsOnWholeCoordinates) {
  const SolidBrush black{Color(Color::Black)};
  // A short line (our thin-stroke rasteriser), a long one (Cairo), a translucent one (Cairo,
  // one path) and a scattering of marks (figure runs) all fill column 3 alone.
  const Pen opaque(Color(Color::Black), 1.0f), faint(Color(128, 0, 0, 0), 1.0f), twoPixels(Color(Color::Black), 2.0f);
  for (int way = 0; way < 4; ++way) {
    Bitmap bitmap(8, 120);
    Graphics g(&bitmap);
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    if (way == 0) g.DrawLine(&opaque, 3.0f, 2.0f, 3.0f, 12.0f);
    if (way == 1) g.DrawLine(&opaque, 3.0f, 2.0f, 3.0f, 118.0f);
    if (way == 2) g.DrawLine(&faint, 3.0f, 2.0f, 3.0f, 118.0f);
    if (way == 3) {
      std::vector<PointF> marks;  // straight, and too long to go straight into the pixels
      for (int y = 2; y < 110; y += 40) {
        for (const int step : {0, 12, 24, 36}) marks.emplace_back(3.0f, static_cast<REAL>(y + step));
      }
      g.DrawBezierMarks(&opaque, marks);
    }
    const int full = way == 2 ? 128 : 255;
    EXPECT_EQ(AlphaRow(bitmap, 6, 1, 6), (std::vector<int>{0, 0, full, 0, 0})) << "way " << way;
  }
  // A two-pixel pen along x = 3 covers x from 2 to 4: column 3 fully, 2 and 4 by halves.
  Bitmap wide(8, 60);
  Graphics w(&wide);
  w.SetSmoothingMode(SmoothingModeAntiAlias);
  w.DrawLine(&twoPixels, 3.0f, 2.0f, 3.0f, 58.0f);
  const std::vector<int> row = AlphaRow(wide, 30, 1, 6);
  EXPECT_EQ(row[0], 0);
  EXPECT_NEAR(row[1], 128, 1);
  EXPECT_EQ(row[2], 255);
  EXPECT_NEAR(row[3], 128, 1);
  EXPECT_EQ(row[4], 0);

  // A smoothed fill from x = 2 to 6 halves columns 2 and 6; an aliased one takes 2 to 5.
  for (SmoothingMode mode : {SmoothingModeAntiAlias, SmoothingModeNone}) {
    Bitmap bitmap(10, 10);
    Graphics g(&bitmap);
    g.SetSmoothingMode(mode);
    g.FillRectangle(&black, RectF(2, 2, 4, 5));
    const std::vector<int> filled = AlphaRow(bitmap, 4, 1, 8);
    if (mode == SmoothingModeAntiAlias) {
      EXPECT_EQ(filled[0], 0);
      EXPECT_NEAR(filled[1], 128, 1);
      EXPECT_EQ((std::vector<int>(filled.begin() + 2, filled.begin() + 5)), (std::vector<int>{255, 255, 255}));
      EXPECT_NEAR(filled[5], 128, 1);
      EXPECT_EQ(filled[6], 0);
    } else {
      EXPECT_EQ(filled, (std::vector<int>{0, 255, 255, 255, 255, 0, 0}));
    }
  }

  // A 1 x 1 dot at whole coordinates shares its area among the four pixels around the
  // corner at its centre: about 20 % each.
  Bitmap dot(8, 8);
  Graphics d(&dot);
  d.SetSmoothingMode(SmoothingModeAntiAlias);
  d.FillEllipse(&black, RectF(3, 3, 1, 1));
  for (auto [x, y] : {std::pair{3, 3}, {4, 3}, {3, 4}, {4, 4}}) EXPECT_EQ(PixelAt(dot, x, y) >> 24, 50u);
  EXPECT_NEAR(Ink(dot), 4 * 50 / 255.0, 1e-9);
}

TEST(Images, DrawnAtAPointUnscaledAndFromASourceRectangle) {
  Bitmap source(4, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) source.SetPixel(x, y, Color(255, static_cast<BYTE>(x * 60), static_cast<BYTE>(y * 60), 7));
  }
  Bitmap target(10, 10);
  Graphics g(&target);
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  ASSERT_EQ(g.DrawImage(&source, 3, 2), Ok);
  EXPECT_EQ(PixelAt(target, 3, 2), PixelAt(source, 0, 0));
  EXPECT_EQ(PixelAt(target, 6, 5), PixelAt(source, 3, 3));
  EXPECT_EQ(PixelAt(target, 7, 5), 0u);

  Bitmap part(10, 10);
  Graphics gp(&part);
  ASSERT_EQ(gp.DrawImage(&source, 0, 0, 2, 1, 2, 3, UnitPixel), Ok);
  EXPECT_EQ(PixelAt(part, 0, 0), PixelAt(source, 2, 1));
  EXPECT_EQ(PixelAt(part, 1, 2), PixelAt(source, 3, 3));
  EXPECT_EQ(PixelAt(part, 2, 0), 0u);
  EXPECT_EQ(gp.DrawImage(&source, 0, 0, 0, 0, 2, 2, UnitPoint), NotImplemented);
}

TEST(Images, ScaledBilinearlyWithEdgesClamped) {
  Bitmap source(2, 1);
  source.SetPixel(0, 0, Color(0xFF000000));
  source.SetPixel(1, 0, Color(0xFFFFFFFF));
  Bitmap target(20, 4);
  Graphics g(&target);
  g.SetInterpolationMode(InterpolationModeHighQualityBilinear);
  ASSERT_EQ(g.DrawImage(&source, Rect(0, 0, 20, 4)), Ok);
  // Opaque everywhere (no fading at the edges), dark on the left, light on the right,
  // and a gradient in between.
  for (int x = 0; x < 20; ++x) EXPECT_EQ(PixelAt(target, x, 3) >> 24, 255u) << x;
  EXPECT_EQ(PixelAt(target, 0, 0), 0xFF000000u);
  EXPECT_EQ(PixelAt(target, 19, 0), 0xFFFFFFFFu);
  const ARGB mid = PixelAt(target, 10, 1);
  EXPECT_GT(mid & 0xFF, 60u);
  EXPECT_LT(mid & 0xFF, 200u);
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
  const Pen pen(Color(Color::Black), 2.0f);
  const FontFamily arial(u"Arial");
  const Font font(&arial, 12);
  const Font huge(&arial, 1e30f);
  const Region empty(RectF(0, 0, 0, 0));
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
      {"huge rectangle",
       [&](Graphics& g) {
         GraphicsPath path;
         path.AddRectangle(RectF(0, 0, 1e38f, 1e38f));
         return g.DrawPath(&pen, &path);
       },
       Ok, true},
      {"NaN clip", [&](Graphics& g) { return g.SetClip(RectF(nan, nan, 3, 3)); }, Ok, false},
      {"empty region", [&](Graphics& g) { return g.FillRegion(&brush, &empty); }, Ok, false},
      {"NaN image place", [&](Graphics& g) { return g.DrawImage(&source, RectF(nan, 0, 5, 5)); }, InvalidParameter, false},
      {"huge image place", [&](Graphics& g) { return g.DrawImage(&source, RectF(0, 0, 1e30f, 1e30f)); }, Ok, false},
      {"image part outside", [&](Graphics& g) { return g.DrawImage(&source, 0, 0, 100, 100, 5, 5, UnitPixel); }, Ok, false},
      {"empty string", [&](Graphics& g) { return g.DrawString(u"", &font, RectF(0, 0, 16, 16), nullptr, &brush); }, Ok, false},
      {"string at infinity", [&](Graphics& g) { return g.DrawString(u"A", &font, RectF(inf, 0, 16, 16), nullptr, &brush); }, InvalidParameter, false},
      {"huge font", [&](Graphics& g) { return g.DrawString(u"A", &huge, RectF(0, 0, 16, 16), nullptr, &brush); }, Ok, true},
  };
  for (const Call& c : calls) {
    Bitmap bitmap(16, 16);
    Graphics g(&bitmap);
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    const Status status = c.call(g);
    const std::vector<std::uint32_t> pixels = bitmap.CopyArgb();
    const bool inked = std::ranges::any_of(pixels, [](std::uint32_t p) { return p != 0; });
    EXPECT_EQ(status, c.status) << c.what;
    if (!c.mayInk) {
      EXPECT_FALSE(inked) << c.what;
    }
    // The context stays usable: a plain fill afterwards still lands.
    g.ResetClip();
    EXPECT_EQ(g.FillRectangle(&brush, 4, 4, 8, 8), Ok) << c.what;
    Color inside;
    bitmap.GetPixel(8, 8, &inside);
    EXPECT_EQ(inside.GetValue(), Color(Color::Black).GetValue()) << c.what;
  }
}

}  // namespace
}  // namespace quillgate::graphics
