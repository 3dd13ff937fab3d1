#include "Styles/StyleRegistry.h"
#include "Styles/StyleRenderer.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace quillgate {
namespace {

// A function-local table, so that registrations running from other files' static
// initialisers never meet it unconstructed.
std::array<StyleFactory, kStyleCount>& StyleTable() {
  static std::array<StyleFactory, kStyleCount> table{};
  return table;
}

}  // namespace

StyleRegistration::StyleRegistration(std::int32_t style, StyleFactory factory) noexcept {
  if (style < 0 || style >= kStyleCount || StyleTable()[static_cast<std::size_t>(style)] != nullptr) {
    std::fprintf(stderr, "quillgate: text style %d is registered twice or is out of range\n",
                 static_cast<int>(style));
    std::abort();
  }
  StyleTable()[static_cast<std::size_t>(style)] = factory;
}

boost::shared_ptr<StyleRenderer> CreateStyleRenderer(std::int32_t style) {
  if (style < 0 || style >= kStyleCount) return {};
  const StyleFactory factory = StyleTable()[static_cast<std::size_t>(style)];
  return factory ? factory() : boost::shared_ptr<StyleRenderer>{};  // empty: not drawn by this build yet
}

}  // namespace quillgate
