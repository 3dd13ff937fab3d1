#include "Drawing/DrawingRandomizer.h"

#include "CommonUtilities/RandomSource.h"

#include <array>
#include <span>
#include <string_view>

namespace quillgate {
namespace {

constexpr std::string_view kCharacters = "123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::array<std::u16string_view, 5> kFamilies = {
    u"Arial", u"Verdana", u"Times New Roman", u"Tahoma", u"Courier New"};
constexpr std::array<std::u16string_view, 1> kSerifOnly = {u"Times New Roman"};
// The one style whose font list holds a single serif family.
constexpr std::int32_t kSerifOnlyStyle = 7;

// The fraction k / 10000 of a random float, for k in 0..9999, is taken to float precision.
// Multiplying by 1e-4 instead of dividing by 10000 can differ in the last bit of the double,
// but never once rounded to a float, as the compiler checks here for every k: the division
// was a sizeable part of each of the hundreds of thousands of draws of the mark styles.
constexpr float Fraction(std::int32_t k) { return static_cast<float>(static_cast<double>(k) * 1e-4); }
constexpr bool FractionIsTheQuotient() {
  for (std::int32_t k = 0; k < 10000; ++k) {
    if (Fraction(k) != static_cast<float>(static_cast<double>(k) / 10000.0)) return false;
  }
  return true;
}
static_assert(FractionIsTheQuotient());

}  // namespace

float DrawingRandomizer::RandomFloat(float minimum, float maximum) const {
  const float fraction = Fraction(RandomInt(10000));
  return minimum + (maximum - minimum) * fraction;
}

std::int32_t DrawingRandomizer::RandomInteger(std::int32_t minimum, std::int32_t maximum) const {
  // The range and the sum are formed in 64 bits and wrapped back like 32-bit arithmetic,
  // so extreme bounds give a defined value instead of overflowing.
  const auto range = static_cast<std::int32_t>(static_cast<std::int64_t>(maximum) - minimum);
  return static_cast<std::int32_t>(static_cast<std::int64_t>(minimum) + RandomInt(range));
}

graphics::PointF DrawingRandomizer::RandomPointInRect(const RectF& rect) const {
  const float y = RandomFloat(rect.Y, rect.GetBottom());
  const float x = RandomFloat(rect.X, rect.GetRight());
  return {x, y};
}

graphics::PointF DrawingRandomizer::RandomPointNear(const PointF& centre, float size) const {
  return RandomPointInRect(RectF(centre.X - size / 2, centre.Y - size / 2, size, size));
}

void DrawingRandomizer::RandomPointsInRect(const RectF& rect, PointF& p1, PointF& p2, PointF& p3,
                                           PointF& p4) const {
  p1 = RandomPointInRect(rect);
  p2 = RandomPointInRect(rect);
  p3 = RandomPointInRect(rect);
  p4 = RandomPointInRect(rect);
}

graphics::RectF DrawingRandomizer::RandomRectBetween(const RectF& outer, const RectF& inner) const {
  const float top = RandomFloat(outer.Y, inner.Y);
  const float left = RandomFloat(outer.X, inner.X);
  const float right = RandomFloat(inner.GetRight(), outer.GetRight());
  const float bottom = RandomFloat(inner.GetBottom(), outer.GetBottom());
  return {left, top, right - left, bottom - top};
}

graphics::RectF DrawingRandomizer::RandomRectOfSize(const RectF& area, const SizeF& size) const {
  const PointF corner = RandomPointInRect(
      RectF(area.X, area.Y, area.Width - size.Width, area.Height - size.Height));
  return {corner.X, corner.Y, size.Width, size.Height};
}

void DrawingRandomizer::RandomCumulativeSteps(float minimumStep, float maximumStep,
                                              std::int32_t count, std::vector<float>& list) const {
  float total = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    total += RandomFloat(minimumStep, maximumStep);
    list.push_back(total);
  }
}

graphics::Color DrawingRandomizer::RandomColor() const {
  const auto blue = RandomInteger(0, 256);
  const auto green = RandomInteger(0, 256);
  const auto red = RandomInteger(0, 256);
  return {static_cast<graphics::BYTE>(red), static_cast<graphics::BYTE>(green),
          static_cast<graphics::BYTE>(blue)};
}

graphics::Color DrawingRandomizer::RandomColorInRange(std::int32_t redMinimum, std::int32_t redMaximum,
                                                      std::int32_t greenMinimum, std::int32_t greenMaximum,
                                                      std::int32_t blueMinimum,
                                                      std::int32_t blueMaximum) const {
  const auto blue = RandomInteger(blueMinimum, blueMaximum);
  const auto green = RandomInteger(greenMinimum, greenMaximum);
  const auto red = RandomInteger(redMinimum, redMaximum);
  // Only the low 8 bits of each value reach its channel.
  return {static_cast<graphics::BYTE>(red & 0xFF), static_cast<graphics::BYTE>(green & 0xFF),
          static_cast<graphics::BYTE>(blue & 0xFF)};
}

char DrawingRandomizer::RandomCharacter() const {
  return kCharacters[static_cast<std::size_t>(RandomInt(static_cast<std::int32_t>(kCharacters.size())))];
}

std::u16string DrawingRandomizer::RandomFontFamily(std::int32_t styleIndex) const {
  const std::span<const std::u16string_view> families =
      styleIndex == kSerifOnlyStyle ? std::span<const std::u16string_view>(kSerifOnly)
                                    : std::span<const std::u16string_view>(kFamilies);
  const auto index = RandomInt(static_cast<std::int32_t>(families.size()));
  return std::u16string(families[static_cast<std::size_t>(index)]);
}

std::u16string DrawingRandomizer::DefaultFontFamily() const { return u"Times New Roman"; }

}  // namespace quillgate
