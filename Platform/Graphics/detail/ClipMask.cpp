#include "Platform/Graphics/detail/ClipMask.h"

#include "Platform/Graphics/detail/CoverageBlend.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quillgate::graphics::detail {

namespace {

bool Ok(cairo_surface_t* s) { return s != nullptr && cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }

// Copies what decides a shape's coverage from `from` to `to`.
void CopyShapeSettings(cairo_t* from, cairo_t* to, bool stroke) {
  cairo_set_antialias(to, cairo_get_antialias(from));
  cairo_set_tolerance(to, cairo_get_tolerance(from));
  if (!stroke) {
    cairo_set_fill_rule(to, cairo_get_fill_rule(from));
    return;
  }
  cairo_set_line_width(to, cairo_get_line_width(from));
  cairo_set_line_cap(to, cairo_get_line_cap(from));
  cairo_set_line_join(to, cairo_get_line_join(from));
  cairo_set_miter_limit(to, cairo_get_miter_limit(from));
  const int dashes = cairo_get_dash_count(from);
  std::vector<double> dash(static_cast<std::size_t>(std::max(dashes, 0)));
  double offset = 0;
  if (dashes > 0) cairo_get_dash(from, dash.data(), &offset);
  cairo_set_dash(to, dash.data(), dashes, offset);
}

// row[i] &= mask[i] for n bytes, eight at a time: shapes that span the bitmap are cut by
// the clip row by row, and a byte at a time that took a tenth of the stripe styles' time.
void AndBytes(unsigned char* row, const unsigned char* mask, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t a = 0, b = 0;
    std::memcpy(&a, row + i, 8);
    std::memcpy(&b, mask + i, 8);
    a &= b;
    std::memcpy(row + i, &a, 8);
  }
  for (; i < n; ++i) row[i] &= mask[i];
}

// Whether cr paints an opaque solid colour with OVER straight onto an ARGB32 image, in
// device space; if so, `colour` is it as 0xFFRRGGBB.
bool OpaqueSolidOver(cairo_t* cr, std::uint32_t& colour) {
  cairo_pattern_t* source = cairo_get_source(cr);
  if (cairo_pattern_get_type(source) != CAIRO_PATTERN_TYPE_SOLID || cairo_get_operator(cr) != CAIRO_OPERATOR_OVER) {
    return false;
  }
  cairo_surface_t* target = cairo_get_target(cr);
  if (cairo_get_group_target(cr) != target || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32) {
    return false;
  }
  double ox = 0, oy = 0;
  cairo_surface_get_device_offset(target, &ox, &oy);
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  if (ox != 0 || oy != 0 || m.xx != 1 || m.yx != 0 || m.xy != 0 || m.yy != 1 || m.x0 != 0 || m.y0 != 0) return false;
  double r = 0, g = 0, b = 0, a = 0;
  cairo_pattern_get_rgba(source, &r, &g, &b, &a);
  if (a != 1.0) return false;
  // Colours come in as n / 255, which Cairo turns back into n.
  auto channel = [](double v) { return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
  colour = 0xFF000000u | channel(r) << 16 | channel(g) << 8 | channel(b);
  return true;
}

// Composites the opaque colour through the coverage, cut by the clip, into the target's box,
// as Cairo's mask composite does, pixel for pixel (and clears the coverage there).
void BlendThroughClip(cairo_surface_t* target, unsigned char* coverage, const unsigned char* clip, int stride,
                      int bx, int by, int bw, int bh, std::uint32_t colour) {
  cairo_surface_flush(target);
  const PixelTarget pixels{reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(target)),
                           cairo_image_surface_get_stride(target) / 4, cairo_image_surface_get_width(target),
                           cairo_image_surface_get_height(target), clip, stride};
  BlendCoverage(pixels, {coverage, stride}, {bx, by, bx + bw, by + bh}, colour);
  cairo_surface_mark_dirty_rectangle(target, bx, by, bw, bh);
}

}  // namespace

