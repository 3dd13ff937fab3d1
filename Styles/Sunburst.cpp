#include "Styles/Sunburst.h"

#include "Drawing/TextPath.h"
#include "Styles/TextClip.h"

#include <cmath>

namespace quillgate {

void DrawSunburst(graphics::Graphics& graphics, const graphics::PointF& centre, float width, float height,
                  const graphics::Pen& pen) {
  const auto step = static_cast<float>(0.9 * 1000 / (width * height));
  if (!(step > 0) || !std::isfinite(step)) return;
  for (float a = 0; static_cast<double>(a) < 6.28318; a += step) {
    const double angle = a;
    graphics.DrawLine(&pen, centre,
                      graphics::PointF(static_cast<float>(centre.X + kRayLength * std::cos(angle)),
                                       static_cast<float>(centre.Y + kRayLength * std::sin(angle))));
    // On a huge image the step can be too small to move the angle at all: the loop would
    // never end, and every further ray would repeat this one.
    if (a + step == a) break;
  }
}

void DrawRayStyle(StyleCanvas& canvas, const DrawingRandomizer& randomizer, std::int32_t familyIndex,
                  const RayColors& colors) {
  graphics::Graphics& g = canvas.Graphics();
  const graphics::RectF full = canvas.Full();
  const graphics::RectF textRect = RandomTextRect(randomizer, full, canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f));
  const graphics::Font font = RandomPathFont(randomizer, familyIndex, graphics::FontStyleRegular);

  graphics::Color ray(0xFFFF0000), background(0xFFADFF2F);  // red on green yellow
  if (colors.darkRangeEnd) {
    const std::int32_t end = *colors.darkRangeEnd;
    ray = randomizer.RandomColorInRange(0, end, 0, end, 0, end);
    background = InverseColor(ray);
  }
  g.Clear(background);

  graphics::GraphicsPath textPath;
  FitTextPathToRect(canvas.Text(), font, textRect, textPath);
  const graphics::PointF centre = randomizer.RandomPointInRect(textRect);

  ClipToInside(g, textPath);
  const graphics::Pen pen(ray, 2.0f);
  DrawSunburst(g, centre, canvas.Width(), canvas.Height(), pen);
  g.ResetClip();
}

}  // namespace quillgate
