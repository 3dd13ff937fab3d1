// Style 10: the code and a row of random circles, combined so that overlaps turn white: a
// letter over a circle is white, two circles over each other cancel (alternate filling),
// everything else of either is black on white.
#include "Drawing/TextPath.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"

#include <cstdint>
#include <vector>

namespace quillgate {
namespace {

// Truncation toward zero for values drawn from ranges the image size bounds.
std::int32_t Truncate(float v) { return static_cast<std::int32_t>(v); }

// The circles march from left to right at random spacing, each at a random height; their
// sizes scale with the image. Draws: the count m, m steps, then r and y per circle.
void AddRandomCircles(graphics::GraphicsPath& path, const DrawingRandomizer& randomizer, float width,
                      float height) {
  const float a = (width + height) / 2;
  const float rMin = 0.05f * a;
  const float rMax = 0.15f * a;
  const float mMin = 0.04f * a;
  const float mMax = 0.12f * a;

  const std::int32_t m = Truncate(randomizer.RandomFloat(mMin, mMax));
  std::vector<float> xs{0.0f};
  randomizer.RandomCumulativeSteps(2 * rMin, 2 * rMax, m, xs);
  for (std::int32_t i = 0; i < m; ++i) {
    const std::int32_t r = Truncate(randomizer.RandomFloat(rMin, rMax));
    const std::int32_t y = Truncate(randomizer.RandomFloat(-rMax / 2, height));
    const std::int32_t x = Truncate((xs[static_cast<std::size_t>(i)] + xs[static_cast<std::size_t>(i) + 1]) / 2);
    path.AddEllipse(x, y, 2 * r, 2 * r);
  }
}

}  // namespace

QUILLGATE_STYLE(10) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const DrawingRandomizer randomizer;
  const graphics::RectF inner = canvas.Fraction(0.2f, 0.2f, 0.5f, 0.5f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);

  const graphics::Font font = RandomPathFont(randomizer, 10, graphics::FontStyleRegular);
  graphics.Clear(graphics::Color(graphics::Color::White));

  graphics::GraphicsPath textPath;
  FitTextPathToRect(canvas.Text(), font, textRect, textPath);
  const graphics::Region textRegion(&textPath);

  graphics::GraphicsPath circles(graphics::FillModeAlternate);
  AddRandomCircles(circles, randomizer, canvas.Width(), canvas.Height());
  const graphics::Region circleRegion(&circles);
  graphics.Clear(graphics::Color(graphics::Color::White));

  graphics::Region lettersOnCircles(&textPath);
  lettersOnCircles.Combine(&circleRegion, graphics::CombineModeIntersect);
  const graphics::SolidBrush black{graphics::Color(graphics::Color::Black)};
  const graphics::SolidBrush white{graphics::Color(graphics::Color::White)};
  graphics.FillRegion(&black, &textRegion);
  graphics.FillRegion(&black, &circleRegion);
  graphics.FillRegion(&white, &lettersOnCircles);
}

}  // namespace quillgate
