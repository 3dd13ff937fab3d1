// The service's per-request work without the network: drawing and encoding a challenge,
// sealing and opening its token, checking an answer.
#include "Service/Challenge.h"
#include "Service/KeyRing.h"
#include "Service/Token.h"

#include <benchmark/benchmark.h>

namespace {

using namespace quillgate::service;

void BM_ServiceRenderImage(benchmark::State& state) {
  ImageSettings settings;
  settings.style = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(RenderImage(GenerateCode(5, 0), settings));
  }
}
BENCHMARK(BM_ServiceRenderImage)->Arg(31)->Arg(38)->UseRealTime()->ThreadRange(1, 2);

void BM_SealAndOpenToken(benchmark::State& state) {
  const KeyRing keys = KeyRing::Generate();
  TokenClaims claims;
  claims.code = "K3XQ9";
  claims.expires = 2'000'000'000;
  claims.id = NewTokenId();
  for (auto _ : state) {
    benchmark::DoNotOptimize(OpenToken(keys, SealToken(keys, claims), 1'800'000'000));
  }
}
BENCHMARK(BM_SealAndOpenToken);

void BM_AnswerMatches(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(AnswerMatches(" k3xq9 ", "K3XQ9"));
}
BENCHMARK(BM_AnswerMatches);

}  // namespace
