#include "Platform/Graphics/Codecs/ColorQuantizer.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <type_traits>

namespace quillgate::graphics::codecs {

namespace {

constexpr std::uint32_t kRgbMask = 0x00FFFFFFu;

// ---- exact palette ----------------------------------------------------------------------

// Open-addressed set of up to `limit` colours; gives up (nullopt) at the first colour too many.
class ColorTable {
 public:
  explicit ColorTable(int limit) : limit_(limit), keys_(1024, kEmpty), slots_(1024, 0) {}

  // Index of `rgb` in the palette, adding it when new; -1 once the limit is passed.
  int IndexOf(std::uint32_t rgb) {
    std::size_t h = (rgb * 0x9E3779B1u) >> 22;  // 10 bits: 1024 buckets
    while (true) {
      if (keys_[h] == rgb) return slots_[h];
      if (keys_[h] == kEmpty) {
        if (static_cast<int>(palette_.size()) == limit_) return -1;
        keys_[h] = rgb;
        slots_[h] = static_cast<std::uint8_t>(palette_.size());
        palette_.push_back(rgb);
        return slots_[h];
      }
      h = (h + 1) & 1023;
    }
  }

  std::vector<std::uint32_t>& Palette() { return palette_; }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // no 0x00RRGGBB value has high bits
  int limit_;
  std::vector<std::uint32_t> keys_;
  std::vector<std::uint8_t> slots_;
  std::vector<std::uint32_t> palette_;
};

std::optional<IndexedImage> ExactPalette(const ArgbView& image, int maxColors) {
  const std::size_t count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  ColorTable table(maxColors);
  IndexedImage result;
  result.indices.resize(count);
  std::uint32_t last = 0xFFFFFFFFu;
  std::uint8_t lastIndex = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t rgb = image.pixels[i] & kRgbMask;
    if (rgb != last) {  // runs of one colour are the rule in these images
      const int index = table.IndexOf(rgb);
      if (index < 0) return std::nullopt;
      last = rgb;
      lastIndex = static_cast<std::uint8_t>(index);
    }
    result.indices[i] = lastIndex;
  }
  result.palette = std::move(table.Palette());
  return result;
}

// ---- Wu's quantiser ---------------------------------------------------------------------

constexpr int kSide = 33;  // 32 levels per channel plus a zero plane for the prefix sums
constexpr int kCells = kSide * kSide * kSide;

constexpr int Cell(int r, int g, int b) { return (r * kSide + g) * kSide + b; }

// Counts and colour sums use 32-bit cells whenever the image is small enough for them (all
// CAPTCHA sizes): the tables are dense, and half the memory is half the page faults.
template <typename Acc>
struct Moments {
  std::vector<Acc> weight, red, green, blue;
  std::vector<double> squares;
  Moments() : weight(kCells), red(kCells), green(kCells), blue(kCells), squares(kCells) {}
};

// A box of histogram cells: lower bounds exclusive, upper inclusive, as the prefix sums need.
struct Box {
  int r0, r1, g0, g1, b0, b1;
  int Volume() const { return (r1 - r0) * (g1 - g0) * (b1 - b0); }
};

enum class Axis { Red, Green, Blue };

// Sums over the box, widened before subtracting: the partial sums of 32-bit tables may
// exceed 32 bits in between even though every box total fits.
template <typename T>
auto Sum(const Box& c, const std::vector<T>& m) {
  using Wide = std::conditional_t<std::is_integral_v<T>, std::int64_t, double>;
  const auto at = [&](int r, int g, int b) { return static_cast<Wide>(m[Cell(r, g, b)]); };
  return at(c.r1, c.g1, c.b1) - at(c.r1, c.g1, c.b0) - at(c.r1, c.g0, c.b1) + at(c.r1, c.g0, c.b0) -
         at(c.r0, c.g1, c.b1) + at(c.r0, c.g1, c.b0) + at(c.r0, c.g0, c.b1) - at(c.r0, c.g0, c.b0);
}

// The part of Sum that does not depend on the box's upper bound along `axis`.
template <typename Acc>
std::int64_t Bottom(const Box& c, Axis axis, const std::vector<Acc>& m) {
  const auto at = [&](int r, int g, int b) { return static_cast<std::int64_t>(m[Cell(r, g, b)]); };
  switch (axis) {
    case Axis::Red:
      return -at(c.r0, c.g1, c.b1) + at(c.r0, c.g1, c.b0) + at(c.r0, c.g0, c.b1) - at(c.r0, c.g0, c.b0);
    case Axis::Green:
      return -at(c.r1, c.g0, c.b1) + at(c.r1, c.g0, c.b0) + at(c.r0, c.g0, c.b1) - at(c.r0, c.g0, c.b0);
    case Axis::Blue:
      return -at(c.r1, c.g1, c.b0) + at(c.r1, c.g0, c.b0) + at(c.r0, c.g1, c.b0) - at(c.r0, c.g0, c.b0);
  }
  return 0;
}

// The rest of Sum when the box's upper bound along `axis` is moved to `pos`.
template <typename Acc>
std::int64_t Top(const Box& c, Axis axis, int pos, const std::vector<Acc>& m) {
  const auto at = [&](int r, int g, int b) { return static_cast<std::int64_t>(m[Cell(r, g, b)]); };
  switch (axis) {
    case Axis::Red:
      return at(pos, c.g1, c.b1) - at(pos, c.g1, c.b0) - at(pos, c.g0, c.b1) + at(pos, c.g0, c.b0);
    case Axis::Green:
      return at(c.r1, pos, c.b1) - at(c.r1, pos, c.b0) - at(c.r0, pos, c.b1) + at(c.r0, pos, c.b0);
    case Axis::Blue:
      return at(c.r1, c.g1, pos) - at(c.r1, c.g0, pos) - at(c.r0, c.g1, pos) + at(c.r0, c.g0, pos);
  }
  return 0;
}

template <typename Acc>
class WuQuantizer {
 public:
  explicit WuQuantizer(const ArgbView& image) : image_(image) {
    BuildHistogram();
    Accumulate();
  }

