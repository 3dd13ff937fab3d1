#include "Platform/Graphics/Gdiplus.h"
#include "Platform/Graphics/detail/Widening.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

namespace quillgate::graphics {
namespace {

using testing::AlphaMask;
using testing::Canvas;
using testing::CountOutside;
using testing::CountSet;
using testing::PixelAt;

std::vector<BYTE> TypesOf(const GraphicsPath& p) { return {p.Types().begin(), p.Types().end()}; }

TEST(PathFigures, PointTypesFollowTheLibrarysEncoding) {
  GraphicsPath p;
  p.AddLine(0.0f, 0.0f, 10.0f, 0.0f);
  p.AddBezier(10, 0, 12, 2, 14, 4, 16, 8);  // continues the open figure
  p.CloseFigure();
  p.AddRectangle(RectF(0, 0, 5, 5));
  p.AddLine(0.0f, 0.0f, 1.0f, 0.0f);
  p.StartFigure();  // separates lines that would otherwise join
  p.AddLine(5.0f, 5.0f, 6.0f, 5.0f);
  EXPECT_EQ(TypesOf(p), (std::vector<BYTE>{0, 1, 1, 3, 3, 0x83, 0, 1, 1, 0x81, 0, 1, 0, 1}));

  GraphicsPath e;
  e.AddEllipse(0, 0, 10, 10);
  ASSERT_EQ(e.GetPointCount(), 13);
  EXPECT_EQ(e.Types()[0], 0);
  EXPECT_EQ(e.Types()[12], 0x83);
}

TEST(PathFigures, BuiltFromPointsAndTypesRoundTripsAndRepairsNonsense) {
  const PointF pts[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {10, 10}, {11, 11}, {12, 12}, {13, 13}};
  const BYTE types[] = {0, 1, 1, 0x81, 0, 3, 3, 3};
  const GraphicsPath p(pts, types, 8, FillModeWinding);
  EXPECT_EQ(TypesOf(p), (std::vector<BYTE>(types, types + 8)));
  EXPECT_EQ(p.GetFillMode(), FillModeWinding);
  std::vector<PointF> back(8);
  EXPECT_EQ(p.GetPathPoints(back.data(), 8), Ok);
  EXPECT_EQ(back[6], PointF(12, 12));
  EXPECT_EQ(p.GetPathPoints(back.data(), 7), InsufficientBuffer);

  // A dangling Bezier run and a figure that does not open with a start point.
  const BYTE broken[] = {1, 3, 3, 1, 3, 0, 1, 3};
  const GraphicsPath repaired(pts, broken, 8);
  EXPECT_EQ(TypesOf(repaired), (std::vector<BYTE>{0, 1, 1, 1, 1, 0, 1, 1}));
}

TEST(PathTransform, MatrixOrderPrependAndAppend) {
  Matrix prepend, append, rotate, inverse(2, 0, 0, 4, 6, 8), singular(0, 0, 0, 0, 1, 1);
  prepend.Translate(10, 0);
  prepend.Scale(2, 2);  // prepended: scales first, then translates
  append.Translate(10, 0);
  append.Scale(2, 2, MatrixOrderAppend);  // translates first
  rotate.Rotate(90);  // clockwise on screen: +x goes to +y
  ASSERT_EQ(inverse.Invert(), Ok);
  EXPECT_EQ(singular.Invert(), InvalidParameter);
  for (const auto& [m, from, to] : {std::tuple{&prepend, PointF(1, 1), PointF(12, 2)},
                                     {&append, PointF(1, 1), PointF(22, 2)},
                                     {&rotate, PointF(1, 0), PointF(0, 1)},
                                     {&inverse, PointF(8, 12), PointF(1, 1)}}) {
    PointF p = from;
    m->TransformPoints(&p);
    EXPECT_EQ(p, to) << from.X << ", " << from.Y;
  }
}

TEST(PathWarp, ParallelogramFromThreePointsAndCurvesAreFlattened) {
  GraphicsPath p;
  p.AddEllipse(RectF(0, 0, 10, 10));
  const PointF three[3] = {{0, 0}, {20, 0}, {5, 10}};
  ASSERT_EQ(p.Warp(three, 3, RectF(0, 0, 10, 10)), Ok);
  for (BYTE t : p.Types()) EXPECT_NE(t & PathPointTypePathTypeMask, PathPointTypeBezier);
  RectF b;
  p.GetBounds(&b);
  // x = 20u + 5v over the circle of the unit square: sqrt(20^2 + 5^2) wide, less the chords.
  EXPECT_NEAR(b.Width, std::sqrt(425.0), 0.3);
  EXPECT_NEAR(b.Height, 10, 0.3);
}

TEST(PathWarp, BadInputFailsAndLeavesThePath) {
  GraphicsPath p;
  p.AddRectangle(RectF(0, 0, 10, 10));
  const auto before = std::vector<PointF>(p.Points().begin(), p.Points().end());
  const PointF dest[4] = {{0, 0}, {10, 0}, {0, 10}, {10, 10}};
  EXPECT_EQ(p.Warp(dest, 4, RectF(0, 0, 0, 10)), InvalidParameter);
  EXPECT_EQ(p.Warp(dest, 2, RectF(0, 0, 10, 10)), InvalidParameter);
  EXPECT_EQ(p.Warp(nullptr, 4, RectF(0, 0, 10, 10)), InvalidParameter);
  const PointF nanDest[4] = {{0, 0}, {std::numeric_limits<float>::quiet_NaN(), 0}, {0, 10}, {10, 10}};
  EXPECT_EQ(p.Warp(nanDest, 4, RectF(0, 0, 10, 10)), InvalidParameter);
  EXPECT_EQ(std::vector<PointF>(p.Points().begin(), p.Points().end()), before);
}

// ---- widening -------------------------------------------------------------------------

// Stroking a path and filling its widened outline, both smoothed, paint the same pixels
// (within a pixel): solid, and dashed with the gaps of the style.
TEST(PathWiden, OutlineCoversWhatTheStrokeCoversSolidOrDashed) {
  GraphicsPath path;
  path.AddBezier(5, 30, 15, 0, 35, 40, 55, 8);
  path.StartFigure();
  path.AddEllipse(RectF(12, 8, 20, 24));
  const SolidBrush black{Color(Color::Black)};
  int solid = 0;
  for (DashStyle style : {DashStyleSolid, DashStyleDash, DashStyleDot, DashStyleDashDot}) {
    Pen pen(Color(Color::Black), 2.0f);
    pen.SetDashStyle(style);
    GraphicsPath wide = path;
    ASSERT_EQ(wide.Widen(&pen), Ok);
    EXPECT_EQ(wide.GetFillMode(), FillModeWinding);
    Canvas stroked(60, 40), widened(60, 40);
    stroked.g.DrawPath(&pen, &path);
    widened.g.FillPath(&black, &wide);
    const auto s = AlphaMask(stroked.bitmap), w = AlphaMask(widened.bitmap);
    const int slack = style == DashStyleSolid ? 0 : 2;  // a dash's end may fall either way
    EXPECT_LE(CountOutside(s, w, 1), slack) << style;
    EXPECT_LE(CountOutside(w, s, 1), slack) << style;
    if (style == DashStyleSolid) {
      solid = CountSet(s);
      EXPECT_GT(solid, 150);
    } else {
      EXPECT_GT(CountSet(s), solid / 3) << style;
      EXPECT_LT(CountSet(s), solid * 85 / 100) << style;  // the gaps are there
    }
  }
}

TEST(PathWiden, DashesLeaveGapsOfTheirStyle) {
  GraphicsPath path;
  path.AddLine(2.0f, 20.0f, 58.0f, 20.0f);
  Pen pen(Color(Color::Black), 2.0f);
  pen.SetDashStyle(DashStyleDash);  // 6 on, 2 off
  GraphicsPath wide = path;
  ASSERT_EQ(wide.Widen(&pen), Ok);
  const Region r(&wide);
  // Along the line: on from 2 to 8, off to 10, on from 10 to 16...
  EXPECT_TRUE(r.IsVisible(5, 20));
  EXPECT_FALSE(r.IsVisible(8, 20));
  EXPECT_FALSE(r.IsVisible(9, 20));
  EXPECT_TRUE(r.IsVisible(11, 20));
  EXPECT_FALSE(r.IsVisible(5, 22));  // width 2: rows 19 and 20 only

  Pen thinDots(Color(Color::Black), 0.5f);
  thinDots.SetDashStyle(DashStyleDot);  // thinner than 1: dots and gaps of 1
  GraphicsPath dotted = path;
  ASSERT_EQ(dotted.Widen(&thinDots), Ok);
  int figures = 0;
  for (BYTE t : dotted.Types()) figures += (t & PathPointTypePathTypeMask) == PathPointTypeStart ? 1 : 0;
  EXPECT_EQ(figures, 28);
}

TEST(PathWiden, InsetPenKeepsTheStrokeInsideClosedFigures) {
  GraphicsPath path;
  path.AddRectangle(RectF(10, 10, 20, 10));
  Pen pen(Color(Color::Black), 2.0f);
  pen.SetAlignment(PenAlignmentInset);
  // Drawn with the inset pen, the stroke paints nothing outside the figure.
  Canvas canvas(40, 30);
  canvas.g.DrawPath(&pen, &path);
  EXPECT_EQ(PixelAt(canvas.bitmap, 9, 15) >> 24, 0u);
  // Pixel centres lie on whole coordinates: the figure's edge halves pixel 10.
  EXPECT_NEAR(PixelAt(canvas.bitmap, 10, 15) >> 24, 128, 1);
  EXPECT_EQ(PixelAt(canvas.bitmap, 11, 15) >> 24, 255u);
}

// A long text is widened piece by piece; what its outline covers must be what the one union
// of everything covers, for a centred pen, an inset dotted pen (each dash cut to the letters,
// the holes of the letters kept) and a dashed pen along open figures, both fill rules.
TEST(PathWiden, PiecewiseOutlinesCoverWhatTheOneUnionCovers) {
  constexpr int kW = 420, kH = 70;
  const FontFamily family(u"Arial");
  GraphicsPath text(FillModeAlternate);
  // Letters squeezed so that their outlines overlap, as a very long code fitted to a picture.
  std::u16string code;
  for (int i = 0; i < 8; ++i) code += u"AB3KW8QX9PR";  // enough points for several tiles
  text.AddString(code, &family, FontStyleBold, 60, RectF(0, 0, 2000, 80), nullptr);
  Matrix squeeze;
  squeeze.Scale(0.1f, 1.0f);
  text.Transform(&squeeze);
  GraphicsPath open;
  for (int i = 0; i < 40; ++i) {
    open.StartFigure();
    open.AddBezier(PointF(10.0f * i, 5), PointF(10.0f * i + 30, 60), PointF(10.0f * i - 20, 20), PointF(10.0f * i + 9, 66));
  }
  Pen centred(Color(Color::Black), 3.0f), insetDots(Color(Color::Black), 1.0f), dashes(Color(Color::Black), 2.0f);
  insetDots.SetAlignment(PenAlignmentInset);
  insetDots.SetDashStyle(DashStyleDot);
  dashes.SetDashStyle(DashStyleDash);
  const struct {
    const GraphicsPath* path;
    const Pen* pen;
    FillMode fill;
  } cases[] = {{&text, &centred, FillModeAlternate}, {&text, &insetDots, FillModeAlternate},
               {&text, &insetDots, FillModeWinding}, {&open, &dashes, FillModeAlternate}};
  for (const auto& c : cases) {
    auto fill = [&](std::size_t piecewiseAbove) {
      std::vector<PointF> points;
      std::vector<BYTE> types;
      detail::WidenOutline(c.path->Points(), c.path->Types(), c.fill, c.pen, nullptr, 0.25f, piecewiseAbove, points,
                           types);
      const GraphicsPath outline(points, types, FillModeWinding);
      Bitmap bitmap(kW, kH);
      Graphics g(&bitmap);
      const SolidBrush black{Color(Color::Black)};
      g.FillPath(&black, &outline);
      return AlphaMask(bitmap);
    };
    const auto whole = fill(std::numeric_limits<std::size_t>::max()), pieces = fill(0);
    EXPECT_GT(CountSet(whole), 2000) << c.pen->GetWidth();
    int differ = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) differ += whole[y][x] != pieces[y][x] ? 1 : 0;
    }
    // A pixel whose centre lies on an edge may fall either way when the edges are cut apart.
    EXPECT_LE(differ, CountSet(whole) / 500) << "pen " << c.pen->GetWidth() << " fill " << c.fill;
  }
}

