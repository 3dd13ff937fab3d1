// Images: a bitmap, or a part of it, drawn at a point or scaled into a rectangle.
#include "Platform/Graphics/Graphics.h"

#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/BitmapData.h"
#include "Platform/Graphics/detail/CairoPainting.h"
#include "Platform/Graphics/detail/GraphicsData.h"

#include <cairo.h>

#include <cmath>

namespace quillgate::graphics {

namespace {

cairo_filter_t FilterOf(InterpolationMode mode) {
  switch (mode) {
    case InterpolationModeNearestNeighbor: return CAIRO_FILTER_NEAREST;
    case InterpolationModeHighQuality:
    case InterpolationModeHighQualityBilinear:
    case InterpolationModeHighQualityBicubic:
    case InterpolationModeBicubic: return CAIRO_FILTER_GOOD;
    default: return CAIRO_FILTER_BILINEAR;
  }
}

bool IsWhole(double v) { return std::floor(v) == v; }

}  // namespace

Status Graphics::DrawImage(const Bitmap* image, const RectF& destRect, REAL srcx, REAL srcy, REAL srcwidth,
                           REAL srcheight, Unit srcUnit) {
  if (!data_) return Remember(WrongState);
  if (image == nullptr) return Remember(InvalidParameter);
  if (srcUnit != UnitPixel) return Remember(NotImplemented);
  const detail::BitmapData* source = detail::Access::Data(*image);
  if (source == nullptr) return Remember(InvalidParameter);
  const double values[] = {destRect.X, destRect.Y, destRect.Width, destRect.Height, srcx, srcy, srcwidth, srcheight};
  for (double v : values) {
    if (!std::isfinite(v)) return Remember(InvalidParameter);
  }
  if (destRect.Width == 0 || destRect.Height == 0 || srcwidth <= 0 || srcheight <= 0) return Remember(Ok);

  // The source rectangle, cut to the image; the destination shrinks with it.
  const double sx0 = std::max<double>(srcx, 0), sy0 = std::max<double>(srcy, 0);
  const double sx1 = std::min<double>(static_cast<double>(srcx) + srcwidth, source->width);
  const double sy1 = std::min<double>(static_cast<double>(srcy) + srcheight, source->height);
  if (sx1 <= sx0 || sy1 <= sy0) return Remember(Ok);
  const double kx = destRect.Width / srcwidth, ky = destRect.Height / srcheight;
  const double dx = destRect.X + (sx0 - srcx) * kx, dy = destRect.Y + (sy0 - srcy) * ky;
  const double dw = (sx1 - sx0) * kx, dh = (sy1 - sy0) * ky;

  cairo_surface_flush(source->surface.get());
  // Drawing a bitmap onto itself reads from a copy.
  detail::CairoSurfacePtr copy;
  cairo_surface_t* pixels = source->surface.get();
  if (pixels == data_->surface) {
    copy.reset(cairo_surface_create_similar_image(pixels, CAIRO_FORMAT_ARGB32, source->width, source->height));
    cairo_t* c = cairo_create(copy.get());
    cairo_set_source_surface(c, pixels, 0, 0);
    cairo_set_operator(c, CAIRO_OPERATOR_SOURCE);
    cairo_paint(c);
    cairo_destroy(c);
    pixels = copy.get();
  }
  const int ix0 = static_cast<int>(std::floor(sx0)), iy0 = static_cast<int>(std::floor(sy0));
  const int ix1 = static_cast<int>(std::ceil(sx1)), iy1 = static_cast<int>(std::ceil(sy1));
  cairo_surface_t* part = cairo_surface_create_for_rectangle(pixels, ix0, iy0, ix1 - ix0, iy1 - iy0);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
  cairo_surface_destroy(part);

  const bool unscaled = std::fabs(dw - (sx1 - sx0)) < 1e-9 && std::fabs(dh - (sy1 - sy0)) < 1e-9;
  const bool aligned = unscaled && IsWhole(dx) && IsWhole(dy) && IsWhole(sx0) && IsWhole(sy0);
  cairo_matrix_t m;  // user space -> pattern space
  cairo_matrix_init_scale(&m, (sx1 - sx0) / dw, (sy1 - sy0) / dh);
  cairo_matrix_translate(&m, -dx, -dy);
  cairo_matrix_t shift;
  cairo_matrix_init_translate(&shift, sx0 - ix0, sy0 - iy0);
  cairo_matrix_multiply(&m, &m, &shift);
  cairo_pattern_set_matrix(pattern, &m);
  cairo_pattern_set_filter(pattern, aligned ? CAIRO_FILTER_NEAREST : FilterOf(interpolation_));
  // Edges clamp to the outermost pixels instead of fading out.
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);

  cairo_t* cr = data_->cr.get();
  cairo_set_source(cr, pattern);
  cairo_pattern_destroy(pattern);
  cairo_new_path(cr);
  cairo_rectangle(cr, dx, dy, dw, dh);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_set_antialias(cr, aligned || !detail::AntiAliased(smoothing_) ? CAIRO_ANTIALIAS_NONE : detail::kShapeAntialias);
  detail::RenderShape(cr, data_->clipMask.get(), false);
  return Remember(Ok);
}

Status Graphics::DrawImage(const Bitmap* image, const Rect& destRect, INT srcx, INT srcy, INT srcwidth,
                           INT srcheight, Unit srcUnit) {
  return DrawImage(image, RectF(destRect), static_cast<REAL>(srcx), static_cast<REAL>(srcy),
                   static_cast<REAL>(srcwidth), static_cast<REAL>(srcheight), srcUnit);
}

Status Graphics::DrawImage(const Bitmap* image, REAL x, REAL y, REAL srcx, REAL srcy, REAL srcwidth,
                           REAL srcheight, Unit srcUnit) {
  return DrawImage(image, RectF(x, y, srcwidth, srcheight), srcx, srcy, srcwidth, srcheight, srcUnit);
}

Status Graphics::DrawImage(const Bitmap* image, INT x, INT y, INT srcx, INT srcy, INT srcwidth, INT srcheight,
                           Unit srcUnit) {
  return DrawImage(image, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(srcx),
                   static_cast<REAL>(srcy), static_cast<REAL>(srcwidth), static_cast<REAL>(srcheight), srcUnit);
}

Status Graphics::DrawImage(const Bitmap* image, const RectF& destRect) {
  if (image == nullptr) return Remember(InvalidParameter);
  return DrawImage(image, destRect, 0, 0, static_cast<REAL>(image->GetWidth()),
                   static_cast<REAL>(image->GetHeight()), UnitPixel);
}

Status Graphics::DrawImage(const Bitmap* image, const Rect& destRect) { return DrawImage(image, RectF(destRect)); }

Status Graphics::DrawImage(const Bitmap* image, REAL x, REAL y) {
  if (image == nullptr) return Remember(InvalidParameter);
  return DrawImage(image, RectF(x, y, static_cast<REAL>(image->GetWidth()), static_cast<REAL>(image->GetHeight())));
}

Status Graphics::DrawImage(const Bitmap* image, INT x, INT y) {
  return DrawImage(image, static_cast<REAL>(x), static_cast<REAL>(y));
}

}  // namespace quillgate::graphics
