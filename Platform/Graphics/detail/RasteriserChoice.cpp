#include "Platform/Graphics/detail/RasteriserChoice.h"

#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/CairoPainting.h"
#include "Platform/Graphics/detail/SmallEllipse.h"
#include "Platform/Graphics/detail/ThinStroke.h"

#include <cmath>

namespace quillgate::graphics::detail {

FillWay ChooseFill(const Brush& brush, bool antialiased) {
  return antialiased && !IsTwoColourHatch(brush) ? FillWay::kCairo : FillWay::kAliased;
}

EllipseWay ChooseEllipse(const RectF& rect, const Brush* brush, bool antialiased) {
  if (!antialiased && rect.Width > 0 && rect.Height > 0 && rect.Width < 2 && rect.Height < 2 &&
      std::isfinite(rect.X) && std::isfinite(rect.Y)) {
    return EllipseWay::kCentrePixel;
  }
  if (antialiased && IsSmallEllipse(rect.X, rect.Y, rect.Width, rect.Height) && brush != nullptr &&
      brush->GetLastStatus() == Ok && Access::Fore(*brush) == Access::Back(*brush)) {
    return EllipseWay::kExactCoverage;
  }
  return EllipseWay::kAsPath;
}

bool IsPlainPen(const Pen& pen) {
  return pen.GetAlignment() != PenAlignmentInset && pen.GetDashStyle() == DashStyleSolid && pen.GetColor().GetA() == 255;
}

StrokeWay ChooseStroke(const Pen& pen, std::span<const PointF> points, bool mark, PointF& minimum, PointF& maximum) {
  const bool plain = IsPlainPen(pen);
  if (plain && pen.GetWidth() <= 1.0f &&
      ThinStroke::Fits(points, minimum, maximum, mark ? ThinStroke::kMarkLimit : ThinStroke::kLimit)) {
    return StrokeWay::kThinStroke;
  }
  if (mark && plain) return StrokeWay::kFigureRuns;
  if (pen.GetAlignment() == PenAlignmentInset) return StrokeWay::kWidenedFill;
  return StrokeWay::kCairo;
}

}  // namespace quillgate::graphics::detail
