#pragma once
// Private access between the classes of the graphics services. Only the implementation
// files include this header.

#include "Platform/Graphics/Bitmap.h"
#include "Platform/Graphics/Brush.h"
#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/GraphicsPath.h"
#include "Platform/Graphics/Pen.h"
#include "Platform/Graphics/Region.h"

namespace quillgate::graphics::detail {

struct Access {
  static BitmapData* Data(const Bitmap& b) { return b.data_.get(); }

  static RegionData& Data(const Region& r) { return *r.data_; }

  static std::vector<PointF>& Points(GraphicsPath& p) { return p.points_; }
  static std::vector<BYTE>& Types(GraphicsPath& p) { return p.types_; }
  static void MarkFigureEnded(GraphicsPath& p) { p.startNewFigure_ = true; }

  static Color Fore(const Brush& b) { return b.fore_; }
  static Color Back(const Brush& b) { return b.back_; }
  static HatchStyle Hatch(const Brush& b) { return b.hatch_; }

  static const std::shared_ptr<const FamilyInfo>& Info(const FontFamily& f) { return f.info_; }
};

}  // namespace quillgate::graphics::detail
