#include "Styles/StyleClasses.h"
#include "Styles/StyleRenderer.h"

#include <boost/make_shared.hpp>

namespace quillgate {

boost::shared_ptr<StyleRenderer> CreateStyleRenderer(std::int32_t style) {
  // make_shared binds the deleter to the concrete class, which the non-virtual base
  // destructor relies on.
  switch (style) {
    case 30: return boost::make_shared<Style30>();
    case 31: return boost::make_shared<Style31>();
    case 32: return boost::make_shared<Style32>();
    case 38: return boost::make_shared<Style38>();
    case 39: return boost::make_shared<Style39>();
    case 44: return boost::make_shared<Style44>();
    default: return {};  // outside 0..49, or not drawn by this build yet
  }
}

}  // namespace quillgate
