#include "Styles/ScanMosaic.h"

#include "Drawing/Geometry.h"
#include "Styles/StretchedText.h"

#include <vector>

namespace quillgate {

void DrawScanMosaic(StyleCanvas& canvas, const DrawingRandomizer& randomizer, const ScanMosaicRow& row,
                    const ScanMosaicSteps& steps) {
  graphics::Graphics& graphics = canvas.Graphics();
  const auto fraction = [&](const graphics::RectF& f) { return canvas.Fraction(f.X, f.Y, f.Width, f.Height); };
  const StretchedText text = MakeStretchedText(canvas, randomizer, fraction(row.outer), fraction(row.inner),
                                               row.familyArgument, graphics::FontStyleBold);

  const graphics::Region letters(&text.path);
  std::vector<graphics::RectF> strips;
  GetRegionRects(letters, strips);

  steps.paintBackground(graphics);
  graphics::Color stripColor(0xFF000000);
  for (std::size_t i = 0; i < strips.size(); ++i) {
    const auto strip = static_cast<std::int32_t>(i);
    if (strip % row.colorPeriod == 0) stripColor = steps.newStripColor();
    const StripGrowth grow = steps.growth(strip);
    const graphics::RectF& scan = strips[i];
    const graphics::RectF grown(scan.X - grow.dx, scan.Y - grow.dy, scan.Width + 2 * grow.dx,
                                scan.Height + 2 * grow.dy);
    const graphics::SolidBrush brush(stripColor);
    graphics.FillRectangle(&brush, ToRect(grown));
  }
}

}  // namespace quillgate
