#include "Platform/Graphics/detail/AliasedFill.h"

#include "Platform/Graphics/detail/Geometry.h"

#include <vector>

namespace quillgate::graphics::detail {

void FillAliased(cairo_t* cr, const GraphicsPath& path, int height) {
  cairo_new_path(cr);
  if (height <= 0) return;
  const auto figures = FlattenFigures(path.Points(), path.Types(), nullptr, FlatnessDefault);
  std::vector<PixelRect> rects;
  ScanConvert(figures, path.GetFillMode(), rects, ScanWindow{.sampleOffset = 0.5, .firstRow = 0, .lastRow = height - 1});
  if (rects.empty()) return;
  for (const PixelRect& r : rects) cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  // The rectangles never overlap; whole-pixel boxes are painted without any smoothing.
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_fill(cr);
}

}  // namespace quillgate::graphics::detail
