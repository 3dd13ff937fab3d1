#include "Platform/Graphics/detail/TextLayout.h"

#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/FontCache.h"

#include <cmath>

namespace quillgate::graphics::detail {

namespace {

// Start of a box of `size` placed on one axis of the layout rectangle.
double Place(double start, double extent, double size, StringAlignment align) {
  if (extent > 0) {
    if (align == StringAlignmentCenter) return start + (extent - size) / 2;
    if (align == StringAlignmentFar) return start + extent - size;
    return start;
  }
  // No extent: the coordinate is an origin the box hangs from, centres on or ends at.
  if (align == StringAlignmentCenter) return start - size / 2;
  if (align == StringAlignmentFar) return start - size;
  return start;
}

}  // namespace

Status LayOutText(const TextLayoutRequest& request, GraphicsPath* path, RectF* box) {
  const double emSize = request.emSize;
  if (!std::isfinite(emSize) || emSize <= 0 || !std::isfinite(request.layout.X) || !std::isfinite(request.layout.Y) ||
      !std::isfinite(request.layout.Width) || !std::isfinite(request.layout.Height)) {
    return InvalidParameter;
  }
  const FontFamily* family = request.family;
  if (family == nullptr || !family->IsAvailable()) family = FontFamily::GenericSansSerif();
  const auto& info = Access::Info(*family);
  if (!info) return FontFamilyNotFound;

  const StringFormat* format = request.format != nullptr ? request.format : StringFormat::GenericDefault();
  const std::u32string text = DecodeUtf16(request.text);

  std::vector<const GlyphOutline*> glyphs;
  FaceMetrics metrics;
  if (!GetGlyphs(*info, request.style, text, glyphs, metrics)) return FontFamilyNotFound;

  const double scale = emSize / metrics.unitsPerEm;
  double advance = 0;
  for (const GlyphOutline* g : glyphs) advance += g->advance;
  const double margin = (format->IsTypographic() || text.empty()) ? 0.0 : emSize / 6.0;
  const double width = text.empty() ? 0.0 : advance * scale + 2 * margin;
  const double height = text.empty() ? 0.0 : metrics.lineSpacing * scale;

  const RectF& layout = request.layout;
  const double left = Place(layout.X, layout.Width, width, format->GetAlignment());
  const double top = Place(layout.Y, layout.Height, height, format->GetLineAlignment());
  if (box != nullptr) {
    *box = RectF(static_cast<REAL>(left), static_cast<REAL>(top), static_cast<REAL>(width), static_cast<REAL>(height));
  }
  if (path == nullptr) return Ok;

  auto& points = Access::Points(*path);
  auto& types = Access::Types(*path);
  double penX = left + margin;
  const double baseline = top + metrics.cellAscent * scale;
  for (const GlyphOutline* g : glyphs) {
    for (std::size_t i = 0; i < g->points.size(); ++i) {
      points.emplace_back(static_cast<REAL>(penX + g->points[i].X * scale),
                          static_cast<REAL>(baseline - g->points[i].Y * scale));
      types.push_back(g->types[i]);
    }
    penX += g->advance * scale;
  }
  Access::MarkFigureEnded(*path);
  return Ok;
}

}  // namespace quillgate::graphics::detail
