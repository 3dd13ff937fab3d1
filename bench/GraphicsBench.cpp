// Costs of the graphics services on the default 250 x 50 image: the text outline, its
// region, widening, filling, and the stroke that the default style draws.

#include "Platform/Graphics/Gdiplus.h"

#include <benchmark/benchmark.h>

namespace {

using namespace quillgate::graphics;

GraphicsPath TextPath() {
  const FontFamily arial(u"Arial");
  GraphicsPath path(FillModeWinding);
  path.AddString(u"K7QX2M", &arial, FontStyleRegular, 200.0f * 96 / 72, PointF(0, 0), nullptr);
  RectF b;
  path.GetBounds(&b);
  Matrix fit;
  fit.Translate(5, 2);
  fit.Scale(240 / b.Width, 45 / b.Height);
  fit.Translate(-b.X, -b.Y);
  path.Transform(&fit);
  return path;
}

void BM_AddString(benchmark::State& state) {
  for (auto _ : state) {
    GraphicsPath path = TextPath();
    benchmark::DoNotOptimize(path.GetPointCount());
  }
}
BENCHMARK(BM_AddString);

void BM_StrokeTextOutline(benchmark::State& state) {
  const GraphicsPath path = TextPath();
  const Pen pen(Color(Color::White), 2.0f);
  for (auto _ : state) {
    Bitmap bitmap(250, 50);
    Graphics g(&bitmap);
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    g.DrawPath(&pen, &path);
    benchmark::DoNotOptimize(bitmap.GetWidth());
  }
}
BENCHMARK(BM_StrokeTextOutline);

void BM_RegionFromText(benchmark::State& state) {
  const GraphicsPath path = TextPath();
  for (auto _ : state) {
    const Region region(&path);
    benchmark::DoNotOptimize(region.GetRegionScansCount());
  }
}
BENCHMARK(BM_RegionFromText);

void BM_WidenTextDotted(benchmark::State& state) {
  const GraphicsPath path = TextPath();
  Pen pen(Color(Color::White), 1.0f);
  pen.SetDashStyle(DashStyleDot);
  pen.SetAlignment(PenAlignmentInset);
  for (auto _ : state) {
    GraphicsPath wide = path;
    wide.Widen(&pen);
    benchmark::DoNotOptimize(wide.GetPointCount());
  }
}
BENCHMARK(BM_WidenTextDotted);

void BM_SixThousandDots(benchmark::State& state) {
  const SolidBrush green{Color(Color::Green)};
  for (auto _ : state) {
    Bitmap bitmap(250, 50);
    Graphics g(&bitmap);
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    for (int i = 0; i < 6250; ++i) {
      g.FillEllipse(&green, RectF(static_cast<float>(i % 250) + 0.3f, static_cast<float>(i % 50), 1, 1));
    }
    benchmark::DoNotOptimize(bitmap.GetWidth());
  }
}
BENCHMARK(BM_SixThousandDots);

void BM_FillTextOutline(benchmark::State& state) {
  const GraphicsPath path = TextPath();
  const SolidBrush brush{Color(Color::White)};
  for (auto _ : state) {
    Bitmap bitmap(250, 50);
    Graphics g(&bitmap);
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    g.FillPath(&brush, &path);
    benchmark::DoNotOptimize(bitmap.GetWidth());
  }
}
BENCHMARK(BM_FillTextOutline);

}  // namespace
