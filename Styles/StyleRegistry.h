#pragma once
// The table of text styles. A style's own source file is the one place that adds it:
//
//   QUILLGATE_STYLE(31) {
//     ... the body of Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) ...
//   }
//
// declares the field-less renderer class StyleNN, defines its Draw with the body that
// follows, and enters it in the table that CreateStyleRenderer reads. The table is filled
// while the program (or the component library) is loaded and never changes afterwards. The
// entries are made with an early initialisation priority, so that they are in place before
// any ordinary static initialiser (a benchmark's registration, a host's global) asks for a
// renderer.

#include "Styles/StyleRenderer.h"

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdint>

namespace quillgate {

inline constexpr std::int32_t kStyleCount = 50;

using StyleFactory = boost::shared_ptr<StyleRenderer> (*)();

// Enters `factory` under `style` (0..49). A second entry for the same index, or an index
// outside the range, stops the program at load time: either is a build mistake that must
// not reach a host as a silently missing or replaced style.
struct StyleRegistration {
  StyleRegistration(std::int32_t style, StyleFactory factory) noexcept;
};

// make_shared binds the deleter to the concrete class, which the non-virtual base
// destructor relies on.
template <typename Style>
boost::shared_ptr<StyleRenderer> MakeStyleRenderer() {
  return boost::make_shared<Style>();
}

}  // namespace quillgate

#define QUILLGATE_STYLE(N)                                                                      \
  namespace {                                                                                   \
  class Style##N final : public ::quillgate::StyleRenderer {                                    \
   public:                                                                                      \
    void Draw(std::string code, boost::shared_ptr<::quillgate::graphics::Bitmap> bitmap) override; \
  };                                                                                            \
  [[gnu::init_priority(1000)]] const ::quillgate::StyleRegistration kStyle##N##Registration{   \
      N, &::quillgate::MakeStyleRenderer<Style##N>};                                            \
  }                                                                                             \
  void Style##N::Draw(std::string code, boost::shared_ptr<::quillgate::graphics::Bitmap> bitmap)
