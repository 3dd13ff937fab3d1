// The drawing context itself: its bitmap, smoothing and interpolation, clearing, and the
// clip. Shapes, strings and images are drawn in GraphicsShapes.cpp, GraphicsText.cpp and
// GraphicsImages.cpp.
#include "Platform/Graphics/Graphics.h"

#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/CairoPainting.h"
#include "Platform/Graphics/detail/GraphicsData.h"
#include "Platform/Graphics/detail/RegionData.h"

#include <cairo.h>

#include <memory>

namespace quillgate::graphics {

using detail::Access;

Graphics::Graphics(Bitmap* image) {
  detail::BitmapData* bitmap = image != nullptr ? Access::Data(*image) : nullptr;
  if (bitmap == nullptr) {
    lastStatus_ = InvalidParameter;
    return;
  }
  auto data = std::make_unique<detail::GraphicsData>();
  data->cr.reset(cairo_create(bitmap->surface.get()));
  if (cairo_status(data->cr.get()) != CAIRO_STATUS_SUCCESS) {
    lastStatus_ = OutOfMemory;
    return;
  }
  // Curves are flattened to within a quarter pixel, as the original library does by default.
  cairo_set_tolerance(data->cr.get(), 0.25);
  data->surface = bitmap->surface.get();
  data->width = bitmap->width;
  data->height = bitmap->height;
  data_ = std::move(data);
}

Graphics::~Graphics() = default;

Status Graphics::SetSmoothingMode(SmoothingMode mode) {
  if (mode < SmoothingModeDefault || mode > SmoothingModeAntiAlias) return Remember(InvalidParameter);
  smoothing_ = mode;
  return Remember(Ok);
}

Status Graphics::SetInterpolationMode(InterpolationMode mode) {
  if (mode < InterpolationModeDefault || mode > InterpolationModeHighQualityBicubic) return Remember(InvalidParameter);
  interpolation_ = mode;
  return Remember(Ok);
}

Status Graphics::Clear(const Color& color) {
  if (!data_) return Remember(WrongState);
  cairo_t* cr = data_->cr.get();
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  detail::SetColor(cr, color);
  cairo_paint(cr);
  cairo_restore(cr);
  return Remember(Ok);
}

// ---- clipping -------------------------------------------------------------------------

namespace {

// Hands the clip to Cairo as whole-pixel rectangles within the bitmap (pixel-aligned, so
// Cairo keeps it as a region and never softens it).
void ApplyClip(detail::GraphicsData& d) {
  cairo_t* cr = d.cr.get();
  cairo_reset_clip(cr);
  d.clipMask.reset();
  d.clipInfinite = d.clip.IsInfinite();
  if (d.clipInfinite) return;
  Region visible(Rect(0, 0, d.width, d.height));
  visible.Intersect(&d.clip);
  // Shapes are clipped through this mask; Cairo's own clip serves the other operations.
  d.clipMask = std::make_unique<detail::ClipMask>(Access::Data(visible).pixels.get(), d.width, d.height);
  cairo_new_path(cr);
  const cairo_region_t* pixels = Access::Data(visible).pixels.get();
  const int n = cairo_region_num_rectangles(pixels);
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(pixels, i, &r);
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  }
  if (n == 0) cairo_rectangle(cr, 0, 0, 0, 0);
  // cairo_clip reads antialias and fill rule from the current state.
  const cairo_antialias_t antialias = cairo_get_antialias(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr);
  cairo_set_antialias(cr, antialias);
}

}  // namespace

Status Graphics::SetClip(const Region* region, CombineMode mode) {
  if (!data_) return Remember(WrongState);
  if (region == nullptr) return Remember(InvalidParameter);
  const Status s = data_->clip.Combine(region, mode);
  ApplyClip(*data_);
  return Remember(s);
}

Status Graphics::SetClip(const GraphicsPath* path, CombineMode mode) {
  if (path == nullptr) return Remember(InvalidParameter);
  const Region region(path);
  return SetClip(&region, mode);
}

Status Graphics::SetClip(const RectF& rect, CombineMode mode) {
  const Region region(rect);
  return SetClip(&region, mode);
}

Status Graphics::SetClip(const Rect& rect, CombineMode mode) { return SetClip(RectF(rect), mode); }

Status Graphics::SetClip(const Graphics* other, CombineMode mode) {
  if (other == nullptr || !other->data_) return Remember(InvalidParameter);
  const Region copy(other->data_->clip);
  return SetClip(&copy, mode);
}

Status Graphics::ResetClip() {
  if (!data_) return Remember(WrongState);
  data_->clip.MakeInfinite();
  ApplyClip(*data_);
  return Remember(Ok);
}

Status Graphics::GetClipBounds(RectF* rect) const {
  if (rect == nullptr) return Remember(InvalidParameter);
  if (!data_) return Remember(WrongState);
  if (data_->clip.IsInfinite()) {
    *rect = RectF(-4194304.0f, -4194304.0f, 8388608.0f, 8388608.0f);
    return Remember(Ok);
  }
  return Remember(data_->clip.GetBounds(rect));
}

}  // namespace quillgate::graphics
