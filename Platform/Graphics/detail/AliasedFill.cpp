#include "Platform/Graphics/detail/AliasedFill.h"

#include "Platform/Graphics/detail/Geometry.h"

#include <algorithm>
#include <vector>

namespace quillgate::graphics::detail {

namespace {

// Whether drawing on `cr` reaches every pixel of its target: no clip smaller than the
// target, the plain operator.
bool Unclipped(cairo_t* cr, int width, int height) {
  if (cairo_get_operator(cr) != CAIRO_OPERATOR_OVER) return false;
  cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
  const bool whole = list->status == CAIRO_STATUS_SUCCESS && list->num_rectangles == 1 &&
                     list->rectangles[0].x <= 0 && list->rectangles[0].y <= 0 &&
                     list->rectangles[0].x + list->rectangles[0].width >= width &&
                     list->rectangles[0].y + list->rectangles[0].height >= height;
  cairo_rectangle_list_destroy(list);
  return whole;
}

void WriteSpans(cairo_surface_t* surface, const std::vector<PixelRect>& rects, std::uint32_t pixel) {
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  int left = width, top = height, right = 0, bottom = 0;
  for (const PixelRect& r : rects) {
    const int x0 = std::max(r.x, 0), x1 = std::min(r.x + r.width, width);
    const int y0 = std::max(r.y, 0), y1 = std::min(r.y + r.height, height);
    if (x1 <= x0 || y1 <= y0) continue;
    for (int y = y0; y < y1; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
      std::fill(row + x0, row + x1, pixel);
    }
    left = std::min(left, x0);
    top = std::min(top, y0);
    right = std::max(right, x1);
    bottom = std::max(bottom, y1);
  }
  if (right > left) cairo_surface_mark_dirty_rectangle(surface, left, top, right - left, bottom - top);
}

}  // namespace

void FillAliased(cairo_t* cr, const GraphicsPath& path, std::optional<std::uint32_t> opaque) {
  cairo_new_path(cr);
  cairo_surface_t* target = cairo_get_target(cr);
  if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) return;
  const int width = cairo_image_surface_get_width(target);
  const int height = cairo_image_surface_get_height(target);
  if (width <= 0 || height <= 0) return;

  const auto figures = FlattenFigures(path.Points(), path.Types(), nullptr, FlatnessDefault);
  std::vector<PixelRect> rects;
  ScanConvert(figures, path.GetFillMode(), rects,
              ScanWindow{.sampleOffset = 0.5, .firstRow = 0, .lastRow = height - 1});
  if (rects.empty()) return;

  // An opaque colour over everything it covers: premultiplied equals straight.
  if (opaque && (*opaque >> 24) == 0xFF && cairo_image_surface_get_format(target) == CAIRO_FORMAT_ARGB32 &&
      Unclipped(cr, width, height)) {
    WriteSpans(target, rects, *opaque);
    return;
  }
  for (const PixelRect& r : rects) cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  // The rectangles never overlap; whole-pixel boxes are painted without any smoothing.
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_fill(cr);
}

}  // namespace quillgate::graphics::detail
