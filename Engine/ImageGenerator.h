#pragma once
// Draws one code into a new bitmap with one text style. The object is complete, the code
// drawn, when construction returns.

#include "Platform/Graphics/Bitmap.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>

namespace quillgate {

class ImageGenerator {
 public:
  // Creates a width x height 32-bit ARGB bitmap (all pixels 0) and lets the style draw
  // `code` on it. Throws EngineError, before anything is allocated or drawn:
  //   "Failed to create the bitmap!"          a side below 1 or above 32767, or more than
  //                                           64 Mi pixels (also when memory runs out)
  //   "This text style is not supported !"    a style outside 0..49 or not drawn by this build
  ImageGenerator(const std::string& code, std::int32_t width, std::int32_t height, std::int32_t style);

  ImageGenerator(const ImageGenerator&) = delete;
  ImageGenerator& operator=(const ImageGenerator&) = delete;

  [[nodiscard]] boost::shared_ptr<graphics::Bitmap> GetBitmap() const { return bitmap_; }

 private:
  boost::shared_ptr<graphics::Bitmap> bitmap_;
};

}  // namespace quillgate
