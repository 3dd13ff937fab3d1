// The service's per-request work without the network: drawing and encoding a challenge,
// sealing and opening its token, checking an answer, choosing the settings under a policy,
// taking from a client's bucket.
#include "Service/Challenge.h"
#include "Service/ChallengeAudio.h"
#include "Service/KeyRing.h"
#include "Service/Policy.h"
#include "Service/ProofOfWork.h"
#include "Service/RateLimiter.h"
#include "Service/Token.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

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
  claims.expiresMs = 2'000'000'000'000;
  claims.id = NewTokenId();
  claims.siteKey = "qg_pk_0123456789abcdefghijkl";
  claims.hostname = "shop.example.org";
  for (auto _ : state) {
    benchmark::DoNotOptimize(OpenToken(keys, SealToken(keys, claims), 1'800'000'000'000));
  }
}
BENCHMARK(BM_SealAndOpenToken);

void BM_AnswerMatches(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(AnswerMatches(" k3xq9 ", "K3XQ9"));
}
BENCHMARK(BM_AnswerMatches);

void BM_ChooseSettings(benchmark::State& state) {
  Policy policy = Policy::Default();
  policy.clientChoice.size = policy.clientChoice.length = true;
  const nlohmann::json request = {{"width", 300}, {"length", 6}};
  for (auto _ : state) {
    benchmark::DoNotOptimize(ChooseSettings(policy, request, [](std::int32_t n) { return n / 2; }));
  }
}
BENCHMARK(BM_ChooseSettings);

// One bucket per client, as many clients as the limiter holds by default.
void BM_MemoryRateLimiter(benchmark::State& state) {
  const auto limiter = MakeMemoryRateLimiter();
  const BucketRule rule{1e9, 1e9};
  std::int64_t i = 0;
  for (auto _ : state) {
    const std::string key = "c|site|192.0." + std::to_string((i / 256) % 256) + "." + std::to_string(i % 256);
    benchmark::DoNotOptimize(limiter->Take(key, rule, 1'800'000'000'000 + i));
    ++i;
  }
}
BENCHMARK(BM_MemoryRateLimiter);

Puzzle SamplePuzzle(WorkAlgorithm algorithm) {
  Puzzle puzzle;
  puzzle.issuedMs = 1'800'000'000'000;
  puzzle.expiresMs = puzzle.issuedMs + 120'000;
  puzzle.algorithm = algorithm;
  puzzle.cost = UnitCostOf(algorithm);
  puzzle.range = RangeFor(Policy::Default().work.underLoad);
  puzzle.siteKey = "qg_pk_0123456789abcdefghijkl";
  return puzzle;
}

// What the server spends to issue a puzzle: its targets, one unit of work per search.
void BM_IssuePuzzle(benchmark::State& state) {
  const KeyRing keys = KeyRing::Generate();
  const Puzzle puzzle = SamplePuzzle(static_cast<WorkAlgorithm>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(OfferPuzzle(keys, puzzle));
  state.SetLabel(std::string(NameOf(puzzle.algorithm)));
}
BENCHMARK(BM_IssuePuzzle)
    ->Arg(static_cast<int>(WorkAlgorithm::Pbkdf2Sha256))
    ->Arg(static_cast<int>(WorkAlgorithm::Argon2id))
    ->Unit(benchmark::kMicrosecond);

// What the server spends on a solution, right or made up: the puzzle's MAC, then the
// answers derived from the key and compared. No unit of work is done again.
void BM_CheckProofOfWork(benchmark::State& state) {
  const KeyRing keys = KeyRing::Generate();
  const PuzzleOffer offer = OfferPuzzle(keys, SamplePuzzle(WorkAlgorithm::Pbkdf2Sha256));
  const WorkAnswers madeUp{1, 2, 3, 4};
  for (auto _ : state) {
    const auto opened = OpenPuzzle(keys, offer.text, 1'800'000'000'000);
    benchmark::DoNotOptimize(Solves(keys, std::get<Puzzle>(opened), madeUp));
  }
}
BENCHMARK(BM_CheckProofOfWork)->Unit(benchmark::kMicrosecond);

// One unit of the native solver: what a bot spends per try.
void BM_WorkUnit(benchmark::State& state) {
  const auto algorithm = static_cast<WorkAlgorithm>(state.range(0));
  const WorkSeed seed{7};
  std::uint32_t candidate = 0;
  for (auto _ : state) benchmark::DoNotOptimize(WorkUnit(algorithm, UnitCostOf(algorithm), seed, 0, candidate++));
  state.SetLabel(std::string(NameOf(algorithm)));
}
BENCHMARK(BM_WorkUnit)
    ->Arg(static_cast<int>(WorkAlgorithm::Pbkdf2Sha256))
    ->Arg(static_cast<int>(WorkAlgorithm::Argon2id))
    ->Unit(benchmark::kMicrosecond);

// One challenge's recording: five letters stretched and shifted, babble and noise.
void BM_RecordChallengeAudio(benchmark::State& state) {
  TokenClaims claims;
  claims.code = "K3XQ9";
  for (auto _ : state) {
    claims.id = NewTokenId();
    benchmark::DoNotOptimize(RecordChallengeAudio(claims.code, AudioSeedOf(claims)));
  }
}
BENCHMARK(BM_RecordChallengeAudio)->Unit(benchmark::kMillisecond);

}  // namespace
