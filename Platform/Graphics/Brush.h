#pragma once
// Brushes: what a fill paints with. A solid colour, or an 8x8 two-colour hatch pattern
// anchored to the device origin.

#include "Platform/Graphics/GraphicsTypes.h"

#include <memory>

namespace quillgate::graphics {

namespace detail {
struct Access;
}

class Brush {
 public:
  virtual ~Brush() = default;
  [[nodiscard]] BrushType GetType() const { return type_; }
  [[nodiscard]] Status GetLastStatus() const { return lastStatus_; }
  [[nodiscard]] virtual std::unique_ptr<Brush> Clone() const = 0;

 protected:
  Brush(BrushType type, Color fore, Color back, HatchStyle hatch)
      : type_(type), fore_(fore), back_(back), hatch_(hatch) {}
  Brush(const Brush&) = default;
  Brush& operator=(const Brush&) = default;

  BrushType type_;
  Color fore_;
  Color back_;
  HatchStyle hatch_;
  Status lastStatus_ = Ok;

 private:
  friend struct detail::Access;
};

class SolidBrush final : public Brush {
 public:
  explicit SolidBrush(const Color& color)
      : Brush(BrushTypeSolidColor, color, color, HatchStyleHorizontal) {}
  Status GetColor(Color* color) const;
  Status SetColor(const Color& color);
  [[nodiscard]] Color GetColor() const { return fore_; }
  [[nodiscard]] std::unique_ptr<Brush> Clone() const override;
};

// A hatch whose two colours are equal paints exactly like a solid brush of that colour.
// Two-colour patterns are drawn without anti-aliasing. A style without a pattern here leaves
// GetLastStatus() at NotImplemented, and fills with the brush fail with that status.
class HatchBrush final : public Brush {
 public:
  HatchBrush(HatchStyle hatchStyle, const Color& foreColor, const Color& backColor = Color());
  [[nodiscard]] HatchStyle GetHatchStyle() const { return hatch_; }
  Status GetForegroundColor(Color* color) const;
  Status GetBackgroundColor(Color* color) const;
  [[nodiscard]] std::unique_ptr<Brush> Clone() const override;

  // The 8 pattern rows, top to bottom, bit 0x80 = leftmost pixel, 1 = foreground; false
  // when the style has no pattern.
  static bool PatternRows(HatchStyle style, BYTE rows[8]);
};

}  // namespace quillgate::graphics
