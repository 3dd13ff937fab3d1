// Style 1: black Arial code on white, every pixel displaced along two sine waves (a wave of
// 5 pixels' amplitude and 64 pixels' period each way). No random values; the whole image is
// covered.
#include "Styles/SolidPaint.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"
#include "Styles/TextCopy.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillgate {

QUILLGATE_STYLE(1) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const auto W = static_cast<int>(bitmap->GetWidth());
  const auto H = static_cast<int>(bitmap->GetHeight());

  const graphics::FontFamily arial(u"Arial");
  const FittedFont fitted = FitFontSize(canvas.Graphics(), canvas.Text(), arial, canvas.Height() / 1.5f,
                                        graphics::FontStyleRegular, canvas.Width());
  const graphics::RectF layout(0, 0, canvas.Width(), canvas.Height());

  const graphics::HatchBrush white = SolidPaint(graphics::Color(graphics::Color::White));
  const graphics::HatchBrush black = SolidPaint(graphics::Color(graphics::Color::Black));
  const auto copyA = DrawTextCopy(W, H, white, canvas.Text(), fitted, layout, black);
  const auto copyB = DrawTextCopy(W, H, white, canvas.Text(), fitted, layout, black);

  // The pixel pass: pixel (x, y) of A takes the colour of pixel (sx, sy) of B. Reads come
  // from B and writes go to A, so the pass works on B's pixels and A's in one sweep each
  // rather than a call per pixel. A source outside the bitmap (only possible when W is 1)
  // cannot be read and leaves A's pixel as it was.
  constexpr double kPi = 3.141592654;
  const std::vector<std::uint32_t> source = copyB->CopyArgb();
  std::vector<std::uint32_t> displaced = copyA->CopyArgb();
  if (!source.empty() && source.size() == displaced.size()) {
    const auto at = [W](int x, int y) { return static_cast<std::size_t>(y) * static_cast<std::size_t>(W) + x; };
    // The sine depends on the row only and the cosine on the column only: each is worked
    // out once per row or column, the same values as per pixel.
    std::vector<double> shiftOfRow(static_cast<std::size_t>(H)), shiftOfColumn(static_cast<std::size_t>(W));
    for (int y = 0; y < H; ++y) shiftOfRow[static_cast<std::size_t>(y)] = 5.0 * std::sin(y * kPi / 32);
    for (int x = 0; x < W; ++x) shiftOfColumn[static_cast<std::size_t>(x)] = 5.0 * std::cos(x * kPi / 32);
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) {
        auto sx = static_cast<int>(x + shiftOfRow[static_cast<std::size_t>(y)]);
        auto sy = static_cast<int>(y + shiftOfColumn[static_cast<std::size_t>(x)]);
        if (sx < 1 || sx > W - 1) sx = 1;
        if (sy < 1 || sy > H - 1) sy = 1;
        if (sx >= W || sy >= H) continue;
        displaced[at(x, y)] = source[at(sx, sy)];
      }
    }
    copyA->WriteArgb(graphics::ArgbView{W, H, displaced});
  }

  canvas.Graphics().DrawImage(copyA.get(), graphics::Rect(0, 0, W, H));
}

}  // namespace quillgate
