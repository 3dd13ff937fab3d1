#include "Styles/CurlStyle.h"

#include "Drawing/TextPath.h"
#include "Styles/ScatteredMarks.h"
#include "Styles/TextClip.h"

namespace quillgate {

void DrawCurlStyle(StyleCanvas& canvas, const DrawingRandomizer& randomizer, const CurlStyleSpec& spec) {
  graphics::Graphics& g = canvas.Graphics();
  const float W = canvas.Width(), H = canvas.Height();
  const graphics::RectF full = canvas.Full();
  const graphics::RectF inner = canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f);
  const graphics::RectF textRect = RandomTextRect(randomizer, full, inner);

  const graphics::Color a(spec.ink), b(spec.background);
  const graphics::SizeF markSize(W / spec.markDivisor, H / spec.markDivisor);
  const graphics::Font font = RandomPathFont(randomizer, spec.familyIndex, spec.fontStyle);

  g.Clear(b);
  const auto count = static_cast<std::int64_t>(static_cast<double>(W * H) * spec.density);
  const CurlPhases phases = spec.phases(count);

  graphics::GraphicsPath textPath;
  FitTextPathToRect(canvas.Text(), font, textRect, textPath);

  // One pen per colour: a new pen per curl would paint the same pixels.
  const graphics::Pen inkPen(a, 1.0f), palePen(b, 1.0f);

  ClipToInside(g, textPath);
  DrawCurls(g, randomizer, inkPen, full, markSize, phases.insideInk);
  DrawCurls(g, randomizer, palePen, full, markSize, phases.insidePale);

  ClipToOutlineBand(g, textPath, 3.0f);
  DrawCurls(g, randomizer, inkPen, full, markSize, phases.bandInk);

  g.ResetClip();
  const graphics::SizeF outsideInkSize(markSize.Width * phases.outsideInkScale,
                                       markSize.Height * phases.outsideInkScale);
  DrawCurls(g, randomizer, inkPen, full, outsideInkSize, phases.outsideInk);
  DrawCurls(g, randomizer, palePen, full, markSize, phases.outsidePale);
}

}  // namespace quillgate
