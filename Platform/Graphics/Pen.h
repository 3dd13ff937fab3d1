#pragma once
// Pens: colour, width, dash style, alignment, caps and joins. Defaults as in the library:
// solid, centred, flat caps, miter joins with miter limit 10.

#include "Platform/Graphics/GraphicsTypes.h"

#include <memory>

namespace quillgate::graphics {

namespace detail {
struct Access;
}

class Pen {
 public:
  explicit Pen(const Color& color, REAL width = 1.0f);

  [[nodiscard]] std::unique_ptr<Pen> Clone() const { return std::make_unique<Pen>(*this); }

  Status SetColor(const Color& color);
  Status GetColor(Color* color) const;
  [[nodiscard]] Color GetColor() const { return color_; }

  // Negative or non-finite widths are refused (InvalidParameter, width unchanged).
  Status SetWidth(REAL width);
  [[nodiscard]] REAL GetWidth() const { return width_; }

  // DashStyleCustom is refused with NotImplemented.
  Status SetDashStyle(DashStyle dashStyle);
  [[nodiscard]] DashStyle GetDashStyle() const { return dashStyle_; }

  Status SetAlignment(PenAlignment alignment);
  [[nodiscard]] PenAlignment GetAlignment() const { return alignment_; }

  Status SetLineCap(LineCap startCap, LineCap endCap, LineCap dashCap = LineCapFlat);
  Status SetStartCap(LineCap cap);
  Status SetEndCap(LineCap cap);
  [[nodiscard]] LineCap GetStartCap() const { return startCap_; }
  [[nodiscard]] LineCap GetEndCap() const { return endCap_; }

  Status SetLineJoin(LineJoin lineJoin);
  [[nodiscard]] LineJoin GetLineJoin() const { return lineJoin_; }
  Status SetMiterLimit(REAL miterLimit);
  [[nodiscard]] REAL GetMiterLimit() const { return miterLimit_; }

  [[nodiscard]] Status GetLastStatus() const { return lastStatus_; }

 private:
  friend struct detail::Access;
  Status Remember(Status s) { lastStatus_ = s; return s; }

  Color color_;
  REAL width_ = 1.0f;
  DashStyle dashStyle_ = DashStyleSolid;
  PenAlignment alignment_ = PenAlignmentCenter;
  LineCap startCap_ = LineCapFlat;
  LineCap endCap_ = LineCapFlat;
  LineJoin lineJoin_ = LineJoinMiter;
  REAL miterLimit_ = 10.0f;
  Status lastStatus_ = Ok;
};

}  // namespace quillgate::graphics