  IndexedImage Run(int maxColors);

 private:
  void BuildHistogram();
  void Accumulate();
  double Variance(const Box& c) const;
  double Maximize(const Box& c, Axis axis, int first, int last, int& cut,
                  const std::int64_t whole[4]) const;
  bool Cut(Box& a, Box& b) const;

  const ArgbView& image_;
  Moments<Acc> m_;
};

template <typename Acc>
void WuQuantizer<Acc>::BuildHistogram() {
  const std::size_t count = static_cast<std::size_t>(image_.width) * static_cast<std::size_t>(image_.height);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t p = image_.pixels[i];
    const int r = RedOf(p), g = GreenOf(p), b = BlueOf(p);
    const int cell = Cell((r >> 3) + 1, (g >> 3) + 1, (b >> 3) + 1);
    m_.weight[cell] += 1;
    m_.red[cell] += r;
    m_.green[cell] += g;
    m_.blue[cell] += b;
    m_.squares[cell] += static_cast<double>(r * r + g * g + b * b);
  }
}

// Turns the histogram into cumulative moments: entry (r, g, b) holds the sums over all cells
// at or below it on every axis, so any box's sums come from eight look-ups.
template <typename Acc>
void WuQuantizer<Acc>::Accumulate() {
  for (int r = 1; r < kSide; ++r) {
    Acc area[kSide] = {}, areaR[kSide] = {}, areaG[kSide] = {}, areaB[kSide] = {};
    double area2[kSide] = {};
    for (int g = 1; g < kSide; ++g) {
      Acc line = 0, lineR = 0, lineG = 0, lineB = 0;
      double line2 = 0;
      for (int b = 1; b < kSide; ++b) {
        const int cell = Cell(r, g, b);
        line += m_.weight[cell];
        lineR += m_.red[cell];
        lineG += m_.green[cell];
        lineB += m_.blue[cell];
        line2 += m_.squares[cell];
        area[b] += line;
        areaR[b] += lineR;
        areaG[b] += lineG;
        areaB[b] += lineB;
        area2[b] += line2;
        const int below = Cell(r - 1, g, b);
        m_.weight[cell] = m_.weight[below] + area[b];
        m_.red[cell] = m_.red[below] + areaR[b];
        m_.green[cell] = m_.green[below] + areaG[b];
        m_.blue[cell] = m_.blue[below] + areaB[b];
        m_.squares[cell] = m_.squares[below] + area2[b];
      }
    }
  }
}

// Weighted variance of the colours in a box (sum of squared distances to their mean).
template <typename Acc>
double WuQuantizer<Acc>::Variance(const Box& c) const {
  const auto dr = static_cast<double>(Sum(c, m_.red));
  const auto dg = static_cast<double>(Sum(c, m_.green));
  const auto db = static_cast<double>(Sum(c, m_.blue));
  const double squares = Sum(c, m_.squares);
  const auto weight = static_cast<double>(Sum(c, m_.weight));
  return squares - (dr * dr + dg * dg + db * db) / weight;
}

// Best cut position along `axis` in (first, last): the one that maximises the summed
// "between" variance of the two halves. Returns that score, -1 when no cut leaves both
// halves non-empty.
template <typename Acc>
double WuQuantizer<Acc>::Maximize(const Box& c, Axis axis, int first, int last, int& cut,
                             const std::int64_t whole[4]) const {
  const std::int64_t baseR = Bottom(c, axis, m_.red);
  const std::int64_t baseG = Bottom(c, axis, m_.green);
  const std::int64_t baseB = Bottom(c, axis, m_.blue);
  const std::int64_t baseW = Bottom(c, axis, m_.weight);
  double best = -1.0;
  cut = -1;
  for (int i = first; i < last; ++i) {
    std::int64_t halfR = baseR + Top(c, axis, i, m_.red);
    std::int64_t halfG = baseG + Top(c, axis, i, m_.green);
    std::int64_t halfB = baseB + Top(c, axis, i, m_.blue);
    std::int64_t halfW = baseW + Top(c, axis, i, m_.weight);
    if (halfW == 0) continue;
    double score = (static_cast<double>(halfR) * halfR + static_cast<double>(halfG) * halfG +
                    static_cast<double>(halfB) * halfB) / static_cast<double>(halfW);
    halfR = whole[0] - halfR;
    halfG = whole[1] - halfG;
    halfB = whole[2] - halfB;
    halfW = whole[3] - halfW;
    if (halfW == 0) continue;
    score += (static_cast<double>(halfR) * halfR + static_cast<double>(halfG) * halfG +
              static_cast<double>(halfB) * halfB) / static_cast<double>(halfW);
    if (score > best) {
      best = score;
      cut = i;
    }
  }
  return best;
}