TEST(PathWiden, TooFewPointsOrNoPenFailsAndKeepsThePath) {
  const Pen pen(Color(Color::Black), 2.0f);
  const PointF one[] = {{3, 4}};
  const BYTE type[] = {0};
  GraphicsPath empty, single(one, type, 1), line;
  line.AddLine(0.0f, 0.0f, 5.0f, 0.0f);
  for (auto [path, widener, points] :
       {std::tuple{&empty, &pen, 0}, {&single, &pen, 1}, {&line, nullptr, 2}}) {
    EXPECT_NE(path->Widen(widener), Ok) << points;
    EXPECT_EQ(path->GetPointCount(), points);
  }
}

TEST(PathDegenerate, NonFiniteAndHugeInputNeverCrash) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  GraphicsPath p;
  p.AddBezier(0, 0, nan, 1, 2, 3, 1e30f, -1e30f);
  p.AddEllipse(RectF(nan, nan, nan, nan));
  p.AddRectangle(RectF(-1e38f, -1e38f, 3e38f, 3e38f));
  RectF b;
  EXPECT_EQ(p.GetBounds(&b), Ok);
  GraphicsPath flat = p;
  flat.Flatten();
  GraphicsPath wide = p;
  const Pen pen(Color(Color::Black), 2.0f);
  wide.Widen(&pen);
  const PointF dest[4] = {{0, 0}, {10, 0}, {0, 10}, {10, 10}};
  GraphicsPath warped = p;
  warped.Warp(dest, 4, RectF(0, 0, 10, 10));
  EXPECT_FALSE(p.IsVisible(nan, 0));

  Canvas canvas(20, 20);
  Graphics& g = canvas.g;
  const SolidBrush brush{Color(Color::Red)};
  EXPECT_EQ(g.FillPath(&brush, &p), Ok);
  EXPECT_EQ(g.DrawPath(&pen, &p), Ok);
  EXPECT_EQ(g.SetClip(&p), Ok);
  EXPECT_EQ(g.FillPath(&brush, &wide), Ok);
}

}  // namespace
}  // namespace quillgate::graphics
