#pragma once
// A drawing context on a bitmap. Coordinates are pixels. Drawn with smoothing, pixel (x, y)
// is centred on the point (x, y), as in the original library (detail/PixelGrid.h); aliased
// drawing, clips and regions take pixel (x, y) as the square [x, x+1) x [y, y+1). Every
// operation returns a Status that callers may ignore: a failed call paints nothing and
// never throws. Clipping is pixel-aligned (see Region). How each shape becomes pixels is
// chosen in one place, detail/RasteriserChoice.h.
//
// The context keeps the bitmap's pixels alive while it exists, but drawing on a bitmap that
// has been destroyed or moved from is pointless; create the context for one drawing job.

#include "Platform/Graphics/Bitmap.h"
#include "Platform/Graphics/Brush.h"
#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/GraphicsPath.h"
#include "Platform/Graphics/GraphicsTypes.h"
#include "Platform/Graphics/Pen.h"
#include "Platform/Graphics/Region.h"

#include <memory>
#include <span>
#include <string_view>

namespace quillgate::graphics {

namespace detail {
struct GraphicsData;
}

class Graphics {
 public:
  explicit Graphics(Bitmap* image);
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;
  ~Graphics();

  [[nodiscard]] Status GetLastStatus() const { return lastStatus_; }

  // Anti-aliasing applies to shapes and pens; strings are always anti-aliased, regions and
  // clips never, and two-colour hatch patterns never.
  Status SetSmoothingMode(SmoothingMode mode);
  [[nodiscard]] SmoothingMode GetSmoothingMode() const { return smoothing_; }
  Status SetInterpolationMode(InterpolationMode mode);
  // Bitmaps made in memory have 96 dots per inch.
  [[nodiscard]] REAL GetDpiY() const { return 96.0f; }

  // Paints the clip area (all of it, alpha included) with the colour.
  Status Clear(const Color& color);

  Status SetClip(const GraphicsPath* path, CombineMode mode = CombineModeReplace);
  Status SetClip(const Region* region, CombineMode mode = CombineModeReplace);
  Status SetClip(const RectF& rect, CombineMode mode = CombineModeReplace);
  Status SetClip(const Rect& rect, CombineMode mode = CombineModeReplace);
  Status SetClip(const Graphics* other, CombineMode mode = CombineModeReplace);
  Status ResetClip();
  // A rectangle that encloses the clip (-4194304, -4194304, 8388608, 8388608 when the clip
  // is infinite, as the original library reports it).
  Status GetClipBounds(RectF* rect) const;

  // Shapes.
  Status FillRectangle(const Brush* brush, const RectF& rect);
  Status FillRectangle(const Brush* brush, REAL x, REAL y, REAL width, REAL height);
  Status FillRectangle(const Brush* brush, const Rect& rect);
  Status FillRectangle(const Brush* brush, INT x, INT y, INT width, INT height);
  Status FillEllipse(const Brush* brush, const RectF& rect);
  Status FillEllipse(const Brush* brush, REAL x, REAL y, REAL width, REAL height);
  Status FillEllipse(const Brush* brush, const Rect& rect);
  Status FillEllipse(const Brush* brush, INT x, INT y, INT width, INT height);
  Status DrawEllipse(const Pen* pen, const RectF& rect);
  Status DrawEllipse(const Pen* pen, REAL x, REAL y, REAL width, REAL height);
  Status DrawEllipse(const Pen* pen, const Rect& rect);
  Status DrawEllipse(const Pen* pen, INT x, INT y, INT width, INT height);
  Status DrawLine(const Pen* pen, const PointF& pt1, const PointF& pt2);
  Status DrawLine(const Pen* pen, REAL x1, REAL y1, REAL x2, REAL y2);
  Status DrawLine(const Pen* pen, const Point& pt1, const Point& pt2);
  Status DrawLine(const Pen* pen, INT x1, INT y1, INT x2, INT y2);
  Status FillPath(const Brush* brush, const GraphicsPath* path);
  Status DrawPath(const Pen* pen, const GraphicsPath* path);
  // Strokes every four points as a cubic Bezier of its own (start, two controls, end), one
  // after another: the same pixels as DrawPath of each as a path of its own, also where
  // marks overlap. Scattering thousands of small marks (through a clip or not) this way
  // costs a fraction of a call per mark. A count not a multiple of four is InvalidParameter.
  Status DrawBezierMarks(const Pen* pen, std::span<const PointF> points);
  // Pixel-aligned, whatever the smoothing mode.
  Status FillRegion(const Brush* brush, const Region* region);

  // Strings. `length` -1 takes the string up to its first zero character. A null format is
  // the default format. Text is laid out on one line.
  Status DrawString(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                    const StringFormat* format, const Brush* brush);
  Status DrawString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                    const Brush* brush);
  Status DrawString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                    const StringFormat* format, const Brush* brush);
  Status DrawString(std::u16string_view text, const Font* font, const RectF& layoutRect,
                    const StringFormat* format, const Brush* brush);
  // The box the string occupies: with the default format its width is the advances plus a
  // margin of em size / 6 at each end, its height the font's line spacing.
  Status MeasureString(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                       const StringFormat* format, RectF* boundingBox, INT* codepointsFitted = nullptr,
                       INT* linesFilled = nullptr) const;
  Status MeasureString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                       const StringFormat* format, RectF* boundingBox) const;
  Status MeasureString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                       RectF* boundingBox) const;
  Status MeasureString(std::u16string_view text, const Font* font, const PointF& origin,
                       const StringFormat* format, RectF* boundingBox) const;

  // Images. At a point: natural size. Into a rectangle: scaled with the interpolation mode
  // (bilinear modes clamp to the edge pixels). With a source rectangle in pixels (UnitPixel
  // only, other units give NotImplemented).
  Status DrawImage(const Bitmap* image, INT x, INT y);
  Status DrawImage(const Bitmap* image, REAL x, REAL y);
  Status DrawImage(const Bitmap* image, const Rect& destRect);
  Status DrawImage(const Bitmap* image, const RectF& destRect);
  Status DrawImage(const Bitmap* image, INT x, INT y, INT srcx, INT srcy, INT srcwidth,
                   INT srcheight, Unit srcUnit);
  Status DrawImage(const Bitmap* image, REAL x, REAL y, REAL srcx, REAL srcy, REAL srcwidth,
                   REAL srcheight, Unit srcUnit);
  Status DrawImage(const Bitmap* image, const Rect& destRect, INT srcx, INT srcy, INT srcwidth,
                   INT srcheight, Unit srcUnit);
  Status DrawImage(const Bitmap* image, const RectF& destRect, REAL srcx, REAL srcy, REAL srcwidth,
                   REAL srcheight, Unit srcUnit);

 private:
  Status Remember(Status s) const { lastStatus_ = s; return s; }
  Status StrokeMarks(const Pen& pen, std::span<const PointF> points, std::span<const BYTE> types);

  std::unique_ptr<detail::GraphicsData> data_;
  SmoothingMode smoothing_ = SmoothingModeNone;
  InterpolationMode interpolation_ = InterpolationModeBilinear;
  mutable Status lastStatus_ = Ok;
};

}  // namespace quillgate::graphics
