#include "Platform/Graphics/Pen.h"

#include <cmath>

namespace quillgate::graphics {

Pen::Pen(const Color& color, REAL width) : color_(color) {
  if (std::isfinite(width) && width >= 0) {
    width_ = width;
  } else {
    lastStatus_ = InvalidParameter;
  }
}

Status Pen::SetColor(const Color& color) {
  color_ = color;
  return Remember(Ok);
}

Status Pen::GetColor(Color* color) const {
  if (color == nullptr) return InvalidParameter;
  *color = color_;
  return Ok;
}

Status Pen::SetWidth(REAL width) {
  if (!std::isfinite(width) || width < 0) return Remember(InvalidParameter);
  width_ = width;
  return Remember(Ok);
}

Status Pen::SetDashStyle(DashStyle dashStyle) {
  switch (dashStyle) {
    case DashStyleSolid:
    case DashStyleDash:
    case DashStyleDot:
    case DashStyleDashDot:
    case DashStyleDashDotDot:
      dashStyle_ = dashStyle;
      return Remember(Ok);
    case DashStyleCustom:
      return Remember(NotImplemented);
  }
  return Remember(InvalidParameter);
}

Status Pen::SetAlignment(PenAlignment alignment) {
  if (alignment != PenAlignmentCenter && alignment != PenAlignmentInset) return Remember(InvalidParameter);
  alignment_ = alignment;
  return Remember(Ok);
}

namespace {
bool ValidCap(LineCap cap) { return cap == LineCapFlat || cap == LineCapSquare || cap == LineCapRound; }
}  // namespace

Status Pen::SetLineCap(LineCap startCap, LineCap endCap, LineCap dashCap) {
  if (!ValidCap(startCap) || !ValidCap(endCap) || !ValidCap(dashCap)) return Remember(InvalidParameter);
  startCap_ = startCap;
  endCap_ = endCap;
  return Remember(Ok);
}

Status Pen::SetStartCap(LineCap cap) { return SetLineCap(cap, endCap_); }
Status Pen::SetEndCap(LineCap cap) { return SetLineCap(startCap_, cap); }

Status Pen::SetLineJoin(LineJoin lineJoin) {
  if (lineJoin < LineJoinMiter || lineJoin > LineJoinMiterClipped) return Remember(InvalidParameter);
  lineJoin_ = lineJoin;
  return Remember(Ok);
}

Status Pen::SetMiterLimit(REAL miterLimit) {
  if (!std::isfinite(miterLimit)) return Remember(InvalidParameter);
  miterLimit_ = miterLimit < 1 ? 1 : miterLimit;
  return Remember(Ok);
}

}  // namespace quillgate::graphics
