// Style 5: the code in bold Courier New on a white and light-grey half-tone, laid out small
// on an off-screen copy and then cut into square tiles that are spread apart over the image
// with white gaps between them. No random values.
#include "Styles/SolidPaint.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"
#include "Styles/TextCopy.h"

#include <algorithm>

namespace quillgate {

QUILLGATE_STYLE(5) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const auto W = static_cast<int>(bitmap->GetWidth());
  const auto H = static_cast<int>(bitmap->GetHeight());

  // The geometry: n gaps of g pixels down the image and m across, the compact copy of
  // wc x hc that spreads out to the image, and tiles of side t on a grid of stride s.
  const int gap = std::min(10, H / 10);
  const int n = std::max(2, H / 25);
  const int compactHeight = H - n * gap;
  const int stride = (H + gap) / (n + 1);
  // Below 3 pixels of height the stride is 0: no room for tiles, the image stays white.
  const int m = stride > 0 ? (W + gap) / stride : 0;
  const int compactWidth = W - m * gap;
  const int tile = compactHeight / (n + 1);

  const int top = compactHeight * 15 / 100;
  const graphics::Rect layout(0, top, compactWidth, compactHeight - top);
  const graphics::RectF layoutF(layout);

  const graphics::FontFamily courier(u"Courier New");
  const FittedFont fitted = FitFontSize(canvas.Graphics(), canvas.Text(), courier, layoutF.Height + 1,
                                        graphics::FontStyleBold, layoutF.Width);
  const graphics::HatchBrush halfTone(graphics::HatchStyle50Percent, graphics::Color(graphics::Color::White),
                                      graphics::Color(graphics::Color::LightGray));
  const graphics::HatchBrush black = SolidPaint(graphics::Color(graphics::Color::Black));
  const auto copy = DrawTextCopy(W, H, halfTone, canvas.Text(), fitted, layoutF, black);

  graphics::Graphics image(bitmap.get());  // the library's default smoothing
  const graphics::HatchBrush white = SolidPaint(graphics::Color(graphics::Color::White));
  image.FillRectangle(&white, graphics::Rect(0, 0, W, H));
  if (stride == 0) return;
  for (int i = 0; i <= m; ++i) {
    for (int j = 0; j <= n; ++j) {
      image.DrawImage(copy.get(), i * stride, j * stride, i * tile, j * tile, tile, tile, graphics::UnitPixel);
    }
  }
}

}  // namespace quillgate