// Splits `a` in two along its best axis; `b` receives the upper half.
template <typename Acc>
bool WuQuantizer<Acc>::Cut(Box& a, Box& b) const {
  const std::int64_t whole[4] = {Sum(a, m_.red), Sum(a, m_.green), Sum(a, m_.blue),
                                 Sum(a, m_.weight)};
  int cutR = 0, cutG = 0, cutB = 0;
  const double maxR = Maximize(a, Axis::Red, a.r0 + 1, a.r1, cutR, whole);
  const double maxG = Maximize(a, Axis::Green, a.g0 + 1, a.g1, cutG, whole);
  const double maxB = Maximize(a, Axis::Blue, a.b0 + 1, a.b1, cutB, whole);

  Axis axis = Axis::Blue;
  if (maxR >= maxG && maxR >= maxB) {
    if (cutR < 0) return false;  // the box holds a single colour cell
    axis = Axis::Red;
  } else if (maxG >= maxR && maxG >= maxB) {
    axis = Axis::Green;
  }
  b = a;
  switch (axis) {
    case Axis::Red: a.r1 = b.r0 = cutR; break;
    case Axis::Green: a.g1 = b.g0 = cutG; break;
    case Axis::Blue: a.b1 = b.b0 = cutB; break;
  }
  return true;
}

template <typename Acc>
IndexedImage WuQuantizer<Acc>::Run(int maxColors) {
  std::vector<Box> boxes(static_cast<std::size_t>(maxColors));
  std::vector<double> variance(static_cast<std::size_t>(maxColors), 0.0);
  boxes[0] = Box{0, kSide - 1, 0, kSide - 1, 0, kSide - 1};
  int count = 1;
  int next = 0;
  while (count < maxColors) {
    if (Cut(boxes[next], boxes[count])) {
      variance[next] = boxes[next].Volume() > 1 ? Variance(boxes[next]) : 0.0;
      variance[count] = boxes[count].Volume() > 1 ? Variance(boxes[count]) : 0.0;
      ++count;
    } else {
      variance[next] = 0.0;  // cannot be split: never pick it again
    }
    next = static_cast<int>(std::max_element(variance.begin(), variance.begin() + count) - variance.begin());
    if (variance[next] <= 0.0) break;
  }

  // Each box becomes one palette entry (its mean colour); every histogram cell is tagged
  // with the box it lies in, which maps each pixel in one look-up.
  IndexedImage result;
  std::vector<std::uint8_t> tag(kCells, 0);
  for (int k = 0; k < count; ++k) {
    const Box& c = boxes[static_cast<std::size_t>(k)];
    const std::int64_t weight = Sum(c, m_.weight);
    if (weight == 0) continue;  // an empty box gets no entry (cannot happen after a valid cut)
    const auto index = static_cast<std::uint8_t>(result.palette.size());
    const auto mean = [&](const std::vector<Acc>& moment) {
      return static_cast<std::uint32_t>((Sum(c, moment) + weight / 2) / weight);
    };
    result.palette.push_back((mean(m_.red) << 16) | (mean(m_.green) << 8) | mean(m_.blue));
    for (int r = c.r0 + 1; r <= c.r1; ++r)
      for (int g = c.g0 + 1; g <= c.g1; ++g)
        for (int b = c.b0 + 1; b <= c.b1; ++b) tag[static_cast<std::size_t>(Cell(r, g, b))] = index;
  }

  const std::size_t pixels = static_cast<std::size_t>(image_.width) * static_cast<std::size_t>(image_.height);
  result.indices.resize(pixels);
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint32_t p = image_.pixels[i];
    result.indices[i] = tag[static_cast<std::size_t>(
        Cell((RedOf(p) >> 3) + 1, (GreenOf(p) >> 3) + 1, (BlueOf(p) >> 3) + 1))];
  }
  return result;
}

}  // namespace

IndexedImage QuantizeColors(const ArgbView& image, int maxColors) {
  maxColors = std::clamp(maxColors, 2, 256);
  if (auto exact = ExactPalette(image, maxColors)) return std::move(*exact);
  const std::uint64_t pixels = static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height);
  if (pixels <= std::numeric_limits<std::int32_t>::max() / 255) {
    return WuQuantizer<std::int32_t>(image).Run(maxColors);
  }
  return WuQuantizer<std::int64_t>(image).Run(maxColors);
}

}  // namespace quillgate::graphics::codecs
