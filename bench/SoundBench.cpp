// The cost of spelling a code: finding the three resources, one table scan per character and
// two block copies of the clips. Target: a 5-character code in 0.05 ms or less. And the
// service's own recording of a challenge, which stretches, shifts and mixes.
#include "Service/ChallengeAudio.h"
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

// The service's recording of a challenge (GET /api/audio/TOKEN): each letter and each of the
// babble's takes time-stretched and pitch-shifted, mixed and encoded. A new seed each time,
// as each challenge has its own.
void BM_RecordChallengeAudio(benchmark::State& state) {
  const std::string code = std::string("24NWZ7QKX0M3HD9").substr(0, state.range(0));
  quillgate::service::AudioSeed seed{};
  for (auto _ : state) {
    ++seed[0];
    if (seed[0] == 0) ++seed[1];
    const std::vector<unsigned char> wave = quillgate::service::RecordChallengeAudio(code, seed);
    benchmark::DoNotOptimize(wave.data());
  }
}
BENCHMARK(BM_RecordChallengeAudio)->Arg(5)->Arg(8)->Unit(benchmark::kMillisecond);

// Finding a resource walks the loaded modules' program headers and the note segment.
void BM_FindSampleResource(benchmark::State& state) {
  const auto module = quillgate::platform::ThisModule();
  for (auto _ : state) {
    benchmark::DoNotOptimize(quillgate::platform::FindResource(module, "WAVE", 206));
  }
}
BENCHMARK(BM_FindSampleResource);

}  // namespace
