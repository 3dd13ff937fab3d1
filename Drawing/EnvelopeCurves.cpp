#include "Drawing/EnvelopeCurves.h"

#include <array>
#include <stdexcept>
#include <string_view>

namespace quillgate {
namespace {

using graphics::PointF;

// Each curve is a chain of unit steps from its first point: E = (+1, 0), U = (+1, -1),
// D = (+1, +1), N = (0, -1), S = (0, +1); a number after a letter repeats the step. The
// shape alone matters: the curves are scaled onto the text rectangle before use.
constexpr PointF kTopStart{163, 179};
constexpr std::string_view kTopSteps =
    "E2 U E2 U E U E U2 E2 U E4 U E3 U E4 U E5 U E4 U E4 U E3 U E3 U E3 U E3 U E3 U E3 U E3 U "
    "E2 U E U E U E U E2 U E2 U E U E U E2 U E4 U E3 U E3 U E2 U E2 U E U E3 U E2 U E U E3 U "
    "E2 U E5 U E5 U E14 D E10 D E4 D E3 D E3 D E3 D2 E D E D3 E2 D3 E D3 E D E D E D2 E D4 E "
    "D2 E D2 S D2 S D2 S D S D S D3 S D S D S D S D S D S D2 S D S D S D S D E D2 S D7 E D E2 "
    "D E D3 E D2 E D E2 D E3 D E3 D E23 U E6 U E2 U E U E U E U E U E U E U E2 U E U E U2 E U "
    "E U2 E U E U4 E U E U8 E U3 N U2 E U N E N E N E2 N U2 E U E U3 E2 N E U E U E2 U E3 U E "
    "U E3 U E5 U E8 U E11 D E4 D E4 D E";

constexpr PointF kBottomStart{169, 363};
constexpr std::string_view kBottomSteps =
    "E6 U E5 U E6 U E11 U E7 U E2 U E5 N E6 U E4 U E6 U E2 U E4 D E D E D E D E D E3 D E2 D E "
    "D E D E2 D E D E2 S E D2 E D3 E D E D2 E D E D E2 D E2 D2 E3 D E D E2 D E D E6 D E7 D E20 "
    "U E5 U E2 U E2 U E3 U E U E U E2 U E3 U E U E U E U E U E N E3 U E U E U E U2 E2 U E2 U E "
    "U E U E U E U E42 U E74 D E5 D E10 D E6 D E13 D E20 U E2 U E3 U E U E U E U E U E U2 E2 "
    "N2 U2 N U4 N U N U N U N U N U2 N2 E N2 U N2 E N6 E";

// Expands a step string into exactly Count points. Evaluated at compile time, so a typo in
// the data (an unknown letter, a wrong number of steps) stops the build.
template <std::size_t Count>
constexpr std::array<PointF, Count> ExpandSteps(PointF start, std::string_view steps) {
  std::array<PointF, Count> points{};
  std::size_t n = 0;
  points[n++] = start;
  std::size_t pos = 0;
  while (pos < steps.size()) {
    const char letter = steps[pos++];
    if (letter == ' ') continue;
    float dx = 0;
    float dy = 0;
    switch (letter) {
      case 'E': dx = 1; break;
      case 'U': dx = 1; dy = -1; break;
      case 'D': dx = 1; dy = 1; break;
      case 'N': dy = -1; break;
      case 'S': dy = 1; break;
      default: throw std::logic_error("unknown step letter in an envelope curve");
    }
    int repeat = 0;
    while (pos < steps.size() && steps[pos] >= '0' && steps[pos] <= '9') {
      repeat = repeat * 10 + (steps[pos++] - '0');
    }
    if (repeat == 0) repeat = 1;
    for (int k = 0; k < repeat; ++k) {
      if (n == Count) throw std::logic_error("envelope curve has too many steps");
      const PointF last = points[n - 1];
      points[n++] = PointF(last.X + dx, last.Y + dy);
    }
  }
  if (n != Count) throw std::logic_error("envelope curve has too few steps");
  return points;
}

constexpr auto kTopCurve = ExpandSteps<kEnvelopeTopPointCount>(kTopStart, kTopSteps);
constexpr auto kBottomCurve = ExpandSteps<kEnvelopeBottomPointCount>(kBottomStart, kBottomSteps);
static_assert(kTopCurve.back() == PointF(592, 170));
static_assert(kBottomCurve.back() == PointF(614, 320));

}  // namespace

void LoadEnvelopeCurves(std::int32_t preset, std::vector<graphics::PointF>& top,
                        std::vector<graphics::PointF>& bottom) {
  if (preset != 1 && preset != 2) return;
  top.assign(kTopCurve.begin(), kTopCurve.end());
  bottom.assign(kBottomCurve.begin(), kBottomCurve.end());
}

}  // namespace quillgate
