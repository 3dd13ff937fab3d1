// The cost of the pieces every request pays for: random draws and code generation.
#include "CommonUtilities/RandomSource.h"
#include "Engine/CaptchaEngine.h"

#include <benchmark/benchmark.h>

namespace {

void BM_RandomInt(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(quillgate::RandomInt(256));
}
BENCHMARK(BM_RandomInt);

void BM_GenerateCode(benchmark::State& state) {
  quillgate::CaptchaEngine engine;
  for (auto _ : state) benchmark::DoNotOptimize(engine.GenerateCode());
}
BENCHMARK(BM_GenerateCode);

void BM_ValidateAnswer(benchmark::State& state) {
  const std::string hash = quillgate::CaptchaEngine::ComputeHash("24NWZ");
  for (auto _ : state) benchmark::DoNotOptimize(quillgate::CaptchaEngine::Validate("24NWZ", hash));
}
BENCHMARK(BM_ValidateAnswer);

}  // namespace

