#pragma once
// Value types, status codes and enumerations of the 2-D graphics services. Names and numeric
// values follow the Windows graphics library (GDI+) so that drawing code reads like it.

#include <cstdint>

namespace quillgate::graphics {

using REAL = float;
using INT = int;
using UINT = unsigned int;
using BYTE = std::uint8_t;
using ARGB = std::uint32_t;
using WCHAR = char16_t;  // text is UTF-16, as at the automation boundary

// Result of every operation that can fail. Drawing code may ignore it: a failed call leaves
// its effect out and never throws.
enum Status {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  Aborted = 9,
  FileNotFound = 10,
  ValueOverflow = 11,
  AccessDenied = 12,
  UnknownImageFormat = 13,
  FontFamilyNotFound = 14,
  FontStyleNotFound = 15,
  NotTrueTypeFont = 16,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
  PropertyNotFound = 19,
  PropertyNotSupported = 20,
};

// Smoothing: only the anti-aliased modes soften edges. 0 is the mode the drawing code names
// "none"; the library's own aliased value 3 is accepted as well.
enum SmoothingMode {
  SmoothingModeInvalid = -1,
  SmoothingModeDefault = 0,
  SmoothingModeNone = 0,
  SmoothingModeHighSpeed = 1,
  SmoothingModeHighQuality = 2,
  SmoothingModeAliased = 3,
  SmoothingModeAntiAlias = 4,
};

enum InterpolationMode {
  InterpolationModeInvalid = -1,
  InterpolationModeDefault = 0,
  InterpolationModeLowQuality = 1,
  InterpolationModeHighQuality = 2,
  InterpolationModeBilinear = 3,
  InterpolationModeBicubic = 4,
  InterpolationModeNearestNeighbor = 5,
  InterpolationModeHighQualityBilinear = 6,
  InterpolationModeHighQualityBicubic = 7,
};

enum FillMode { FillModeAlternate = 0, FillModeWinding = 1 };

enum CombineMode {
  CombineModeReplace = 0,
  CombineModeIntersect = 1,
  CombineModeUnion = 2,
  CombineModeXor = 3,
  CombineModeExclude = 4,    // this minus the other
  CombineModeComplement = 5, // the other minus this
};

enum MatrixOrder { MatrixOrderPrepend = 0, MatrixOrderAppend = 1 };

enum Unit {
  UnitWorld = 0,
  UnitDisplay = 1,
  UnitPixel = 2,
  UnitPoint = 3,
  UnitInch = 4,
  UnitDocument = 5,
  UnitMillimeter = 6,
};

enum FontStyle {
  FontStyleRegular = 0,
  FontStyleBold = 1,
  FontStyleItalic = 2,
  FontStyleBoldItalic = 3,
  FontStyleUnderline = 4,  // accepted, not drawn
  FontStyleStrikeout = 8,  // accepted, not drawn
};

enum StringAlignment { StringAlignmentNear = 0, StringAlignmentCenter = 1, StringAlignmentFar = 2 };

enum StringFormatFlags {
  StringFormatFlagsNoWrap = 0x00001000,
  StringFormatFlagsNoClip = 0x00004000,
};

enum DashStyle {
  DashStyleSolid = 0,
  DashStyleDash = 1,
  DashStyleDot = 2,
  DashStyleDashDot = 3,
  DashStyleDashDotDot = 4,
  DashStyleCustom = 5,  // not supported: setting it fails
};

enum PenAlignment { PenAlignmentCenter = 0, PenAlignmentInset = 1 };

enum LineCap { LineCapFlat = 0, LineCapSquare = 1, LineCapRound = 2 };

enum LineJoin { LineJoinMiter = 0, LineJoinBevel = 1, LineJoinRound = 2, LineJoinMiterClipped = 3 };

enum WarpMode { WarpModePerspective = 0, WarpModeBilinear = 1 };

enum BrushType {
  BrushTypeSolidColor = 0,
  BrushTypeHatchFill = 1,
};

// Hatch styles by their library values. Patterns exist for the styles marked; a hatch brush
// of any other style reports NotImplemented and paints nothing.
enum HatchStyle {
  HatchStyleHorizontal = 0,        // pattern
  HatchStyleVertical = 1,          // pattern
  HatchStyleForwardDiagonal = 2,   // pattern
  HatchStyleBackwardDiagonal = 3,  // pattern
  HatchStyleCross = 4,             // pattern
  HatchStyleDiagonalCross = 5,     // pattern
  HatchStyle05Percent = 6,
  HatchStyle10Percent = 7,
  HatchStyle20Percent = 8,
  HatchStyle25Percent = 9,
  HatchStyle30Percent = 10,
  HatchStyle40Percent = 11,
  HatchStyle50Percent = 12,        // pattern
  HatchStyle60Percent = 13,
  HatchStyle70Percent = 14,
  HatchStyle75Percent = 15,
  HatchStyle80Percent = 16,
  HatchStyle90Percent = 17,
  HatchStyleSmallConfetti = 34,    // pattern
  HatchStyleLargeConfetti = 35,    // pattern
  HatchStyleMin = HatchStyleHorizontal,
  HatchStyleMax = 52,
};

enum PixelFormat : INT {
  PixelFormat32bppARGB = 0x0026200A,
};

// Point type bytes of a path: the low bits give the kind, the high bit closes a figure.
enum PathPointType : BYTE {
  PathPointTypeStart = 0,
  PathPointTypeLine = 1,
  PathPointTypeBezier = 3,
  PathPointTypePathTypeMask = 0x07,
  PathPointTypeDashMode = 0x10,
  PathPointTypePathMarker = 0x20,
  PathPointTypeCloseSubpath = 0x80,
};

inline constexpr REAL FlatnessDefault = 0.25f;

struct Point {
  INT X = 0;
  INT Y = 0;
  constexpr Point() = default;
  constexpr Point(INT x, INT y) : X(x), Y(y) {}
  friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct PointF {
  REAL X = 0;
  REAL Y = 0;
  constexpr PointF() = default;
  constexpr PointF(REAL x, REAL y) : X(x), Y(y) {}
  constexpr PointF(const Point& p) : X(static_cast<REAL>(p.X)), Y(static_cast<REAL>(p.Y)) {}
  friend constexpr PointF operator+(const PointF& a, const PointF& b) { return {a.X + b.X, a.Y + b.Y}; }
  friend constexpr PointF operator-(const PointF& a, const PointF& b) { return {a.X - b.X, a.Y - b.Y}; }
  friend constexpr bool operator==(const PointF&, const PointF&) = default;
  [[nodiscard]] constexpr bool Equals(const PointF& p) const { return *this == p; }
};

struct Size {
  INT Width = 0;
  INT Height = 0;
  constexpr Size() = default;
  constexpr Size(INT w, INT h) : Width(w), Height(h) {}
  friend constexpr bool operator==(const Size&, const Size&) = default;
};

struct SizeF {
  REAL Width = 0;
  REAL Height = 0;
  constexpr SizeF() = default;
  constexpr SizeF(REAL w, REAL h) : Width(w), Height(h) {}
  friend constexpr bool operator==(const SizeF&, const SizeF&) = default;
  [[nodiscard]] constexpr bool Empty() const { return Width == 0 && Height == 0; }
};

struct Rect {
  INT X = 0;
  INT Y = 0;
  INT Width = 0;
  INT Height = 0;
  constexpr Rect() = default;
  constexpr Rect(INT x, INT y, INT w, INT h) : X(x), Y(y), Width(w), Height(h) {}
  constexpr Rect(const Point& p, const Size& s) : X(p.X), Y(p.Y), Width(s.Width), Height(s.Height) {}
  [[nodiscard]] constexpr INT GetLeft() const { return X; }
  [[nodiscard]] constexpr INT GetTop() const { return Y; }
  [[nodiscard]] constexpr INT GetRight() const { return X + Width; }
  [[nodiscard]] constexpr INT GetBottom() const { return Y + Height; }
  [[nodiscard]] constexpr bool IsEmptyArea() const { return Width <= 0 || Height <= 0; }
  [[nodiscard]] constexpr bool Contains(INT x, INT y) const {
    return x >= X && x < X + Width && y >= Y && y < Y + Height;
  }
  constexpr void Offset(INT dx, INT dy) { X += dx; Y += dy; }
  friend constexpr bool operator==(const Rect&, const Rect&) = default;
  [[nodiscard]] constexpr bool Equals(const Rect& r) const { return *this == r; }
};

struct RectF {
  REAL X = 0;
  REAL Y = 0;
  REAL Width = 0;
  REAL Height = 0;
  constexpr RectF() = default;
  constexpr RectF(REAL x, REAL y, REAL w, REAL h) : X(x), Y(y), Width(w), Height(h) {}
  constexpr RectF(const PointF& p, const SizeF& s) : X(p.X), Y(p.Y), Width(s.Width), Height(s.Height) {}
  constexpr RectF(const Rect& r)
      : X(static_cast<REAL>(r.X)), Y(static_cast<REAL>(r.Y)),
        Width(static_cast<REAL>(r.Width)), Height(static_cast<REAL>(r.Height)) {}
  [[nodiscard]] constexpr REAL GetLeft() const { return X; }
  [[nodiscard]] constexpr REAL GetTop() const { return Y; }
  [[nodiscard]] constexpr REAL GetRight() const { return X + Width; }
  [[nodiscard]] constexpr REAL GetBottom() const { return Y + Height; }
  [[nodiscard]] constexpr PointF GetLocation() const { return {X, Y}; }
  [[nodiscard]] constexpr SizeF GetSize() const { return {Width, Height}; }
  [[nodiscard]] constexpr bool IsEmptyArea() const { return Width <= 0 || Height <= 0; }
  [[nodiscard]] constexpr bool Contains(REAL x, REAL y) const {
    return x >= X && x < X + Width && y >= Y && y < Y + Height;
  }
  constexpr void Offset(REAL dx, REAL dy) { X += dx; Y += dy; }
  constexpr void Inflate(REAL dx, REAL dy) { X -= dx; Y -= dy; Width += 2 * dx; Height += 2 * dy; }
  friend constexpr bool operator==(const RectF&, const RectF&) = default;
  [[nodiscard]] constexpr bool Equals(const RectF& r) const { return *this == r; }
};

// 32-bit ARGB colour, alpha in the top byte, straight (not premultiplied).
class Color {
 public:
  // Named colours used by the drawing code.
  static constexpr ARGB Black = 0xFF000000;
  static constexpr ARGB White = 0xFFFFFFFF;
  static constexpr ARGB Transparent = 0x00FFFFFF;
  static constexpr ARGB Red = 0xFFFF0000;
  static constexpr ARGB Green = 0xFF008000;
  static constexpr ARGB Blue = 0xFF0000FF;
  static constexpr ARGB Yellow = 0xFFFFFF00;
  static constexpr ARGB Gray = 0xFF808080;
  static constexpr ARGB LightGray = 0xFFD3D3D3;
  static constexpr ARGB DarkGray = 0xFFA9A9A9;
  static constexpr ARGB Silver = 0xFFC0C0C0;
  static constexpr ARGB WhiteSmoke = 0xFFF5F5F5;
  static constexpr ARGB LightYellow = 0xFFFFFFE0;
  static constexpr ARGB GreenYellow = 0xFFADFF2F;
  static constexpr ARGB OrangeRed = 0xFFFF4500;
  static constexpr ARGB Tomato = 0xFFFF6347;

