#include "Drawing/TextEnvelope.h"

#include <boost/make_shared.hpp>

#include <algorithm>

namespace quillgate {

using graphics::PointF;
using graphics::RectF;

TextEnvelope::TextEnvelope(std::span<const PointF> topCurve, std::span<const PointF> bottomCurve)
    : topCurve_(topCurve.begin(), topCurve.end()),
      bottomCurve_(bottomCurve.begin(), bottomCurve.end()),
      topCount_(static_cast<std::int32_t>(topCurve_.size())),
      bottomCount_(static_cast<std::int32_t>(bottomCurve_.size())) {}

void TextEnvelope::FitToRect(const RectF& rect) {
  if (topCurve_.empty() && bottomCurve_.empty()) return;
  const PointF first = topCurve_.empty() ? bottomCurve_.front() : topCurve_.front();
  float minX = first.X, maxX = first.X, minY = first.Y, maxY = first.Y;
  for (const auto* curve : {&topCurve_, &bottomCurve_}) {
    for (const PointF& p : *curve) {
      minX = std::min(minX, p.X);
      maxX = std::max(maxX, p.X);
      minY = std::min(minY, p.Y);
      maxY = std::max(maxY, p.Y);
    }
  }
  const RectF bounds(minX, minY, maxX - minX, maxY - minY);
  // A collapsed axis has no finite scale; it stays collapsed at the rectangle's edge.
  const float sx = bounds.Width != 0 ? rect.Width / bounds.Width : 0.0f;
  const float sy = bounds.Height != 0 ? rect.Height / bounds.Height : 0.0f;
  for (auto* curve : {&topCurve_, &bottomCurve_}) {
    for (PointF& p : *curve) {
      const float dx = p.X - bounds.X;
      const float scaledX = sx * dx;
      p.X = rect.X + scaledX;
      const float dy = p.Y - bounds.Y;
      const float scaledY = sy * dy;
      p.Y = rect.Y + scaledY;
    }
  }
}

graphics::GraphicsPath TextEnvelope::WarpTextPath(std::u16string_view text,
                                                  const graphics::Font& font) const {
  // The layout stops at the first zero character, as for any C string handed over.
  text = text.substr(0, text.find(u'\0'));
  graphics::GraphicsPath layout(graphics::FillModeAlternate);
  const graphics::StringFormat format(0, 0);
  layout.AddString(text, &font.Family(), font.GetStyle(), font.GetSize(), PointF(0, 0), &format);

  const std::span<const PointF> points = layout.Points();
  if (points.empty() || topCurve_.empty() || bottomCurve_.empty()) {
    return graphics::GraphicsPath(graphics::FillModeAlternate);
  }
  float maxX = points.front().X;
  float maxY = points.front().Y;
  for (const PointF& p : points) {
    maxX = std::max(maxX, p.X);
    maxY = std::max(maxY, p.Y);
  }
  // Relative positions need a layout that extends right of and below the origin.
  if (!(maxX > 0) || !(maxY > 0)) return graphics::GraphicsPath(graphics::FillModeAlternate);

  std::vector<PointF> warped;
  warped.reserve(points.size());
  for (const PointF& p : points) {
    const float u = p.X / maxX;
    const float v = p.Y / maxY;
    // Points left of or above the origin would index before the curves' start: clamp.
    const auto i = std::clamp(static_cast<std::int32_t>(static_cast<float>(topCount_ - 1) * u), 0,
                              topCount_ - 1);
    const auto j = std::clamp(static_cast<std::int32_t>(static_cast<float>(bottomCount_ - 1) * u), 0,
                              bottomCount_ - 1);
    const PointF& top = topCurve_[static_cast<std::size_t>(i)];
    const PointF& bottom = bottomCurve_[static_cast<std::size_t>(j)];
    warped.emplace_back((1 - v) * top.X + v * bottom.X, (1 - v) * top.Y + v * bottom.Y);
  }
  return graphics::GraphicsPath(warped, layout.Types(), graphics::FillModeAlternate);
}

boost::shared_ptr<graphics::GraphicsPath> TextEnvelope::CreateWarpedPath(
    graphics::Graphics& /*graphics*/, const RectF& rect, std::u16string_view text,
    const graphics::Font& font) {
  FitToRect(rect);
  return boost::make_shared<graphics::GraphicsPath>(WarpTextPath(text, font));
}

bool TextEnvelope::DrawOutline(graphics::Graphics& graphics, const RectF& rect,
                               std::u16string_view text, const graphics::Font& font,
                               const graphics::Pen& pen) {
  FitToRect(rect);
  const graphics::GraphicsPath path = WarpTextPath(text, font);
  graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
  graphics.DrawPath(&pen, &path);
  return true;
}

bool TextEnvelope::DrawOutlineAndFill(graphics::Graphics& graphics, const RectF& rect,
                                      std::u16string_view text, const graphics::Font& font,
                                      const graphics::Pen& pen, const graphics::Brush& brush) {
  FitToRect(rect);
  const graphics::GraphicsPath path = WarpTextPath(text, font);
  graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
  graphics.DrawPath(&pen, &path);
  graphics.FillPath(&brush, &path);
  return true;
}

}  // namespace quillgate
