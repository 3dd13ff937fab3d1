#pragma once
// The interface every text style implements, and the factory that picks one by index.

#include "Platform/Graphics/Bitmap.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>

namespace quillgate {

class StyleRenderer {
 public:
  StyleRenderer(const StyleRenderer&) = delete;
  StyleRenderer& operator=(const StyleRenderer&) = delete;

  // Paints the whole image (background, the code, its distortion) onto a bitmap on which
  // nothing has been drawn. Every random value comes from the process-wide source in a fixed
  // order, so one state of the source gives one image. Never fails: a drawing call that the
  // graphics library refuses is simply left out.
  virtual void Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) = 0;

 protected:
  StyleRenderer() = default;
  // Not virtual: renderers are owned only through the shared pointers that
  // CreateStyleRenderer makes, whose deleters know the concrete class.
  ~StyleRenderer() = default;
};

// A new renderer for a style index in 0..49; an empty pointer for any other index and for
// the styles that this build does not draw yet.
boost::shared_ptr<StyleRenderer> CreateStyleRenderer(std::int32_t style);

}  // namespace quillgate
