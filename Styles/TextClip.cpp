#include "Styles/TextClip.h"

namespace quillgate {

void ClipToInside(graphics::Graphics& graphics, const graphics::GraphicsPath& textPath) {
  graphics.SetClip(&textPath, graphics::CombineModeReplace);
}

void ClipToOutside(graphics::Graphics& graphics, const graphics::GraphicsPath& textPath) {
  graphics.ResetClip();
  graphics.SetClip(&textPath, graphics::CombineModeExclude);
}

void ClipToOutlineBand(graphics::Graphics& graphics, graphics::GraphicsPath& textPath, float bandWidth) {
  graphics.ResetClip();
  // Only the pen's width shapes the band; its colour is never seen.
  const graphics::Pen widening(graphics::Color(0xFF000000), bandWidth);
  textPath.Widen(&widening, nullptr, 0.25f);
  graphics.SetClip(&textPath, graphics::CombineModeReplace);
}

}  // namespace quillgate
