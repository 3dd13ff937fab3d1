#pragma once
// Independent readers for the encoders' output, built on the reference libraries (BMP by
// hand), so the tests check files as other programs will see them.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quillgate::graphics::testing {

struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0xAARRGGBB; alpha 0xFF for formats without alpha
};

struct DecodedJpeg {
  DecodedImage image;
  int components = 0;
  int lumaHorizontalSampling = 0;  // 2 with halved chroma, 1 with full chroma
  int lumaVerticalSampling = 0;
};

std::optional<DecodedJpeg> DecodeJpeg(std::span<const std::uint8_t> file);
std::optional<DecodedImage> DecodePng(std::span<const std::uint8_t> file);

struct DecodedGif {
  DecodedImage image;
  int paletteSize = 0;
  bool hasTransparency = false;
};
std::optional<DecodedGif> DecodeGif(std::span<const std::uint8_t> file);

struct DecodedTiff {
  DecodedImage image;
  int compression = 0;
  int extraSampleKind = -1;
};
std::optional<DecodedTiff> DecodeTiff(std::span<const std::uint8_t> file);

struct DecodedBmp {
  DecodedImage image;
  std::uint32_t fileSizeField = 0;
  std::uint32_t headerSize = 0;
  std::uint32_t compression = 0;
};
std::optional<DecodedBmp> DecodeBmp(std::span<const std::uint8_t> file);

}  // namespace quillgate::graphics::testing
