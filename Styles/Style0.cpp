// Style 0: a chessboard of tiles that alternate between a white-on-black and a black-on-white
// rendering of the code, fitted in bold Courier New and centred 5 pixels right of and below
// the image centre. No random values. Where tile positions and widths round apart, single
// pixel columns and rows stay uncovered and keep the bitmap's initial content.
#include "Styles/SolidPaint.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"
#include "Styles/TextCopy.h"

namespace quillgate {

QUILLGATE_STYLE(0) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const auto W = static_cast<int>(bitmap->GetWidth());
  const auto H = static_cast<int>(bitmap->GetHeight());

  const graphics::FontFamily courier(u"Courier New");
  const FittedFont fitted =
      FitFontSize(graphics, canvas.Text(), courier, canvas.Height() / 1.2f, graphics::FontStyleBold, canvas.Width());
  const graphics::RectF layout(5, 5, canvas.Width(), canvas.Height());

  const graphics::HatchBrush black = SolidPaint(graphics::Color(graphics::Color::Black));
  const graphics::HatchBrush white = SolidPaint(graphics::Color(graphics::Color::White));
  const auto copyA = DrawTextCopy(W, H, black, canvas.Text(), fitted, layout, white);
  const auto copyB = DrawTextCopy(W, H, white, canvas.Text(), fitted, layout, black);

  const int columns = W / 30, rows = H / 25;
  if (columns == 0 || rows == 0) return;  // no tile fits: the image keeps its initial content
  const int tileWidth = W / columns, tileHeight = H / rows;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const int x = c * W / columns, y = r * H / rows;
      const graphics::Bitmap* source = (r + c) % 2 == 0 ? copyA.get() : copyB.get();
      graphics.DrawImage(source, x, y, x, y, tileWidth, tileHeight, graphics::UnitPixel);
    }
  }
}

}  // namespace quillgate
