// Style 2: black bold Courier New code on white under a grid of thin black lines about 7
// pixels apart, starting at the top and left edges (none along the right or bottom edge).
// No random values.
#include "Styles/SolidPaint.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"

#include <cstdint>

namespace quillgate {

QUILLGATE_STYLE(2) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const auto W = static_cast<std::int64_t>(bitmap->GetWidth());
  const auto H = static_cast<std::int64_t>(bitmap->GetHeight());

  const graphics::HatchBrush white = SolidPaint(graphics::Color(graphics::Color::White));
  graphics.FillRectangle(&white, canvas.Full());
  DrawCourierCodeBelowTop(canvas, canvas.Height() / 1.2f, SolidPaint(graphics::Color(graphics::Color::Black)));

  const graphics::Pen pen(graphics::Color(graphics::Color::Black), 1.0f);
  const std::int64_t rows = H / 7, columns = W / 7;
  const auto I = [](std::int64_t v) { return static_cast<graphics::INT>(v); };
  for (std::int64_t i = 0; i < rows; ++i) graphics.DrawLine(&pen, 0, I(H * i / rows), I(W), I(H * i / rows));
  for (std::int64_t j = 0; j < columns; ++j) {
    graphics.DrawLine(&pen, I(W * j / columns), 0, I(W * j / columns), I(H));
  }
}

}  // namespace quillgate