ClipMask::ClipMask(const cairo_region_t* visible, int width, int height) {
  clip_.reset(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
  scratch_.reset(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
  if (!Ok(clip_.get()) || !Ok(scratch_.get())) return;
  scratchCr_.reset(cairo_create(scratch_.get()));
  if (cairo_status(scratchCr_.get()) != CAIRO_STATUS_SUCCESS) return;

  // New image surfaces are zeroed: only the clip's rectangles need painting.
  cairo_surface_flush(clip_.get());
  unsigned char* data = cairo_image_surface_get_data(clip_.get());
  const int stride = cairo_image_surface_get_stride(clip_.get());
  const int n = cairo_region_num_rectangles(visible);
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(visible, i, &r);
    for (int y = r.y; y < r.y + r.height; ++y) {
      std::memset(data + static_cast<std::ptrdiff_t>(y) * stride + r.x, 0xFF, static_cast<std::size_t>(r.width));
    }
  }
  cairo_surface_mark_dirty(clip_.get());
  cairo_region_get_extents(visible, &extents_);

  width_ = width, height_ = height;
  cellColumns_ = (width + kCell - 1) / kCell;
  cellRows_ = (height + kCell - 1) / kCell;
  const auto sumsWidth = static_cast<std::size_t>(cellColumns_ + 1);
  // One pass over the mask: a cell holds the clip when any of its pixels is inside, and is
  // full when all of its pixels on the bitmap are (each counted as 1 before summing).
  cellSums_.assign(sumsWidth * static_cast<std::size_t>(cellRows_ + 1), 0);
  fullSums_.assign(cellSums_.size(), 0);
  for (std::size_t cy = 1; cy <= static_cast<std::size_t>(cellRows_); ++cy) {
    std::fill_n(fullSums_.begin() + static_cast<std::ptrdiff_t>(cy * sumsWidth + 1), cellColumns_, 1);
  }
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * stride;
    const std::size_t at = static_cast<std::size_t>(y / kCell + 1) * sumsWidth + 1;
    int* holds = cellSums_.data() + at;
    int* full = fullSums_.data() + at;
    int x = 0;
    for (; x + kCell <= width; x += kCell) {  // a cell's row of eight bytes at once
      std::uint64_t bytes = 0;
      std::memcpy(&bytes, row + x, sizeof bytes);
      if (bytes != 0) holds[x / kCell] = 1;
      if (bytes != ~std::uint64_t{0}) full[x / kCell] = 0;
    }
    for (; x < width; ++x) {
      if (row[x] != 0) holds[x / kCell] = 1;
      if (row[x] == 0) full[x / kCell] = 0;
    }
  }
  auto sum = [&](std::vector<int>& sums) {
    for (std::size_t cy = 1; cy <= static_cast<std::size_t>(cellRows_); ++cy) {
      for (std::size_t cx = 1; cx < sumsWidth; ++cx) {
        sums[cy * sumsWidth + cx] += sums[(cy - 1) * sumsWidth + cx] + sums[cy * sumsWidth + cx - 1] -
                                     sums[(cy - 1) * sumsWidth + cx - 1];
      }
    }
  };
  sum(cellSums_);
  sum(fullSums_);
  valid_ = true;
}

std::optional<ClipMask::CellRange> ClipMask::CellsOf(int x0, int y0, int x1, int y1) const {
  x0 = std::max(x0, 0), y0 = std::max(y0, 0);
  x1 = std::min(x1, width_), y1 = std::min(y1, height_);
  if (!valid_ || x0 >= x1 || y0 >= y1) return std::nullopt;
  return CellRange{static_cast<std::size_t>(x0 / kCell), static_cast<std::size_t>(y0 / kCell),
                   static_cast<std::size_t>((x1 - 1) / kCell + 1), static_cast<std::size_t>((y1 - 1) / kCell + 1)};
}

int ClipMask::Count(const std::vector<int>& sums, const CellRange& cells) const {
  const auto w = static_cast<std::size_t>(cellColumns_ + 1);
  return sums[cells.r1 * w + cells.c1] - sums[cells.r0 * w + cells.c1] - sums[cells.r1 * w + cells.c0] +
         sums[cells.r0 * w + cells.c0];
}

bool ClipMask::MayMeet(int x0, int y0, int x1, int y1) const {
  const std::optional<CellRange> cells = CellsOf(x0, y0, x1, y1);
  return cells && Count(cellSums_, *cells) > 0;
}