  constexpr Color() = default;
  constexpr Color(ARGB argb) : argb_(argb) {}  // NOLINT: implicit, as in the library
  constexpr Color(BYTE r, BYTE g, BYTE b) : argb_(MakeARGB(255, r, g, b)) {}
  constexpr Color(BYTE a, BYTE r, BYTE g, BYTE b) : argb_(MakeARGB(a, r, g, b)) {}

  static constexpr ARGB MakeARGB(BYTE a, BYTE r, BYTE g, BYTE b) {
    return (ARGB{a} << 24) | (ARGB{r} << 16) | (ARGB{g} << 8) | ARGB{b};
  }
  static constexpr Color FromArgb(ARGB argb) { return Color(argb); }
  static constexpr Color FromArgb(BYTE a, BYTE r, BYTE g, BYTE b) { return Color(a, r, g, b); }

  [[nodiscard]] constexpr BYTE GetA() const { return static_cast<BYTE>(argb_ >> 24); }
  [[nodiscard]] constexpr BYTE GetR() const { return static_cast<BYTE>(argb_ >> 16); }
  [[nodiscard]] constexpr BYTE GetG() const { return static_cast<BYTE>(argb_ >> 8); }
  [[nodiscard]] constexpr BYTE GetB() const { return static_cast<BYTE>(argb_); }
  [[nodiscard]] constexpr BYTE GetAlpha() const { return GetA(); }
  [[nodiscard]] constexpr BYTE GetRed() const { return GetR(); }
  [[nodiscard]] constexpr BYTE GetGreen() const { return GetG(); }
  [[nodiscard]] constexpr BYTE GetBlue() const { return GetB(); }
  [[nodiscard]] constexpr ARGB GetValue() const { return argb_; }
  constexpr void SetValue(ARGB argb) { argb_ = argb; }
  friend constexpr bool operator==(const Color&, const Color&) = default;

 private:
  ARGB argb_ = 0xFF000000;  // the library's default colour is opaque black
};

}  // namespace quillgate::graphics
