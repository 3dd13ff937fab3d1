#include "Platform/Graphics/Bitmap.h"

#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/BitmapData.h"

#include <algorithm>
#include <cstring>

namespace quillgate::graphics {

namespace {

using detail::BitmapData;
using detail::CairoSurfacePtr;

Status Validate(INT width, INT height) {
  if (width <= 0 || height <= 0 || width > Bitmap::kMaxSide || height > Bitmap::kMaxSide) return InvalidParameter;
  if (static_cast<std::int64_t>(width) * height > Bitmap::kMaxPixels) return OutOfMemory;
  return Ok;
}

std::uint32_t* Row(const BitmapData& d, int y) {
  unsigned char* base = cairo_image_surface_get_data(d.surface.get());
  return reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(d.surface.get()));
}

}  // namespace

Bitmap::Bitmap(INT width, INT height, PixelFormat format) {
  if (format != PixelFormat32bppARGB) {
    lastStatus_ = NotImplemented;
    return;
  }
  lastStatus_ = Validate(width, height);
  if (lastStatus_ != Ok) return;
  // Cairo image surfaces start out cleared to zero.
  CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    lastStatus_ = OutOfMemory;
    return;
  }
  data_ = std::make_unique<BitmapData>();
  data_->surface = std::move(surface);
  data_->width = width;
  data_->height = height;
}

std::unique_ptr<Bitmap> Bitmap::FromArgb(const ArgbView& pixels) {
  if (!pixels.IsValid()) {
    auto empty = std::unique_ptr<Bitmap>(new Bitmap());
    empty->lastStatus_ = InvalidParameter;
    return empty;
  }
  auto bitmap = std::make_unique<Bitmap>(pixels.width, pixels.height);
  if (bitmap->lastStatus_ == Ok) bitmap->WriteArgb(pixels);
  return bitmap;
}

Bitmap::Bitmap(Bitmap&& other) noexcept : data_(std::move(other.data_)), lastStatus_(other.lastStatus_) {}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
  data_ = std::move(other.data_);
  lastStatus_ = other.lastStatus_;
  return *this;
}

Bitmap::~Bitmap() = default;

std::unique_ptr<Bitmap> Bitmap::Clone() const {
  return Clone(Rect(0, 0, static_cast<INT>(GetWidth()), static_cast<INT>(GetHeight())));
}

std::unique_ptr<Bitmap> Bitmap::Clone(const Rect& rect, PixelFormat format) const {
  const INT x0 = std::max(rect.X, 0), y0 = std::max(rect.Y, 0);
  const INT x1 = std::min<std::int64_t>(static_cast<std::int64_t>(rect.X) + rect.Width, GetWidth());
  const INT y1 = std::min<std::int64_t>(static_cast<std::int64_t>(rect.Y) + rect.Height, GetHeight());
  if (!data_ || x1 <= x0 || y1 <= y0) {
    auto empty = std::unique_ptr<Bitmap>(new Bitmap());
    empty->lastStatus_ = InvalidParameter;
    return empty;
  }
  auto copy = std::make_unique<Bitmap>(x1 - x0, y1 - y0, format);
  if (copy->lastStatus_ != Ok) return copy;
  cairo_surface_flush(data_->surface.get());
  for (INT y = y0; y < y1; ++y) {
    std::memcpy(Row(*copy->data_, y - y0), Row(*data_, y) + x0, static_cast<std::size_t>(x1 - x0) * 4);
  }
  cairo_surface_mark_dirty(copy->data_->surface.get());
  return copy;
}

UINT Bitmap::GetWidth() const { return data_ ? static_cast<UINT>(data_->width) : 0; }
UINT Bitmap::GetHeight() const { return data_ ? static_cast<UINT>(data_->height) : 0; }

Status Bitmap::GetPixel(INT x, INT y, Color* color) const {
  if (color == nullptr || !data_ || x < 0 || y < 0 || x >= data_->width || y >= data_->height) return InvalidParameter;
  cairo_surface_flush(data_->surface.get());
  *color = Color(detail::Unpremultiply(Row(*data_, y)[x]));
  return Ok;
}

Status Bitmap::SetPixel(INT x, INT y, const Color& color) {
  if (!data_ || x < 0 || y < 0 || x >= data_->width || y >= data_->height) return lastStatus_ = InvalidParameter;
  cairo_surface_flush(data_->surface.get());
  Row(*data_, y)[x] = detail::Premultiply(color.GetValue());
  cairo_surface_mark_dirty_rectangle(data_->surface.get(), x, y, 1, 1);
  return lastStatus_ = Ok;
}

std::vector<std::uint32_t> Bitmap::CopyArgb() const {
  std::vector<std::uint32_t> pixels;
  if (!data_) return pixels;
  cairo_surface_flush(data_->surface.get());
  pixels.resize(static_cast<std::size_t>(data_->width) * static_cast<std::size_t>(data_->height));
  auto out = pixels.begin();
  for (int y = 0; y < data_->height; ++y) {
    const std::uint32_t* row = Row(*data_, y);
    out = std::transform(row, row + data_->width, out, detail::Unpremultiply);
  }
  return pixels;
}

Status Bitmap::WriteArgb(const ArgbView& pixels) {
  if (!data_ || !pixels.IsValid() || pixels.width != data_->width || pixels.height != data_->height) {
    return lastStatus_ = InvalidParameter;
  }
  cairo_surface_flush(data_->surface.get());
  for (int y = 0; y < data_->height; ++y) {
    const auto source = pixels.pixels.subspan(static_cast<std::size_t>(y) * static_cast<std::size_t>(pixels.width),
                                              static_cast<std::size_t>(pixels.width));
    std::transform(source.begin(), source.end(), Row(*data_, y), detail::Premultiply);
  }
  cairo_surface_mark_dirty(data_->surface.get());
  return lastStatus_ = Ok;
}

}  // namespace quillgate::graphics
