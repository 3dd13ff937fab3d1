#include "Platform/Graphics/detail/ThinStroke.h"

#include "Platform/Graphics/detail/ClipMask.h"
#include "Platform/Graphics/detail/FigureRuns.h"
#include "Platform/Graphics/detail/PixelGrid.h"
#include "Platform/Graphics/detail/SettledTiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillgate::graphics::detail {

namespace {

constexpr double kHalfWidth = 0.5;   // of the one-pixel pen
constexpr double kTolerance = 0.25;  // flattening, as for every other stroke
constexpr int kMaxPieces = 64;

// The larger and the smaller of two numbers (neither NaN here), without a branch.
#if defined(__SSE2__)
double MaxOf(double a, double b) { return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(a), _mm_set_sd(b))); }
double MinOf(double a, double b) { return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(a), _mm_set_sd(b))); }
#else
double MaxOf(double a, double b) { return a > b ? a : b; }
double MinOf(double a, double b) { return a < b ? a : b; }
#endif

// std::hypot guards against overflow at a high price; these distances are a few pixels.
double Length(double x, double y) { return std::sqrt(x * x + y * y); }

// How many pieces keep a cubic whose larger second difference has squared length `bend2`
// within the tolerance: the least n with n >= sqrt(0.75 bend / tolerance) = sqrt(3 bend),
// that is n^4 >= 9 bend^2, looked up instead of taking two dependent square roots for
// every curve. At least 1, at most kMaxPieces.
static_assert(kTolerance == 0.25, "the factor 9 below is (0.75 / kTolerance) squared");
constexpr std::array<double, kMaxPieces> kFourthPowers = [] {
  std::array<double, kMaxPieces> powers{};
  for (int n = 1; n <= kMaxPieces; ++n) powers[static_cast<std::size_t>(n - 1)] = static_cast<double>(n) * n * n * n;
  return powers;
}();
int PiecesFor(double bend2) {
  const double need = 9 * bend2;
  int n = 1;
  while (n < kMaxPieces && kFourthPowers[static_cast<std::size_t>(n - 1)] < need) ++n;
  return n;
}

// The smallest whole number at least v, and the largest at most v, for v within the range
// of int: conversion truncates toward zero, and one step corrects it where that was the
// wrong way. Cheaper than std::ceil and std::floor, which must also handle what cannot
// come here.
int Ceil(double v) {
  const int whole = static_cast<int>(v);
  return whole + (whole < v ? 1 : 0);
}
int Floor(double v) {
  const int whole = static_cast<int>(v);
  return whole - (whole > v ? 1 : 0);
}

}  // namespace

bool ThinStroke::Fits(std::span<const PointF> points, PointF& minimum, PointF& maximum, double limit) {
  if (points.empty()) return false;
  double minX = points[0].X, maxX = minX, minY = points[0].Y, maxY = minY;
  for (const PointF& p : points) {
    if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return false;
    minX = std::min<double>(minX, p.X), maxX = std::max<double>(maxX, p.X);
    minY = std::min<double>(minY, p.Y), maxY = std::max<double>(maxY, p.Y);
  }
  minimum = PointF(static_cast<REAL>(minX), static_cast<REAL>(minY));
  maximum = PointF(static_cast<REAL>(maxX), static_cast<REAL>(maxY));
  return maxX - minX <= limit && maxY - minY <= limit;
}

std::array<int, 4> ThinStroke::Reach(PointF minimum, PointF maximum) {
  // A piece reaches a pixel and a half beyond its points, and the grid moves them by half
  // a pixel at most: three pixels each way hold all of it.
  return {Floor(Clamp(minimum.X)) - 3, Floor(Clamp(minimum.Y)) - 3, Floor(Clamp(maximum.X)) + 4,
          Floor(Clamp(maximum.Y)) + 4};
}

