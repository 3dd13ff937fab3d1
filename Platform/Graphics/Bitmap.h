#pragma once
// A 32-bit ARGB bitmap in memory, 96 dpi. New bitmaps are all zeros (transparent black).
// Pixels read and written through this interface are straight (non-premultiplied) ARGB;
// inside, the pixels are kept premultiplied for drawing, so the colour of a pixel is exact
// when it is opaque and within rounding otherwise (a fully transparent pixel reads as 0).

#include "Platform/Graphics/ArgbView.h"
#include "Platform/Graphics/GraphicsTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quillgate::graphics {

namespace detail {
struct Access;
struct BitmapData;
}  // namespace detail

class Bitmap {
 public:
  // Largest side and largest pixel count a bitmap may have; larger requests give an empty
  // bitmap whose status is InvalidParameter (sides) or OutOfMemory (area) instead of an
  // allocation that could not succeed.
  static constexpr INT kMaxSide = 32767;
  static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;  // 256 MiB of pixels

  Bitmap(INT width, INT height, PixelFormat format = PixelFormat32bppARGB);
  // From straight ARGB pixels (an invalid view gives an empty bitmap, InvalidParameter).
  static std::unique_ptr<Bitmap> FromArgb(const ArgbView& pixels);

  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  Bitmap(Bitmap&& other) noexcept;
  Bitmap& operator=(Bitmap&& other) noexcept;
  ~Bitmap();

  [[nodiscard]] std::unique_ptr<Bitmap> Clone() const;
  // A copy of part of the bitmap (the part is clipped to the bitmap).
  [[nodiscard]] std::unique_ptr<Bitmap> Clone(const Rect& rect, PixelFormat format = PixelFormat32bppARGB) const;

  [[nodiscard]] UINT GetWidth() const;
  [[nodiscard]] UINT GetHeight() const;
  [[nodiscard]] PixelFormat GetPixelFormat() const { return PixelFormat32bppARGB; }
  [[nodiscard]] REAL GetHorizontalResolution() const { return 96.0f; }
  [[nodiscard]] REAL GetVerticalResolution() const { return 96.0f; }

  // Out-of-range coordinates give InvalidParameter (and leave *color untouched).
  Status GetPixel(INT x, INT y, Color* color) const;
  Status SetPixel(INT x, INT y, const Color& color);

  // All pixels as straight ARGB, row-major without padding (empty for an empty bitmap).
  [[nodiscard]] std::vector<std::uint32_t> CopyArgb() const;
  // Overwrites the bitmap from straight ARGB pixels of the same size.
  Status WriteArgb(const ArgbView& pixels);

  [[nodiscard]] Status GetLastStatus() const { return lastStatus_; }

 private:
  friend struct detail::Access;
  Bitmap() = default;

  std::unique_ptr<detail::BitmapData> data_;
  Status lastStatus_ = Ok;
};

}  // namespace quillgate::graphics
