#pragma once
// A graphics path: points with point-type bytes (start 0, line 1, cubic Bezier 3, figure
// close flag 0x80) and a fill mode, as the Windows library stores them. Value type: copying
// copies the figures.

#include "Platform/Graphics/GraphicsTypes.h"

#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace quillgate::graphics {

class FontFamily;
class Matrix;
class Pen;
class StringFormat;

namespace detail {
struct Access;
}

class GraphicsPath {
 public:
  explicit GraphicsPath(FillMode fillMode = FillModeAlternate);
  // From parallel arrays of points and type bytes. Inconsistent types (a Bezier run that is
  // not a multiple of three, a figure not opened by a start point) are repaired, never
  // trusted: the path is built from what can be read as figures.
  GraphicsPath(const PointF* points, const BYTE* types, INT count, FillMode fillMode = FillModeAlternate);
  GraphicsPath(std::span<const PointF> points, std::span<const BYTE> types,
               FillMode fillMode = FillModeAlternate);

  [[nodiscard]] std::unique_ptr<GraphicsPath> Clone() const { return std::make_unique<GraphicsPath>(*this); }

  Status Reset();  // empties the path and sets the fill mode to Alternate
  [[nodiscard]] FillMode GetFillMode() const { return fillMode_; }
  Status SetFillMode(FillMode fillMode);

  // Figures. The next point added after StartFigure/CloseFigure opens a new figure.
  Status StartFigure();
  Status CloseFigure();
  Status CloseAllFigures();

  Status AddLine(const PointF& pt1, const PointF& pt2);
  Status AddLine(REAL x1, REAL y1, REAL x2, REAL y2);
  Status AddLine(INT x1, INT y1, INT x2, INT y2);
  Status AddLines(const PointF* points, INT count);
  Status AddLines(std::span<const PointF> points);
  Status AddBezier(const PointF& pt1, const PointF& pt2, const PointF& pt3, const PointF& pt4);
  Status AddBezier(REAL x1, REAL y1, REAL x2, REAL y2, REAL x3, REAL y3, REAL x4, REAL y4);
  // 1 + 3n points: a chain of cubic curves.
  Status AddBeziers(const PointF* points, INT count);
  Status AddRectangle(const RectF& rect);
  Status AddRectangle(const Rect& rect);
  Status AddRectangles(const RectF* rects, INT count);
  Status AddEllipse(const RectF& rect);
  Status AddEllipse(REAL x, REAL y, REAL width, REAL height);
  Status AddEllipse(const Rect& rect);
  Status AddEllipse(INT x, INT y, INT width, INT height);
  Status AddPolygon(const PointF* points, INT count);
  // Appends the other path's figures. With connect, the first figure of `path` joins the
  // last open figure of this path.
  Status AddPath(const GraphicsPath* path, bool connect);

  // Text outlines. emSize is in world units (pixels), not points. `length` -1 takes the
  // string up to its first zero character. With an origin the text starts there; with a
  // layout rectangle it is aligned inside it by the format (null format: default format).
  Status AddString(const WCHAR* string, INT length, const FontFamily* family, INT style,
                   REAL emSize, const PointF& origin, const StringFormat* format);
  Status AddString(const WCHAR* string, INT length, const FontFamily* family, INT style,
                   REAL emSize, const RectF& layoutRect, const StringFormat* format);
  Status AddString(const WCHAR* string, INT length, const FontFamily* family, INT style,
                   REAL emSize, const Point& origin, const StringFormat* format);
  Status AddString(const WCHAR* string, INT length, const FontFamily* family, INT style,
                   REAL emSize, const Rect& layoutRect, const StringFormat* format);
  Status AddString(std::u16string_view text, const FontFamily* family, INT style, REAL emSize,
                   const PointF& origin, const StringFormat* format);
  Status AddString(std::u16string_view text, const FontFamily* family, INT style, REAL emSize,
                   const RectF& layoutRect, const StringFormat* format);

  // Bounds of the curves themselves (not of their control points), after `matrix`, grown by
  // half the pen width when a pen is given. An empty path has empty bounds at (0, 0).
  Status GetBounds(RectF* bounds, const Matrix* matrix = nullptr, const Pen* pen = nullptr) const;
  Status GetBounds(Rect* bounds, const Matrix* matrix = nullptr, const Pen* pen = nullptr) const;

  [[nodiscard]] INT GetPointCount() const { return static_cast<INT>(points_.size()); }
  // Copies count points/types; count must equal GetPointCount() (InsufficientBuffer or
  // InvalidParameter otherwise).
  Status GetPathPoints(PointF* points, INT count) const;
  Status GetPathTypes(BYTE* types, INT count) const;
  [[nodiscard]] std::span<const PointF> Points() const { return points_; }
  [[nodiscard]] std::span<const BYTE> Types() const { return types_; }
  Status GetLastPoint(PointF* lastPoint) const;

  // Replaces curves by line segments no further than `flatness` from them, after `matrix`.
  Status Flatten(const Matrix* matrix = nullptr, REAL flatness = FlatnessDefault);

  // Maps srcRect onto the quadrilateral destPoints (count 4: upper-left, upper-right,
  // lower-left, lower-right; count 3: a parallelogram without the lower-right point). The
  // path is transformed by `matrix`, flattened, then every point is mapped. Perspective mode
  // is the projective mapping, bilinear mode the bilinear one. A flatness of 0 means the
  // finest useful flattening (0.1 px). Fails (path unchanged) when a point would be mapped
  // to infinity.
  Status Warp(const PointF* destPoints, INT count, const RectF& srcRect, const Matrix* matrix = nullptr,
              WarpMode warpMode = WarpModePerspective, REAL flatness = FlatnessDefault);

  // Replaces the path by the outline of what the pen would stroke: its non-zero (winding)
  // fill covers the stroke. Honours width, dash style, caps, joins and inset alignment
  // (closed figures: the stroke lies inside the path's fill). Fails and leaves the path as
  // it was when it holds fewer than two points or the pen is null.
  Status Widen(const Pen* pen, const Matrix* matrix = nullptr, REAL flatness = FlatnessDefault);

  Status Transform(const Matrix* matrix);

  // Point-in-path under the fill mode (curves flattened with the default flatness).
  [[nodiscard]] bool IsVisible(REAL x, REAL y) const;

  [[nodiscard]] Status GetLastStatus() const { return lastStatus_; }

 private:
  friend struct detail::Access;
  Status Remember(Status s) { lastStatus_ = s; return s; }
  void AppendPoint(const PointF& p, BYTE type);
  void BeginFigureIfNeeded(const PointF& first);

  std::vector<PointF> points_;
  std::vector<BYTE> types_;
  FillMode fillMode_ = FillModeAlternate;
  bool startNewFigure_ = true;
  Status lastStatus_ = Ok;
};

}  // namespace quillgate::graphics