void ThinStroke::Begin(PointF minimum, PointF maximum, bool antialiased, const ThinTarget& target) {
  antialiased_ = antialiased;
  shift_ = GridShift(antialiased);
  target_ = &target;
  // Fits() keeps the points within the coordinate range; the pixels start three to the left
  // and above, where the stroke's reach and smoothing end.
  originX_ = Floor(Clamp(minimum.X) + shift_) - 3;
  originY_ = Floor(Clamp(minimum.Y) + shift_) - 3;
  width_ = Ceil(Clamp(maximum.X) - Clamp(minimum.X)) + kMargin;
  height_ = Ceil(Clamp(maximum.Y) - Clamp(minimum.Y)) + kMargin;
  const auto size = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  if (antialiased && coverage_.size() < size) coverage_.resize(size);  // the new part is zero too
  if (antialiased) {
    rowLeft_.assign(static_cast<std::size_t>(height_), width_);
    rowRight_.assign(static_cast<std::size_t>(height_), 0);
  }
  y0_ = height_, y1_ = 0;
}

void ThinStroke::AddFigures(std::span<const PointF> points, std::span<const BYTE> types) {
  const std::size_t n = std::min(points.size(), types.size());
  ForEachFigure(types, n, [&](std::size_t begin, std::size_t i, bool closed) {
    // Walked as the path is handed to Cairo: curves of three points, else lines.
    flat_.clear();
    auto at = [&](std::size_t k) {
      return Pt{Clamp(points[k].X) + shift_ - originX_, Clamp(points[k].Y) + shift_ - originY_};
    };
    flat_.push_back(at(begin));
    std::size_t k = begin + 1;
    while (k < i) {
      if ((types[k] & PathPointTypePathTypeMask) == PathPointTypeBezier && k + 2 < i) {
        const Pt p0 = flat_.back(), p1 = at(k), p2 = at(k + 1), p3 = at(k + 2);
        // Enough pieces that none strays more than the tolerance from the curve: the
        // curve's second differences bound its bend.
        const double ax = p0.x - 2 * p1.x + p2.x, ay = p0.y - 2 * p1.y + p2.y;
        const double bx = p1.x - 2 * p2.x + p3.x, by = p1.y - 2 * p2.y + p3.y;
        const int pieces = PiecesFor(std::max(ax * ax + ay * ay, bx * bx + by * by));
        const double step = 1.0 / pieces;
        for (int j = 1; j <= pieces; ++j) {
          const double t = j == pieces ? 1.0 : j * step, s = 1 - t;
          const double a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
          flat_.push_back({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
        }
        k += 3;
      } else {
        flat_.push_back(at(k));
        ++k;
      }
    }
    AddPolyline(closed);
  });
}

void ThinStroke::AddPolyline(bool closed) {
  if (closed && flat_.size() > 1) flat_.push_back(flat_.front());
  // Pieces of no length draw nothing, as with a flat-capped stroke; the caps belong to the
  // first and last pieces that have a length. Each piece waits for the next one with a
  // length, so that the last is known when it is drawn.
  std::size_t pending = 0;  // the piece ending at flat_[pending], if not 0
  bool first = true;
  for (std::size_t k = 1; k < flat_.size(); ++k) {
    if (flat_[k].x == flat_[k - 1].x && flat_[k].y == flat_[k - 1].y) continue;
    if (pending != 0) {
      AddSegment(flat_[pending - 1], flat_[pending], !closed && first, false);
      first = false;
    }
    pending = k;
  }
  if (pending != 0) AddSegment(flat_[pending - 1], flat_[pending], !closed && first, !closed);
}

namespace {

// What a piece of `length` lays on the pixel whose centre lies `along` it from its start
// and `across` it: a coverage with smoothing, else 0 or 255.
template <bool kSmooth, bool kCapStart, bool kCapEnd>
[[gnu::always_inline]] inline std::uint8_t PieceValue(double along, double across, double length) {
  if constexpr (kSmooth) {
    constexpr double kReach = kHalfWidth + 0.5;
    // Beyond an end that is not capped the stroke is rounded: the distance to the end.
    // Elsewhere `beyond` is 0 and the root is exactly |across| (the square root of a
    // square is exact in binary floating point). No branches: which pixels of a row the
    // stroke reaches is not predictable, and mispredictions cost more than the root.
    const double before = kCapStart ? 0.0 : MaxOf(-along, 0.0);
    const double after = kCapEnd ? 0.0 : MaxOf(along - length, 0.0);
    const double beyond = before + after;  // one of them is 0
    double cover = MaxOf(kReach - std::sqrt(across * across + beyond * beyond), 0.0);
    if constexpr (kCapStart) cover *= MinOf(MaxOf(0.5 + along, 0.0), 1.0);
    if constexpr (kCapEnd) cover *= MinOf(MaxOf(0.5 + length - along, 0.0), 1.0);
    return static_cast<std::uint8_t>(cover * 255 + 0.5);
  } else {
    // Half-open along and across, so that a stroke along a row of pixel edges sets one
    // row, not two, and pieces that meet do not both take the pixel at the joint. Beyond
    // an end that is not capped, the round end. All three tests, joined without branches.
    constexpr double kHalf2 = kHalfWidth * kHalfWidth;
    const double pastEnd = along - length;
    const bool middle = (along >= 0) & (along < length) & (across >= -kHalfWidth) & (across < kHalfWidth);
    const bool startEnd = !kCapStart && ((along < 0) & (along * along + across * across < kHalf2));
    const bool endEnd = !kCapEnd && ((along >= length) & (pastEnd * pastEnd + across * across < kHalf2));
    return (middle | startEnd | endEnd) ? 255 : 0;
  }
}

struct PieceBox {
  int left, top, right, bottom;  // pixels [left, right) x [top, bottom) of the coverage
  // Columns at the left whose centres lie out of reach: not looked at. With smoothing the
  // centres are still stepped to from `left`, so that a pixel's along and across do not
  // depend on how many columns are skipped.
  int skip;
};

// Raises the coverage of the box's pixels to what the piece from a to b lays on them.
// Returns whether any pixel rose.
template <bool kCapStart, bool kCapEnd>
bool CoverPiece(std::uint8_t* coverage, int stride, const PieceBox& box, Pt a, double ux, double uy, double length) {
  const int width = box.right - box.left;
  std::uint8_t rose = 0;
  const double startX = box.left + 0.5 - a.x;  // the first centre of each row, from a
  for (int y = box.top; y < box.bottom; ++y) {
    std::uint8_t* row = coverage + static_cast<std::ptrdiff_t>(y) * stride + box.left;
    const double vy = y + 0.5 - a.y;
    // Stepping one pixel right adds ux along the piece and -uy across it.
    double along = startX * ux + vy * uy, across = vy * ux - startX * uy;
    int x = 0;
    for (; x < box.skip; ++x) along += ux, across -= uy;
    for (; x < width; ++x, along += ux, across -= uy) {
      const std::uint8_t value = PieceValue<true, kCapStart, kCapEnd>(along, across, length);
      const std::uint8_t old = row[x];
      rose |= static_cast<std::uint8_t>(value > old);
      row[x] = value > old ? value : old;
    }
  }
  return rose != 0;
}

#if defined(__SSE2__)
// PieceValue without smoothing for the pixels x and x + 1 of `row` (the piece starting at
// ax along the row), each set to the colour when covered and its clip byte (if
// `inClip`) is not 0. Along and across are found by the same operations, in the same
// order, on the same doubles as one pixel at a time: the same pixels.
template <bool kCapStart, bool kCapEnd>
[[gnu::always_inline]] inline void SetPairIfCovered(std::uint32_t* row, const std::uint8_t* inClip, int x, double ax,
                                                    double ux, double uy, double alongY, double acrossY,
                                                    double length, std::uint32_t colour) {
  const __m128d centre = _mm_sub_pd(_mm_set_pd(x + 1.5, x + 0.5), _mm_set1_pd(ax));
  const __m128d along = _mm_add_pd(_mm_mul_pd(centre, _mm_set1_pd(ux)), _mm_set1_pd(alongY));
  const __m128d across = _mm_sub_pd(_mm_set1_pd(acrossY), _mm_mul_pd(centre, _mm_set1_pd(uy)));
  const __m128d zero = _mm_setzero_pd(), end = _mm_set1_pd(length), half = _mm_set1_pd(kHalfWidth);
  const __m128d half2 = _mm_set1_pd(kHalfWidth * kHalfWidth), across2 = _mm_mul_pd(across, across);
  __m128d covered = _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(along, zero), _mm_cmplt_pd(along, end)),
                               _mm_and_pd(_mm_cmpge_pd(across, _mm_sub_pd(zero, half)), _mm_cmplt_pd(across, half)));
  // The round ends in one test: how far the centre lies before a rounded start or past a
  // rounded end (0 between them, where the test is only a stricter form of the one above).
  // Each square is the very square PieceValue takes, so the answers are its answers.
  if constexpr (!kCapStart || !kCapEnd) {
    __m128d beyond = zero;
    if constexpr (!kCapStart) beyond = _mm_max_pd(beyond, _mm_sub_pd(zero, along));
    if constexpr (!kCapEnd) beyond = _mm_max_pd(beyond, _mm_sub_pd(along, end));
    __m128d round = _mm_cmplt_pd(_mm_add_pd(_mm_mul_pd(beyond, beyond), across2), half2);
    if constexpr (kCapStart) round = _mm_and_pd(round, _mm_cmpge_pd(along, zero));
    if constexpr (kCapEnd) round = _mm_and_pd(round, _mm_cmplt_pd(along, end));
    covered = _mm_or_pd(covered, round);
  }
  // The two 64-bit answers as two 32-bit masks, one per pixel.
  __m128i set = _mm_shuffle_epi32(_mm_castpd_si128(covered), _MM_SHUFFLE(2, 0, 2, 0));
  if (inClip != nullptr) {
    std::uint16_t bytes = 0;
    std::memcpy(&bytes, inClip + x, sizeof bytes);
    const __m128i zeroI = _mm_setzero_si128();
    const __m128i clip = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zeroI), zeroI);
    set = _mm_andnot_si128(_mm_cmpeq_epi32(clip, zeroI), set);
  }
  row += x;
  const __m128i pixels = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row));
  const __m128i result = _mm_or_si128(_mm_andnot_si128(set, pixels), _mm_and_si128(set, _mm_set1_epi32(static_cast<int>(colour))));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(row), result);
}
#endif

