#include "Platform/Graphics/detail/SettledTiles.h"

#include <algorithm>
#include <cstddef>

namespace quillgate::graphics::detail {

namespace {

// Questions to wait before looking at an open tile again: at first a few, doubling each
// time it is still open. Looking costs about as much as testing a few pieces' pixels.
constexpr std::uint8_t kFirstWait = 16;
constexpr std::uint8_t kLongestWait = 128;

}  // namespace

void SettledTiles::Reset(const PixelTarget& target, std::uint32_t colour) {
  target_ = target;
  colour_ = colour;
  columns_ = (std::max(target.width, 0) + kTile - 1) / kTile;
  const int rows = (std::max(target.height, 0) + kTile - 1) / kTile;
  const std::size_t count = static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows);
  ++stretch_;
  if (tiles_.size() != count || stretch_ == 0) {
    // Numbers start again from 1: every tile must be from an earlier stretch.
    tiles_.assign(count, Tile{0, false, 0, 0});
    stretch_ = 1;
  }
  following_ = true;
  asked_ = yes_ = 0;
}

bool SettledTiles::Ask(int x0, int y0, int x1, int y1) {
  const bool settled = Look(x0, y0, x1, y1);
  yes_ += settled ? 1 : 0;
  if (++asked_ == kTrial) {
    following_ = yes_ * kWorthwhile >= asked_;
    asked_ = yes_ = 0;
  }
  return settled;
}

bool SettledTiles::Look(int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, 0), y0 = std::max(y0, 0);
  x1 = std::min(x1, target_.width), y1 = std::min(y1, target_.height);
  if (x0 >= x1 || y0 >= y1) return true;  // no pixel of the bitmap
  for (int row = y0 / kTile; row <= (y1 - 1) / kTile; ++row) {
    for (int column = x0 / kTile; column <= (x1 - 1) / kTile; ++column) {
      Tile& tile = tiles_[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
                          static_cast<std::size_t>(column)];
      if (tile.stretch != stretch_) tile = Tile{stretch_, false, 0, 0};
      if (tile.settled) continue;
      if (tile.countdown == 0) {
        if (LooksSettled(column, row)) {
          tile.settled = true;
          continue;
        }
        tile.wait = std::min<std::uint8_t>(std::max(static_cast<std::uint8_t>(2 * tile.wait), kFirstWait), kLongestWait);
        tile.countdown = tile.wait;
      } else {
        --tile.countdown;
      }
      return false;
    }
  }
  return true;
}

bool SettledTiles::LooksSettled(int column, int row) const {
  const int x0 = column * kTile, x1 = std::min(x0 + kTile, target_.width);
  const int y0 = row * kTile, y1 = std::min(y0 + kTile, target_.height);
  for (int y = y0; y < y1; ++y) {
    const std::uint32_t* pixels = target_.pixels + static_cast<std::ptrdiff_t>(y) * target_.stride;
    const std::uint8_t* clip =
        target_.clip != nullptr ? target_.clip + static_cast<std::ptrdiff_t>(y) * target_.clipStride : nullptr;
    bool settled = true;
    for (int x = x0; x < x1; ++x) {
      settled &= pixels[x] == colour_ || (clip != nullptr && clip[x] == 0);
    }
    if (!settled) return false;
  }
  return true;
}

}  // namespace quillgate::graphics::detail
