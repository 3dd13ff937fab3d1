#pragma once
// The frame every style test shares: one style's picture drawn from a fixed state of the
// random source, with the number of random values it took, and the replays it is compared
// with. Replaying the style's first draws from the same state tells where it put its letters
// and which colours it chose; each style's test then states only its own rules about what
// ink may lie where.

#include "CommonUtilities/RandomSourceTesting.h"
#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StretchedText.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRenderer.h"
#include "Styles/WarpedText.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quillgate::testing {

using graphics::Color;
using graphics::RectF;

inline constexpr std::uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF;

struct Drawing {
  int width;
  int height;
  std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, row by row
  std::uint64_t draws;

  [[nodiscard]] std::uint32_t Pixel(int x, int y) const {
    return pixels[static_cast<std::size_t>(y * width + x)];
  }
  [[nodiscard]] Color At(int x, int y) const { return Color(Pixel(x, y)); }
  template <typename Is>
  [[nodiscard]] int Count(Is is) const {
    return static_cast<int>(
        std::ranges::count_if(pixels, [&](std::uint32_t p) { return is(Color(p)); }));
  }
  [[nodiscard]] int Count(std::uint32_t argb) const {
    return static_cast<int>(std::ranges::count(pixels, argb));
  }
  [[nodiscard]] std::uint32_t MostCommon() const {
    std::map<std::uint32_t, int> counts;
    for (const auto p : pixels) ++counts[p];
    return std::ranges::max_element(counts, {}, [](const auto& e) { return e.second; })->first;
  }
};

inline Drawing Draw(int style, const std::string& code, std::int32_t state, int width = 250,
                    int height = 50) {
  const auto renderer = CreateStyleRenderer(style);
  EXPECT_TRUE(renderer) << "style " << style << " is not drawn";
  const auto bitmap = boost::make_shared<graphics::Bitmap>(width, height);
  SetRandomState(state);
  const std::uint64_t before = RandomDrawCount();
  if (renderer) renderer->Draw(code, bitmap);
  return {width, height, bitmap->CopyArgb(), RandomDrawCount() - before};
}

// The random source set to `state` with the style's first `skip` draws taken.
inline DrawingRandomizer ReplayAfter(std::int32_t state, int skip) {
  SetRandomState(state);
  const DrawingRandomizer r;
  for (int i = 0; i < skip; ++i) (void)r.RandomFloat(0, 1);
  return r;
}

// The colour a style draws after `skip` draws, each channel in [low, high).
inline Color ReplayColour(std::int32_t state, int skip, int low, int high) {
  return ReplayAfter(state, skip).RandomColorInRange(low, high, low, high, low, high);
}

// `f` in fractions of the canvas, as the styles give their rectangles.
inline RectF Fraction(const StyleCanvas& canvas, const RectF& f) {
  return canvas.Fraction(f.X, f.Y, f.Width, f.Height);
}

// The text rectangle: a style's first four draws, between fractions of the image.
inline RectF TextRect(std::int32_t state, RectF outer, RectF inner, int width = 250,
                      int height = 50) {
  graphics::Bitmap bitmap(width, height);
  const StyleCanvas canvas("", bitmap, graphics::SmoothingModeNone);
  return ReplayAfter(state, 0).RandomRectBetween(Fraction(canvas, outer), Fraction(canvas, inner));
}

// Each channel of `c` lies between those of `a` and `b`, opaque: a blend of the two, as
// smoothing makes. One level beyond is allowed: blending a colour over itself rounds it
// one level down now and then.
inline bool Between(Color c, Color a, Color b) {
  const auto in = [](int v, int p, int q) {
    return v >= std::min(p, q) - 1 && v <= std::max(p, q) + 1;
  };
  return c.GetA() == 255 && in(c.GetR(), a.GetR(), b.GetR()) && in(c.GetG(), a.GetG(), b.GetG()) &&
         in(c.GetB(), a.GetB(), b.GetB());
}

// The box around the pixels a predicate of the colour and x, y picks.
struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
};
template <typename Is>
Box Find(const Drawing& d, Is is) {
  Box b;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      if (!is(d.At(x, y), x, y)) continue;
      b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x), std::max(b.bottom, y),
           b.count + 1};
    }
  }
  return b;
}
inline void ExpectWithin(const Box& b, const RectF& r, float margin) {
  ASSERT_GT(b.count, 0);
  EXPECT_GE(b.left, std::floor(r.X - margin));
  EXPECT_LE(b.right, std::ceil(r.GetRight() + margin));
  EXPECT_GE(b.top, std::floor(r.Y - margin));
  EXPECT_LE(b.bottom, std::ceil(r.GetBottom() + margin));
}

// Where a style's letters lie: the region of its text path, replayed (clips are
// pixel-aligned, so a pixel belongs to the letters when the region holds it).
struct Letters {
  RectF rect;
  graphics::Region region;
  [[nodiscard]] bool Inside(int x, int y) const { return region.IsVisible(x, y); }
  // Every pixel within `margin` is inside (or outside): no smoothed edge decides its colour.
  [[nodiscard]] bool Deep(int x, int y, bool inside, int margin = 1) const {
    for (int dy = -margin; dy <= margin; ++dy) {
      for (int dx = -margin; dx <= margin; ++dx) {
        if (Inside(x + dx, y + dy) != inside) return false;
      }
    }
    return true;
  }
};

// The code stretched onto the text rectangle (fractions of the image), replayed.
inline Letters StretchedLetters(std::int32_t state, const std::string& code, RectF outer,
                                RectF inner, int family, graphics::INT fontStyle, int width = 250,
                                int height = 50) {
  graphics::Bitmap bitmap(width, height);
  const StyleCanvas canvas(code, bitmap, graphics::SmoothingModeAntiAlias);
  const RectF outerRect = Fraction(canvas, outer);
  const StretchedText text = MakeStretchedText(canvas, ReplayAfter(state, 0), outerRect,
                                               Fraction(canvas, inner), family, fontStyle);
  return {text.rect, graphics::Region(&text.path)};
}

// The code bent between the envelope's curves inside the text rectangle, replayed.
inline Letters WarpedLetters(std::int32_t state, const std::string& code, RectF inner, int family,
                             graphics::INT fontStyle) {
  graphics::Bitmap bitmap(250, 50);
  StyleCanvas canvas(code, bitmap, graphics::SmoothingModeAntiAlias);
  const WarpedText text =
      MakeWarpedText(canvas, ReplayAfter(state, 0), Fraction(canvas, inner), family, fontStyle);
  return {text.rect, graphics::Region(text.path.get())};
}

// How many pixels a predicate picks inside the letters and outside them.
struct Census {
  int inside = 0;
  int outside = 0;
};
template <typename Is>
Census Count(const Drawing& d, const Letters& letters, Is is) {
  Census census;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      if (is(d.At(x, y))) (letters.Inside(x, y) ? census.inside : census.outside)++;
    }
  }
  return census;
}

}  // namespace quillgate::testing