// Sets the pixels of the box (in the target, `dx`, `dy` from the piece's frame) that the
// piece covers, where the clip lets it, to the colour.
template <bool kCapStart, bool kCapEnd>
void SetPiecePixels(const ThinTarget& target, const PieceBox& box, int dx, int dy, Pt a, Pt b, double ux, double uy,
                    double length) {
  const int left = std::max(box.left + box.skip, -dx), right = std::min(box.right, target.pixels.width - dx);
  const int top = std::max(box.top, -dy), bottom = std::min(box.bottom, target.pixels.height - dy);
  if (left >= right) return;
  // Every pixel the stroke covers, round ends included, has its centre within half the pen
  // across the piece's line: in a row, the centres x + 1/2 - a.x = cx with cx uy within
  // half a pen of vy ux, at most `span` of them from `first`. Where that band is narrower
  // than the box (a steep or diagonal piece) only its pixels are tested; the same number
  // in every row, so that the loop's end is foreseen. The room keeps every centre that
  // rounding could bring into the stroke.
  // The band and its slope come from the piece's ends, not from ux and uy, so that their
  // divisions need not wait for those.
  constexpr double kRoom = 1e-6;
  const double dyAbs = std::abs(b.y - a.y);
  const double band = dyAbs > 1e-3 * length ? (kHalfWidth + kRoom) * length / dyAbs : 0;
  const bool narrow = band != 0 && static_cast<int>(2 * band) + 1 < right - left;
  const int span = narrow ? static_cast<int>(2 * band) + 1 : right - left;
  const double slope = narrow ? (b.x - a.x) / (b.y - a.y) : 0, offset = a.x - 0.5 - band;
  const std::uint32_t colour = target.colour;  // held here: the pixels' stores might alias it
  // Pixels beyond the band may be tested too, anywhere on the bitmap's row: the test alone
  // decides. So every row takes the same number of pairs, moved left where they
  // would run off the bitmap, and neither how many pixels a row tests nor whether it ends
  // on an odd one need be foreseen. Only a bitmap narrower than the pairs goes one pixel at
  // a time.
  const int bitmapLeft = -dx, bitmapRight = target.pixels.width - dx;
  const int pairs = (span + 1) / 2;
  const bool inPairs = 2 * pairs <= bitmapRight - bitmapLeft;
  auto rows = [&]<bool kClipped>() {
    for (int y = top; y < bottom; ++y) {
      const double vy = y + 0.5 - a.y;
      const int first = narrow ? Ceil(vy * slope + offset) : left;
      const int from = std::max(first, left);
      std::uint32_t* row = target.pixels.pixels + static_cast<std::ptrdiff_t>(y + dy) * target.pixels.stride + dx;
      const std::uint8_t* inClip =
          kClipped ? target.pixels.clip + static_cast<std::ptrdiff_t>(y + dy) * target.pixels.clipStride + dx : nullptr;
      const double alongY = vy * uy, acrossY = vy * ux;
      // Without a branch: whether a pixel is covered, and whether the clip lets it, follow
      // no pattern, and a mispredicted branch costs more than the whole test.
#if defined(__SSE2__)
      if (inPairs) {
        int x = std::min(from, bitmapRight - 2 * pairs);
        for (int k = 0; k < pairs; ++k, x += 2) {
          SetPairIfCovered<kCapStart, kCapEnd>(row, inClip, x, a.x, ux, uy, alongY, acrossY, length, colour);
        }
        continue;
      }
#endif
      for (int x = from; x < std::min(first + span, right); ++x) {
        const double cx = x + 0.5 - a.x;
        const bool covered = PieceValue<false, kCapStart, kCapEnd>(cx * ux + alongY, acrossY - cx * uy, length) != 0;
        bool allowed = true;
        if constexpr (kClipped) allowed = inClip[x] != 0;
        const std::uint32_t set = 0u - static_cast<std::uint32_t>(covered & allowed);
        row[x] = (row[x] & ~set) | (colour & set);
      }
    }
  };
  if (target.pixels.clip != nullptr) {
    rows.template operator()<true>();
  } else {
    rows.template operator()<false>();
  }
}

