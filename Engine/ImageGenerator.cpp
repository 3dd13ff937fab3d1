#include "Engine/ImageGenerator.h"

#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSource.h"
#include "Styles/StyleRenderer.h"

#include <boost/make_shared.hpp>

namespace quillgate {
namespace {

// Sizes the bitmap can have. Checked before allocating, so an absurd setting fails
// clearly instead of asking for gigabytes or drawing on an empty bitmap.
bool IsDrawableSize(std::int32_t width, std::int32_t height) {
  if (width < 1 || height < 1) return false;
  if (width > graphics::Bitmap::kMaxSide || height > graphics::Bitmap::kMaxSide) return false;
  return std::int64_t{width} * height <= graphics::Bitmap::kMaxPixels;
}

}  // namespace

ImageGenerator::ImageGenerator(const std::string& code, std::int32_t width, std::int32_t height,
                               std::int32_t style) {
  if (!IsDrawableSize(width, height)) throw EngineError("Failed to create the bitmap!");
  const boost::shared_ptr<StyleRenderer> renderer = CreateStyleRenderer(style);
  if (!renderer) throw EngineError("This text style is not supported !");

  bitmap_ = boost::make_shared<graphics::Bitmap>(width, height, graphics::PixelFormat32bppARGB);
  if (bitmap_->GetLastStatus() != graphics::Ok) throw EngineError("Failed to create the bitmap!");

  // The heaviest styles draw a few hundred thousand values: one lock per run of them,
  // not per value, with the same values.
  const ProcessRandomRun random;
  renderer->Draw(code, bitmap_);
}

}  // namespace quillgate
