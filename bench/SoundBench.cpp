// The cost of spelling a code: finding the three resources, one table scan per character and
// two block copies of the clips. Target: a 5-character code in 0.05 ms or less.
#include "Sound/SoundGenerator.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_GenerateWave(benchmark::State& state) {
  const std::string code = std::string("24NWZ7QKX0M3HD9").substr(0, state.range(0));
  std::int64_t bytes = 0;
  for (auto _ : state) {
    quillgate::ByteArray out;
    quillgate::SoundGenerator().GenerateWave(code, out);
    benchmark::DoNotOptimize(out.buffer.get());
    bytes += out.length;
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_GenerateWave)->Arg(5)->Arg(15);

// Finding a resource walks the loaded modules' program headers and the note segment.
void BM_FindSampleResource(benchmark::State& state) {
  const auto module = quillgate::platform::ThisModule();
  for (auto _ : state) {
    benchmark::DoNotOptimize(quillgate::platform::FindResource(module, "WAVE", 206));
  }
}
BENCHMARK(BM_FindSampleResource);

}  // namespace
