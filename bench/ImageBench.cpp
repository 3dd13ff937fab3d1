// CreateImage from settings to encoded bytes, per drawn style: at the default 250 x 50, and
// at the two extremes a host may ask for (4000 x 800, and a 1,000-character code at
// 250 x 50), which must stay within seconds, not minutes.
#include "Engine/CaptchaEngine.h"
#include "Styles/StyleRenderer.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void CreateImageOfStyle(benchmark::State& state, const std::string& format, std::int32_t width = 250,
                        std::int32_t height = 50, std::int32_t codeLength = 5) {
  const auto style = static_cast<std::int32_t>(state.range(0));
  quillgate::CaptchaEngine engine;
  engine.SetTextStyle(style);
  engine.SetFormat(format);
  engine.SetImageWidth(width);
  engine.SetImageHeight(height);
  engine.SetCodeLength(codeLength);
  quillgate::ByteArray out;
  for (auto _ : state) {
    engine.CreateImage({}, out);
    benchmark::DoNotOptimize(out.buffer.get());
  }
  state.counters["bytes"] = static_cast<double>(out.length);
  state.counters["images/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CreateImageJpeg(benchmark::State& state) { CreateImageOfStyle(state, "JPEG"); }
void BM_CreateImagePng(benchmark::State& state) { CreateImageOfStyle(state, "PNG"); }
void BM_CreateImageLarge(benchmark::State& state) { CreateImageOfStyle(state, "JPEG", 4000, 800); }
void BM_CreateImageLongCode(benchmark::State& state) { CreateImageOfStyle(state, "JPEG", 250, 50, 1000); }

// Every style this build draws.
void DrawnStyles(benchmark::internal::Benchmark* bench) {
  for (int style = 0; style < 50; ++style) {
    if (quillgate::CreateStyleRenderer(style)) bench->Arg(style);
  }
  bench->ArgName("style")->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_CreateImageJpeg)->Apply(DrawnStyles);
BENCHMARK(BM_CreateImagePng)->Apply(DrawnStyles);
BENCHMARK(BM_CreateImageLarge)->Apply(DrawnStyles);
BENCHMARK(BM_CreateImageLongCode)->Apply(DrawnStyles);

}  // namespace

namespace {

// Images from one engine shared by several threads, as in a web host: the engine lock
// covers only the settings, so the threads draw in parallel. Real time, images per second.
void BM_SharedEngineImages(benchmark::State& state) {
  static quillgate::CaptchaEngine engine;
  quillgate::ByteArray out;
  for (auto _ : state) {
    engine.CreateImage({}, out);
    benchmark::DoNotOptimize(out.buffer.get());
  }
  state.counters["images/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SharedEngineImages)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
