#pragma once
// The concrete text styles, one class per index, each drawn in its own StyleNN.cpp. They hold
// no fields: everything a drawing needs lives in locals of one Draw call.

#include "Styles/StyleRenderer.h"

namespace quillgate {

// ---- envelope-warped outline text ----

// Yellow-green thin outline, no background.
class Style30 final : public StyleRenderer {
 public:
  void Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) override;
};

// White outline, no background (the default style).
class Style31 final : public StyleRenderer {
 public:
  void Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) override;
};

// Random dark outline on its inverse.
class Style32 final : public StyleRenderer {
 public:
  void Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) override;
};

// Red outline over green dots on white.
class Style38 final : public StyleRenderer {
 public:
  void Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) override;
};

// Red-outlined green text over green dots on white.
class Style39 final : public StyleRenderer {
 public:
  void Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) override;
};

// Light text with a fading glow on its dark inverse.
class Style44 final : public StyleRenderer {
 public:
  void Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) override;
};

}  // namespace quillgate
