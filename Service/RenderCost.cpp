#include "Service/RenderCost.h"

#include <array>
#include <stdexcept>
#include <string>

namespace quillgate::service {
namespace {

constexpr std::size_t kStyles = 50;

// Milliseconds for one 250 x 50 JPEG per style on one core, from `make bench` (1000 divided
// by the images per second of the README's table). Regenerate with
// tools/render-cost-table.sh and paste its output over this table.
constexpr std::array<double, kStyles> kMsPerReferenceImage{
    0.302,  // style 0: 3,308 images/s
    0.296,  // style 1: 3,378 images/s
    0.253,  // style 2: 3,948 images/s
    0.298,  // style 3: 3,351 images/s
    0.837,  // style 4: 1,195 images/s
    0.236,  // style 5: 4,235 images/s
    0.198,  // style 6: 5,048 images/s
    5.85,  // style 7: 171 images/s
    2.6,  // style 8: 384 images/s
    0.277,  // style 9: 3,608 images/s
    0.278,  // style 10: 3,594 images/s
    3.98,  // style 11: 251 images/s
    2.63,  // style 12: 380 images/s
    0.183,  // style 13: 5,460 images/s
    0.718,  // style 14: 1,392 images/s
    1.21,  // style 15: 829 images/s
    0.144,  // style 16: 6,959 images/s
    0.612,  // style 17: 1,635 images/s
    0.605,  // style 18: 1,654 images/s
    0.21,  // style 19: 4,771 images/s
    0.485,  // style 20: 2,060 images/s
    0.481,  // style 21: 2,080 images/s
    0.58,  // style 22: 1,724 images/s
    0.574,  // style 23: 1,741 images/s
    1.71,  // style 24: 586 images/s
    0.751,  // style 25: 1,331 images/s
    0.316,  // style 26: 3,160 images/s
    0.322,  // style 27: 3,109 images/s
    0.263,  // style 28: 3,798 images/s
    0.262,  // style 29: 3,822 images/s
    0.26,  // style 30: 3,853 images/s
    0.232,  // style 31: 4,304 images/s
    0.254,  // style 32: 3,939 images/s
    1.48,  // style 33: 676 images/s
    1.68,  // style 34: 595 images/s
    0.282,  // style 35: 3,543 images/s
    0.254,  // style 36: 3,933 images/s
    1.39,  // style 37: 720 images/s
    1.66,  // style 38: 601 images/s
    1.75,  // style 39: 570 images/s
    0.386,  // style 40: 2,591 images/s
    0.886,  // style 41: 1,129 images/s
    3.75,  // style 42: 267 images/s
    0.244,  // style 43: 4,091 images/s
    2.86,  // style 44: 350 images/s
    0.226,  // style 45: 4,422 images/s
    0.91,  // style 46: 1,099 images/s
    0.905,  // style 47: 1,105 images/s
    0.177,  // style 48: 5,651 images/s
    0.201,  // style 49: 4,965 images/s
};

// The pixels of the size the table was measured at. The styles' work (noise, rings,
// strokes, the encoder) grows with the area drawn, so the estimate scales by it.
constexpr double kReferencePixels = 250.0 * 50.0;

}  // namespace

// A style outside the table is a caller's bug (policies admit only 0..49 before any
// estimate is asked for), so it throws rather than returning a made-up cost.
double EstimatedRenderMs(std::int32_t style, std::int32_t width, std::int32_t height) {
  if (style < 0 || static_cast<std::size_t>(style) >= kStyles) {
    throw std::out_of_range("no render cost for style " + std::to_string(style) + " (styles are 0 to 49)");
  }
  if (width <= 0 || height <= 0) {
    throw std::out_of_range("no render cost for a " + std::to_string(width) + " x " + std::to_string(height) +
                            " picture");
  }
  const double pixels = static_cast<double>(width) * static_cast<double>(height);
  return kMsPerReferenceImage[static_cast<std::size_t>(style)] * pixels / kReferencePixels;
}

}  // namespace quillgate::service
