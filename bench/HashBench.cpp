// Cost of the hash-value path (a fresh calculator per request, as the engine uses it) and
// raw digest throughput.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "HashAlgorithms/HashCalculator.h"
#include "HashAlgorithms/SHA.h"

namespace {

void BM_HashStringSha512ShortCode(benchmark::State& state) {
  for (auto _ : state) {
    quillgate::CHashCalculator calc;
    std::string hash = calc.HashString("AB3XZ", 6);
    benchmark::DoNotOptimize(hash);
  }
}
BENCHMARK(BM_HashStringSha512ShortCode);

// The digest alone, without the calculator's set-up and the hex text.
void BM_Sha512ShortCode(benchmark::State& state) {
  const unsigned char code[] = {'A', 'B', '3', 'X', 'Z'};
  quillgate::CSHA sha(quillgate::CSHA::SHA512);
  unsigned char out[quillgate::CSHA::kMaxDigestSize];
  for (auto _ : state) {
    sha.AddData(code, sizeof code);
    sha.FinalDigest(out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_Sha512ShortCode);

void BM_Digest1KiB(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  std::vector<unsigned char> data(1024);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7);
  quillgate::CSHA sha(method);
  unsigned char out[quillgate::CSHA::kMaxDigestSize];
  for (auto _ : state) {
    sha.AddData(data.data(), static_cast<std::int32_t>(data.size()));
    sha.FinalDigest(out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(data.size()));
}
BENCHMARK(BM_Digest1KiB)
    ->ArgName("method")
    ->Arg(quillgate::CSHA::SHA512)
    ->Arg(quillgate::CSHA::SHA160)
    ->Arg(quillgate::CSHA::SHA256)
    ->Arg(quillgate::CSHA::SHA384);

}  // namespace
