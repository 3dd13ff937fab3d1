// Style 36: sharp black warped letters over a blurred, blocky red copy of them on black: the
// copy is drawn into a bitmap of about a fifth of the image size and blown up with bilinear
// interpolation, so only a red fringe shows around each letter.
#include "Styles/StyleRegistry.h"
#include "Styles/WarpedText.h"

namespace quillgate {

QUILLGATE_STYLE(36) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const DrawingRandomizer randomizer;

  // A negative top lets the text rectangle start up to a tenth of H above the image.
  const WarpedText sharp = MakeWarpedText(canvas, randomizer, canvas.Fraction(0.00f, -0.10f, 0.85f, 0.80f), 36,
                                          graphics::FontStyleRegular);
  constexpr float kShrink = 0.19f;
  const graphics::Color red(0xFFFF0000);
  const graphics::Color black(0xFF000000);

  // The small copy, drawn without anti-aliasing.
  const auto smallWidth = static_cast<graphics::INT>(canvas.Width() * kShrink);
  const auto smallHeight = static_cast<graphics::INT>(canvas.Height() * kShrink);
  graphics::Bitmap small(smallWidth, smallHeight, graphics::PixelFormat32bppARGB);
  TextEnvelope envelope = BuiltInEnvelope();
  const auto shrunk = envelope.CreateWarpedPath(graphics, sharp.rect, canvas.Text(), sharp.font);
  const graphics::Matrix scale(kShrink, 0, 0, kShrink, 0, 0);
  shrunk->Transform(&scale);
  {
    graphics::Graphics smallGraphics(&small);
    smallGraphics.Clear(black);
    const graphics::Pen outline(red, 1.0f);
    smallGraphics.DrawPath(&outline, shrunk.get());
    const graphics::SolidBrush redBrush(red);
    smallGraphics.FillPath(&redBrush, shrunk.get());
  }

  // Blown up over the whole image, then the sharp letters on top.
  graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
  graphics.SetInterpolationMode(graphics::InterpolationModeHighQualityBilinear);
  graphics.DrawImage(&small, graphics::Rect(0, 0, static_cast<graphics::INT>(canvas.Width()),
                                            static_cast<graphics::INT>(canvas.Height())),
                     0, 0, smallWidth, smallHeight, graphics::UnitPixel);
  const graphics::SolidBrush letterBrush(black);
  graphics.FillPath(&letterBrush, sharp.path.get());
}

}  // namespace quillgate
