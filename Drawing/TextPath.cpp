#include "Drawing/TextPath.h"

namespace quillgate {

void FitTextPathToRect(std::u16string_view text, const graphics::Font& font,
                       const graphics::RectF& rect, graphics::GraphicsPath& path) {
  path.SetFillMode(graphics::FillModeWinding);
  const graphics::StringFormat format(0, 0);
  path.AddString(text, &font.Family(), font.GetStyle(), font.GetSize(), graphics::PointF(0, 0),
                 &format);
  graphics::RectF bounds;
  path.GetBounds(&bounds);
  if (!(bounds.Width > 0) || !(bounds.Height > 0)) return;

  graphics::Matrix toOrigin;
  toOrigin.Translate(-bounds.X, -bounds.Y);
  path.Transform(&toOrigin);
  graphics::Matrix stretch;
  stretch.Scale(rect.Width / bounds.Width, rect.Height / bounds.Height);
  path.Transform(&stretch);
  graphics::Matrix toRect;
  toRect.Translate(rect.X, rect.Y);
  path.Transform(&toRect);
}

}  // namespace quillgate
