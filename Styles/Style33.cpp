// Style 33: the warped letters drawn only as speckle: dense black dots inside the letters,
// denser and larger ones along their edges, and a light salt-and-pepper noise over the whole
// white image.
#include "Styles/StyleRegistry.h"
#include "Styles/WarpedText.h"

#include <cstdint>

namespace quillgate {
namespace {

// `count` dots of `size` x `size` pixels at truncated random points of `area`, each filled
// with a brush of `color` (2 draws per dot). One brush serves them all: a new brush of the
// same colour per dot paints the same pixels.
void Speckle(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::RectF& area,
             std::int64_t count, graphics::INT size, graphics::ARGB color) {
  const graphics::SolidBrush brush{graphics::Color(color)};
  for (std::int64_t i = 0; i < count; ++i) {
    const graphics::PointF p = randomizer.RandomPointInRect(area);
    graphics.FillEllipse(&brush, static_cast<graphics::INT>(p.X), static_cast<graphics::INT>(p.Y), size, size);
  }
}

constexpr graphics::ARGB kBlack = 0xFF000000;
constexpr graphics::ARGB kWhite = 0xFFFFFFFF;

}  // namespace

QUILLGATE_STYLE(33) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const DrawingRandomizer randomizer;

  WarpedText text = MakeWarpedText(canvas, randomizer, canvas.Fraction(0.10f, 0.10f, 0.85f, 0.80f), 33,
                                   graphics::FontStyleRegular);
  graphics.Clear(graphics::Color(kWhite));
  const auto n = static_cast<std::int64_t>(canvas.Width() * canvas.Height() * 0.4);

  // Inside the letters: fine black speckle, a tenth of it knocked out again in white.
  graphics.SetClip(text.path.get(), graphics::CombineModeReplace);
  Speckle(graphics, randomizer, text.rect, n, 1, kBlack);
  Speckle(graphics, randomizer, text.rect, n / 10, 1, kWhite);
  graphics.ResetClip();

  // Along the letter edges, a band of about 3 pixels: larger dots, denser.
  const graphics::Pen edgePen(graphics::Color(kWhite), 3.0f);
  text.path->Widen(&edgePen, nullptr, 0.25f);
  graphics.SetClip(text.path.get(), graphics::CombineModeReplace);
  Speckle(graphics, randomizer, text.rect, n / 2, 2, kBlack);
  Speckle(graphics, randomizer, text.rect, n / 7, 2, kWhite);
  graphics.ResetClip();

  // Salt and pepper everywhere.
  Speckle(graphics, randomizer, canvas.Full(), n / 10, 1, kBlack);
  Speckle(graphics, randomizer, canvas.Full(), n / 7, 1, kWhite);
}

}  // namespace quillgate
