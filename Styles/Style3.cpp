// Style 3: white bold Courier New code over a dense cloud of single black pixels (one random
// pixel per pixel of the image, many on the same place) on a white background with large
// light-grey confetti.
#include "Styles/ConfettiPaint.h"
#include "Styles/PixelCloud.h"
#include "Styles/SolidPaint.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"

#include <cstdint>

namespace quillgate {

QUILLGATE_STYLE(3) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const auto W = static_cast<std::int64_t>(bitmap->GetWidth());
  const auto H = static_cast<std::int64_t>(bitmap->GetHeight());

  const graphics::HatchBrush background =
      ConfettiPaint(graphics::HatchStyleLargeConfetti, graphics::Color(graphics::Color::White));
  graphics.FillRectangle(&background, canvas.Full());

  DrawPixelCloud(*bitmap, W * H);

  DrawCourierCodeBelowTop(canvas, canvas.Height() / 1.3f + 1, SolidPaint(graphics::Color(graphics::Color::White)));
}

}  // namespace quillgate
