// Style 4: the lower-cased code in bold Arial, bent by a random perspective (every corner of
// the image moved inward by up to a quarter of its width and height), speckled black with
// light-grey confetti, on a white background with light-grey confetti and grey spots.
#include "CommonUtilities/RandomSource.h"
#include "Styles/ConfettiPaint.h"
#include "Styles/GreySpots.h"
#include "Styles/LowerCaseCode.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"

#include <cstdint>

namespace quillgate {

QUILLGATE_STYLE(4) {
  StyleCanvas canvas(LowerCaseCode(code), *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const auto W = static_cast<std::int32_t>(bitmap->GetWidth());
  const auto H = static_cast<std::int32_t>(bitmap->GetHeight());
  const float w = canvas.Width(), h = canvas.Height();

  const graphics::HatchBrush background =
      ConfettiPaint(graphics::HatchStyleSmallConfetti, graphics::Color(graphics::Color::White));
  graphics.FillRectangle(&background, canvas.Full());

  const graphics::FontFamily arial(u"Arial");
  const FittedFont fitted = FitFontSize(graphics, canvas.Text(), arial, h + 1, graphics::FontStyleBold, w);

  // The path text takes the font's point size as its em size in pixels, so it comes out
  // smaller than the measured text.
  graphics::GraphicsPath textPath(graphics::FillModeAlternate);
  graphics::FontFamily family;
  fitted.font.GetFamily(&family);
  textPath.AddString(canvas.Text(), &family, fitted.font.GetStyle(), fitted.font.GetSize(), canvas.Full(),
                     &fitted.format);

  // Each corner moves inward by up to a quarter of the image: the vertical draw first.
  constexpr float k = 4.0f;
  const auto corner = [W, H] {
    const auto dy = static_cast<float>(RandomInt(H));
    const auto dx = static_cast<float>(RandomInt(W));
    return graphics::PointF(dx / k, dy / k);
  };
  const graphics::PointF d0 = corner(), d1 = corner(), d2 = corner(), d3 = corner();
  const graphics::PointF corners[4] = {
      {d0.X, d0.Y}, {w - d1.X, d1.Y}, {d2.X, h - d2.Y}, {w - d3.X, h - d3.Y}};
  const graphics::Matrix identity;
  textPath.Warp(corners, 4, canvas.Full(), &identity, graphics::WarpModePerspective, 0.0f);

  DrawGreySpots(graphics, W, H);

  const graphics::HatchBrush textPaint =
      ConfettiPaint(graphics::HatchStyleSmallConfetti, graphics::Color(graphics::Color::Black));
  graphics.FillPath(&textPaint, &textPath);
}

}  // namespace quillgate
