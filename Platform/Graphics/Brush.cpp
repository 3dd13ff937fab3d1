#include "Platform/Graphics/Brush.h"

#include <cstring>

namespace quillgate::graphics {

Status SolidBrush::GetColor(Color* color) const {
  if (color == nullptr) return InvalidParameter;
  *color = fore_;
  return Ok;
}

Status SolidBrush::SetColor(const Color& color) {
  fore_ = color;
  back_ = color;
  return lastStatus_ = Ok;
}

std::unique_ptr<Brush> SolidBrush::Clone() const { return std::make_unique<SolidBrush>(*this); }

HatchBrush::HatchBrush(HatchStyle hatchStyle, const Color& foreColor, const Color& backColor)
    : Brush(BrushTypeHatchFill, foreColor, backColor, hatchStyle) {
  BYTE rows[8];
  if (hatchStyle < HatchStyleMin || hatchStyle > HatchStyleMax) {
    lastStatus_ = InvalidParameter;
  } else if (!PatternRows(hatchStyle, rows)) {
    lastStatus_ = NotImplemented;
  }
}

Status HatchBrush::GetForegroundColor(Color* color) const {
  if (color == nullptr) return InvalidParameter;
  *color = fore_;
  return Ok;
}

Status HatchBrush::GetBackgroundColor(Color* color) const {
  if (color == nullptr) return InvalidParameter;
  *color = back_;
  return Ok;
}

std::unique_ptr<Brush> HatchBrush::Clone() const { return std::make_unique<HatchBrush>(*this); }

bool HatchBrush::PatternRows(HatchStyle style, BYTE rows[8]) {
  static constexpr BYTE kHorizontal[8] = {0xFF, 0, 0, 0, 0, 0, 0, 0};
  static constexpr BYTE kVertical[8] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  // Forward diagonal runs from top left to bottom right.
  static constexpr BYTE kForward[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
  static constexpr BYTE kBackward[8] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
  static constexpr BYTE kCross[8] = {0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  static constexpr BYTE kDiagonalCross[8] = {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};
  static constexpr BYTE k50Percent[8] = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
  static constexpr BYTE kSmallConfetti[8] = {0x80, 0x08, 0x40, 0x02, 0x10, 0x01, 0x20, 0x04};
  static constexpr BYTE kLargeConfetti[8] = {0xB1, 0x30, 0x03, 0x1B, 0xD8, 0xC0, 0x0C, 0x8D};
  const BYTE* source = nullptr;
  switch (style) {
    case HatchStyleHorizontal: source = kHorizontal; break;
    case HatchStyleVertical: source = kVertical; break;
    case HatchStyleForwardDiagonal: source = kForward; break;
    case HatchStyleBackwardDiagonal: source = kBackward; break;
    case HatchStyleCross: source = kCross; break;
    case HatchStyleDiagonalCross: source = kDiagonalCross; break;
    case HatchStyle50Percent: source = k50Percent; break;
    case HatchStyleSmallConfetti: source = kSmallConfetti; break;
    case HatchStyleLargeConfetti: source = kLargeConfetti; break;
    default: return false;
  }
  if (rows != nullptr) std::memcpy(rows, source, 8);
  return true;
}

}  // namespace quillgate::graphics