ClipMask::Share ClipMask::ShareOf(int x0, int y0, int x1, int y1) const {
  const std::optional<CellRange> cells = CellsOf(x0, y0, x1, y1);
  if (!cells || Count(cellSums_, *cells) == 0) return Share::kNone;
  const auto all = static_cast<int>((cells->c1 - cells->c0) * (cells->r1 - cells->r0));
  return Count(fullSums_, *cells) == all ? Share::kAll : Share::kSome;
}

ClipMask::~ClipMask() = default;

const unsigned char* ClipMask::Pixels() const {
  return valid_ ? cairo_image_surface_get_data(clip_.get()) : nullptr;
}

int ClipMask::Stride() const { return valid_ ? cairo_image_surface_get_stride(clip_.get()) : 0; }

void ClipMask::Render(cairo_t* cr, bool stroke) {
  if (!valid_ || extents_.width <= 0 || extents_.height <= 0) {
    cairo_new_path(cr);
    return;
  }
  // The pixels the shape can touch: its path's bounds grown by what a stroke adds (half the
  // width, as much as the miter limit allows at joins) and a pixel of smoothing, within the
  // clip.
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_path_extents(cr, &x1, &y1, &x2, &y2);
  const double grow =
      (stroke ? cairo_get_line_width(cr) / 2 * std::max(cairo_get_miter_limit(cr), 1.5) : 0.0) + 2.0;
  const double left = std::max<double>(std::floor(x1 - grow), extents_.x);
  const double top = std::max<double>(std::floor(y1 - grow), extents_.y);
  const double right = std::min<double>(std::ceil(x2 + grow), extents_.x + extents_.width);
  const double bottom = std::min<double>(std::ceil(y2 + grow), extents_.y + extents_.height);
  if (!(left < right) || !(top < bottom)) {
    cairo_new_path(cr);
    return;
  }
  const int bx = static_cast<int>(left), by = static_cast<int>(top);
  const int bw = static_cast<int>(right) - bx, bh = static_cast<int>(bottom) - by;

  // The shape's coverage, unclipped, on a cleared scratch box.
  cairo_surface_flush(scratch_.get());
  unsigned char* scratch = cairo_image_surface_get_data(scratch_.get());
  const int stride = cairo_image_surface_get_stride(scratch_.get());
  for (int y = by; y < by + bh; ++y) {
    std::memset(scratch + static_cast<std::ptrdiff_t>(y) * stride + bx, 0, static_cast<std::size_t>(bw));
  }
  cairo_surface_mark_dirty_rectangle(scratch_.get(), bx, by, bw, bh);

  cairo_path_t* path = cairo_copy_path(cr);
  cairo_new_path(cr);
  cairo_t* s = scratchCr_.get();
  // No clip on the scratch surface: Cairo's clipping of a shape to a box changes the
  // smoothing near the box's edges. Ink beyond the box is never read, and is cleared
  // before the next shape that reaches there.
  cairo_save(s);
  CopyShapeSettings(cr, s, stroke);
  cairo_set_source_rgba(s, 0, 0, 0, 1);
  cairo_append_path(s, path);
  cairo_path_destroy(path);
  if (stroke) {
    cairo_stroke(s);
  } else {
    cairo_fill(s);
  }
  cairo_restore(s);

  cairo_surface_flush(scratch_.get());
  const unsigned char* clip = cairo_image_surface_get_data(clip_.get());
  if (std::uint32_t colour = 0; OpaqueSolidOver(cr, colour)) {
    BlendThroughClip(cairo_get_target(cr), scratch, clip, stride, bx, by, bw, bh, colour);
    cairo_surface_mark_dirty_rectangle(scratch_.get(), bx, by, bw, bh);
    return;
  }

  // Cut by the clip: its mask is 0 or 255 per pixel.
  for (int y = by; y < by + bh; ++y) {
    AndBytes(scratch + static_cast<std::ptrdiff_t>(y) * stride + bx, clip + static_cast<std::ptrdiff_t>(y) * stride + bx,
             static_cast<std::size_t>(bw));
  }
  cairo_surface_mark_dirty_rectangle(scratch_.get(), bx, by, bw, bh);

  // Composite through the cut coverage; a one-box clip is exact in Cairo.
  cairo_save(cr);
  cairo_reset_clip(cr);
  cairo_rectangle(cr, bx, by, bw, bh);
  cairo_clip(cr);
  cairo_mask_surface(cr, scratch_.get(), 0, 0);
  cairo_restore(cr);
}

}  // namespace quillgate::graphics::detail
