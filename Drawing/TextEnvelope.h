#pragma once
// Text bent between two guide curves: the outline of a text is laid out as a path, and every
// point is moved so that the top of the layout runs along the top curve and its lowest
// points along the bottom curve, the position along both curves following the point's
// relative x. The curves are first scaled together onto the rectangle the text should fill.

#include "Platform/Graphics/Gdiplus.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quillgate {

class TextEnvelope {
 public:
  // Copies both curves, left to right. Each should hold at least one point; with an empty
  // curve nothing is ever drawn.
  TextEnvelope(std::span<const graphics::PointF> topCurve,
               std::span<const graphics::PointF> bottomCurve);

  // Scales and moves both curves together so that their common bounding box becomes
  // `rect`. A curve pair without width or height keeps that axis collapsed at rect's edge.
  void FitToRect(const graphics::RectF& rect);

  // FitToRect(rect), then the warped outline of `text` in `font`'s family, style and size
  // (taken as the em size). Nothing is drawn; `graphics` is not used. A text with no
  // outline (empty, spaces only) gives an empty path.
  boost::shared_ptr<graphics::GraphicsPath> CreateWarpedPath(graphics::Graphics& graphics,
                                                             const graphics::RectF& rect,
                                                             std::u16string_view text,
                                                             const graphics::Font& font);

  // FitToRect(rect), then strokes the warped text with `pen`, anti-aliased (the smoothing
  // mode stays anti-aliased afterwards). Always true: a failed drawing call is left out.
  bool DrawOutline(graphics::Graphics& graphics, const graphics::RectF& rect,
                   std::u16string_view text, const graphics::Font& font, const graphics::Pen& pen);

  // As DrawOutline, then fills the same path with `brush` over the inner half of the stroke.
  bool DrawOutlineAndFill(graphics::Graphics& graphics, const graphics::RectF& rect,
                          std::u16string_view text, const graphics::Font& font,
                          const graphics::Pen& pen, const graphics::Brush& brush);

  [[nodiscard]] const std::vector<graphics::PointF>& TopCurve() const { return topCurve_; }
  [[nodiscard]] const std::vector<graphics::PointF>& BottomCurve() const { return bottomCurve_; }

 private:
  [[nodiscard]] graphics::GraphicsPath WarpTextPath(std::u16string_view text,
                                                    const graphics::Font& font) const;

  std::vector<graphics::PointF> topCurve_;
  std::vector<graphics::PointF> bottomCurve_;
  std::int32_t topCount_;
  std::int32_t bottomCount_;
};

}  // namespace quillgate
