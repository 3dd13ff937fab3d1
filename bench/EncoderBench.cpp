// Each image encoder alone on a default-size (250 × 50) CAPTCHA-like image: a white outlined
// shape on black with anti-aliased edges and speckle noise, saved as the image pipeline
// saves it (quality 100, into a fresh memory stream).

#include "Platform/Graphics/Encoders.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using namespace quillgate::graphics;

std::vector<std::uint32_t> CaptchaLikePixels(int width, int height) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0xFF000000u);
  std::uint32_t state = 2024;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Outline of wavy "letters": distance to a few sine bands gives a 1–2 px stroke with
      // grey anti-aliasing on both sides.
      const double band = std::fabs(std::sin(x * 0.09) * 14.0 + 25.0 - y);
      const double ring = std::fabs(std::hypot(std::fmod(x, 42.0) - 21.0, y - 25.0) - 15.0);
      const double d = std::min(band, ring);
      std::uint32_t v = 0;
      if (d < 1.0) v = 255;
      else if (d < 2.0) v = static_cast<std::uint32_t>((2.0 - d) * 255.0);
      state = state * 1664525u + 1013904223u;
      if ((state >> 24) < 8) v = (state >> 8) & 255;  // about 3 % speckle
      pixels[static_cast<std::size_t>(y) * width + x] = 0xFF000000u | (v << 16) | (v << 8) | v;
    }
  }
  return pixels;
}

// The same picture tinted: a hue that drifts across the image and coloured speckle give
// thousands of distinct colours, so the GIF encoder has to quantise.
std::vector<std::uint32_t> ColourfulPixels(int width, int height) {
  std::vector<std::uint32_t> pixels = CaptchaLikePixels(width, height);
  std::uint32_t state = 77;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint32_t& p = pixels[static_cast<std::size_t>(y) * width + x];
      const std::uint32_t v = p & 255;
      state = state * 1664525u + 1013904223u;
      const std::uint32_t r = (v + static_cast<std::uint32_t>(x)) & 255;
      const std::uint32_t g = (v / 2 + static_cast<std::uint32_t>(y) * 4) & 255;
      const std::uint32_t b = (v + (state >> 27)) & 255;
      p = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  return pixels;
}

constexpr int kWidth = 250, kHeight = 50;

void SaveLoop(benchmark::State& state, const CLSID& clsid,
              const std::vector<std::uint32_t>& pixels = CaptchaLikePixels(kWidth, kHeight)) {
  const ArgbView view{kWidth, kHeight, pixels};
  const std::int32_t quality = 100;
  const EncoderParameter parameter{EncoderQuality, 1, EncoderParameterValueType::Long, &quality};
  const EncoderParameters params{{&parameter, 1}};
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    MemoryStream stream;
    if (SaveImageToStream(view, stream, clsid, &params) != Status::Ok) {
      state.SkipWithError("save failed");
      break;
    }
    bytes = stream.Size();
    benchmark::DoNotOptimize(stream.Bytes().data());
  }
  state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_EncodeJpeg(benchmark::State& state) { SaveLoop(state, kJpegEncoderClsid); }
void BM_EncodePng(benchmark::State& state) { SaveLoop(state, kPngEncoderClsid); }
void BM_EncodeGif(benchmark::State& state) { SaveLoop(state, kGifEncoderClsid); }
void BM_EncodeGifManyColours(benchmark::State& state) {
  SaveLoop(state, kGifEncoderClsid, ColourfulPixels(kWidth, kHeight));
}
void BM_EncodeTiff(benchmark::State& state) { SaveLoop(state, kTiffEncoderClsid); }
void BM_EncodeBmp(benchmark::State& state) { SaveLoop(state, kBmpEncoderClsid); }

BENCHMARK(BM_EncodeJpeg)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeGif)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeGifManyColours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeTiff)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeBmp)->Unit(benchmark::kMicrosecond);

}  // namespace