// Calls f.template operator()<kCapStart, kCapEnd>() for the caps at hand.
template <typename F>
void WithCaps(bool capStart, bool capEnd, F&& f) {
  if (capStart && capEnd) return f.template operator()<true, true>();
  if (capStart) return f.template operator()<true, false>();
  if (capEnd) return f.template operator()<false, true>();
  return f.template operator()<false, false>();
}

}  // namespace

void ThinStroke::AddSegment(Pt a, Pt b, bool capStart, bool capEnd) {
  // Pixels whose centres (x + 1/2, y + 1/2) may lie within reach of the piece: at or right
  // of min - reach, left of max + reach (and so for y). A hair of slack on the near side
  // keeps every centre that rounding could bring within reach. Coordinates here lie at
  // least three pixels from the origin, so truncation is floor. With smoothing the columns
  // are stepped from the floor of the near bound, as they always were, so that every pixel
  // sees the same along and across; without it each centre's are computed directly.
  constexpr double kSlack = 1e-9;
  const double reach = kHalfWidth + (antialiased_ ? 0.5 : 0.0);
  // With smoothing a flat cap spreads coverage half a pixel past the end and a pixel to
  // either side: its corners lie sqrt(1.25) < 1.125 from the end.
  const double nearReach = antialiased_ ? ((capStart || capEnd) ? 1.125 : reach) : kHalfWidth;
  const double nearX = std::min(a.x, b.x) - nearReach - 0.5, nearY = std::min(a.y, b.y) - nearReach - 0.5;
  const int stepFrom = std::max(static_cast<int>(std::min(a.x, b.x) - reach - 0.5), 0);
  const int firstRow = std::max(static_cast<int>(std::min(a.y, b.y) - reach - 0.5), 0);
  const PieceBox box{stepFrom,
                     std::max(Ceil(nearY - kSlack), firstRow),
                     std::min(Ceil(std::max(a.x, b.x) + reach - 0.5), width_),
                     std::min(Ceil(std::max(a.y, b.y) + reach - 0.5), height_),
                     std::max(Ceil(nearX - kSlack), stepFrom) - stepFrom};
  if (target_->clipCells != nullptr &&
      !target_->clipCells->MayMeet(originX_ + box.left, originY_ + box.top, originX_ + box.right, originY_ + box.bottom)) {
    return;  // wholly outside the clip: it changes no pixel
  }
  if (!antialiased_ && target_->settled != nullptr &&
      target_->settled->Settled(originX_ + box.left + box.skip, originY_ + box.top, originX_ + box.right,
                                originY_ + box.bottom)) {
    return;  // every pixel it could set already has its colour, or is clipped away
  }
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length = Length(dx, dy);
  const double ux = dx / length, uy = dy / length;  // pieces of no length never come here
  if (!antialiased_) {
    WithCaps(capStart, capEnd, [&]<bool kCapStart, bool kCapEnd>() {
      SetPiecePixels<kCapStart, kCapEnd>(*target_, box, originX_, originY_, a, b, ux, uy, length);
    });
    return;
  }
  bool any = false;
  WithCaps(capStart, capEnd, [&]<bool kCapStart, bool kCapEnd>() {
    any = CoverPiece<kCapStart, kCapEnd>(coverage_.data(), width_, box, a, ux, uy, length);
  });
  if (any) {
    y0_ = std::min(y0_, box.top), y1_ = std::max(y1_, box.bottom);
    for (int y = box.top; y < box.bottom; ++y) {
      rowLeft_[static_cast<std::size_t>(y)] = std::min(rowLeft_[static_cast<std::size_t>(y)], box.left + box.skip);
      rowRight_[static_cast<std::size_t>(y)] = std::max(rowRight_[static_cast<std::size_t>(y)], box.right);
    }
  }
}

