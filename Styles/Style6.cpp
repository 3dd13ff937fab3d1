// Style 6: the lower-cased letters of the code in black bold Courier New, spread along the
// image at random heights, over a cloud of single black pixels (one for every 7 pixels of
// the image) on a white background with large light-grey confetti.
#include "CommonUtilities/RandomSource.h"
#include "Styles/ConfettiPaint.h"
#include "Styles/LowerCaseCode.h"
#include "Styles/PixelCloud.h"
#include "Styles/SolidPaint.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"

#include <cstdint>

namespace quillgate {

QUILLGATE_STYLE(6) {
  StyleCanvas canvas(LowerCaseCode(code), *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const auto W = static_cast<std::uint32_t>(bitmap->GetWidth());
  const auto H = static_cast<std::uint32_t>(bitmap->GetHeight());

  const graphics::HatchBrush background =
      ConfettiPaint(graphics::HatchStyleLargeConfetti, graphics::Color(graphics::Color::White));
  graphics.FillRectangle(&background, canvas.Full());

  DrawPixelCloud(*bitmap, static_cast<std::int64_t>(W) * H / 7);

  const graphics::FontFamily courier(u"Courier New");
  const FittedFont fitted =
      FitFontSize(graphics, canvas.Text(), courier, canvas.Height() / 2.0f + 1, graphics::FontStyleBold,
                  canvas.Width(), graphics::StringAlignmentNear, graphics::StringAlignmentNear);
  const double letterHeight = fitted.measured.Height;

  // Letter i at x = 0.95 i (W / n) and a random height that keeps it inside the image.
  const graphics::HatchBrush black = SolidPaint(graphics::Color(graphics::Color::Black));
  const std::u16string_view text = canvas.Text();
  const auto n = static_cast<std::uint32_t>(code.size());
  for (std::uint32_t i = 0; i < n && i < text.size(); ++i) {
    const auto y = static_cast<float>(RandomInt(static_cast<std::int32_t>(H - 1.01 * letterHeight)));
    const auto x = static_cast<float>(0.95 * (i * (W / n)));
    graphics.DrawString(text.substr(i, 1), &fitted.font, graphics::RectF(x, y, 1000, 1000),
                        &fitted.format, &black);
  }
}

}  // namespace quillgate
