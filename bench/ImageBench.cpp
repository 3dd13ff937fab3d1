// CreateImage from settings to encoded bytes, per drawn style, at the default 250 x 50.
#include "Engine/CaptchaEngine.h"
#include "Styles/StyleRenderer.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void CreateImageOfStyle(benchmark::State& state, const std::string& format) {
  const auto style = static_cast<std::int32_t>(state.range(0));
  quillgate::CaptchaEngine engine;
  engine.SetTextStyle(style);
  engine.SetFormat(format);
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

// Every style this build draws.
void DrawnStyles(benchmark::internal::Benchmark* bench) {
  for (int style = 0; style < 50; ++style) {
    if (quillgate::CreateStyleRenderer(style)) bench->Arg(style);
  }
  bench->ArgName("style")->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_CreateImageJpeg)->Apply(DrawnStyles);
BENCHMARK(BM_CreateImagePng)->Apply(DrawnStyles);

}  // namespace