void ThinStroke::Finish() {
  // Row by row over the span the pieces reached: a large curl's box is mostly empty.
  const CoverageMask mask{coverage_.data(), width_, originX_, originY_};
  // The rows of a large picture that a mark reaches are seldom in the cache, and each blend
  // waits for its pixels: ask for all of them first, so that they arrive together.
  const PixelTarget& pixels = target_->pixels;
  for (int y = std::max(y0_, -originY_); y < std::min(y1_, pixels.height - originY_); ++y) {
    const int left = std::max(rowLeft_[static_cast<std::size_t>(y)] + originX_, 0);
    const int right = std::min(rowRight_[static_cast<std::size_t>(y)] + originX_, pixels.width);
    const std::uint32_t* row = pixels.pixels + static_cast<std::ptrdiff_t>(originY_ + y) * pixels.stride;
    for (int x = left; x < right; x += 16) __builtin_prefetch(row + x, 1);
    if (left < right) __builtin_prefetch(row + right - 1, 1);
  }
  for (int y = y0_; y < y1_; ++y) {
    int& left = rowLeft_[static_cast<std::size_t>(y)];
    int& right = rowRight_[static_cast<std::size_t>(y)];
    if (left < right) {
      BlendCoverage(target_->pixels, mask, {originX_ + left, originY_ + y, originX_ + right, originY_ + y + 1},
                    target_->colour);
      // The blend clears what it covers; pixels off the target it does not reach.
      const bool onTarget = originX_ + left >= 0 && originX_ + right <= target_->pixels.width && originY_ + y >= 0 &&
                            originY_ + y < target_->pixels.height;
      if (!onTarget) {
        std::memset(coverage_.data() + static_cast<std::ptrdiff_t>(y) * width_ + left, 0,
                    static_cast<std::size_t>(right - left));
      }
    }
    left = width_, right = 0;
  }
  y0_ = height_, y1_ = 0;
}

}  // namespace quillgate::graphics::detail
