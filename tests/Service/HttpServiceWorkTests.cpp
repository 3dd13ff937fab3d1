// Proof of work over real HTTP, tried as a bot would skip, cheapen or replay it, and as a
// flood from many networks meets it when the server is under load.
#include "HttpServiceSupport.h"

#include "Service/ProofOfWork.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

namespace quillgate::service {
namespace {

constexpr std::string_view kOrigin = "https://shop.example.org";
constexpr std::string_view kKey = "shop_site_key";

// One site; `policy` is merged over a policy without buckets.
Sites ShopWith(const json& policy) {
  json merged = Unlimited();
  merged.update(policy);
  return Sites::Parse(json{{"sites",
                            {{{"sitekey", kKey},
                              {"secret", "shop_secret_0123456789_abcdefghijklmnop"},
                              {"origins", {kOrigin}},
                              {"policy", merged}}}}}
                          .dump());
}

Reply PuzzleOf(const Server& server) {
  return Get(server.Port(), "/api/puzzle?sitekey=" + std::string(kKey), std::string(kOrigin));
}

Reply ChallengeWith(const Server& server, const json& work, const std::string& from = "127.0.0.1") {
  json body = {{"sitekey", kKey}};
  if (!work.is_null()) body["pow"] = work;
  return Post(server.Port(), "/api/challenge", body.dump(), std::string(kOrigin), from);
}

// What a visitor's widget sends: the puzzle solved by a search of its own.
json Solved(const Reply& puzzle) {
  const PuzzleOffer offer = OfferFromJson(puzzle.body);
  return {{"puzzle", offer.text}, {"solution", SolvePuzzle(offer).answers}};
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TEST(HttpServiceWork, EachChallengeNeedsItsOwnFreshSolvedPuzzleOfTheSitesWork) {
  const KeyRing keys = KeyRing::Generate();
  Server server(keys, {.sites = ShopWith({{"pow", {{"units", 40}}}})});
  const auto refusal = [&](const json& work) {
    const Reply reply = ChallengeWith(server, work);
    EXPECT_EQ(reply.status, 403) << reply.raw.body();
    return reply["error"];
  };
  const Reply puzzle = PuzzleOf(server);
  ASSERT_EQ(puzzle.status, 200) << puzzle.raw.body();
  EXPECT_EQ(puzzle["units"], 40);
  EXPECT_EQ(puzzle["algorithm"], "pbkdf2-sha256");
  const json work = Solved(puzzle);

  EXPECT_EQ(refusal(nullptr), "pow_required");
  for (const json& malformed : {json("1234"), json{{"puzzle", work["puzzle"]}},
                                json{{"puzzle", work["puzzle"]}, {"solution", {1, 2, 3}}},
                                json{{"puzzle", work["puzzle"]}, {"solution", {1, 2, 3, -4}}},
                                json{{"puzzle", work["puzzle"]}, {"solution", {1, 2, 3, 4294967296}}}}) {
    EXPECT_EQ(refusal(malformed), "pow_invalid") << malformed.dump();
  }
  json wrong = work;
  wrong["solution"][3] = work["solution"][3].get<int>() + 1;
  EXPECT_EQ(refusal(wrong), "pow_wrong");
  EXPECT_EQ(ChallengeWith(server, work).status, 200);
  EXPECT_EQ(refusal(work), "pow_used");

  // A puzzle of its own making, an easier or another algorithm's under the server's key,
  // or another site's: each solved, each refused.
  const auto sealed = [&](const KeyRing& under, std::int32_t units, WorkAlgorithm algorithm, std::string site) {
    Puzzle made{.issuedMs = NowMs(), .expiresMs = NowMs() + 60'000, .algorithm = algorithm,
                .cost = UnitCostOf(algorithm), .range = RangeFor(units), .siteKey = std::move(site)};
    const PuzzleOffer offer = OfferPuzzle(under, made);
    return json{{"puzzle", offer.text}, {"solution", SolvePuzzle(offer).answers}};
  };
  EXPECT_EQ(refusal(sealed(KeyRing::Generate(), 40, WorkAlgorithm::Pbkdf2Sha256, std::string(kKey))), "pow_invalid");
  EXPECT_EQ(refusal(sealed(keys, 20, WorkAlgorithm::Pbkdf2Sha256, std::string(kKey))), "pow_too_easy");
  EXPECT_EQ(refusal(sealed(keys, 40, WorkAlgorithm::Argon2id, std::string(kKey))), "pow_too_easy");
  EXPECT_EQ(refusal(sealed(keys, 40, WorkAlgorithm::Pbkdf2Sha256, "blog_site_key")), "pow_invalid");

  // Solved, but kept past its time.
  const json late = Solved(PuzzleOf(server));
  server.Skew(std::chrono::milliseconds(CaptchaService::kPuzzleTtlMs));
  EXPECT_EQ(refusal(late), "pow_expired");
}

// Each puzzle costs the server its targets' work: a client that asks for puzzles it never
// solves runs out of them, and that leaves its challenges alone.
TEST(HttpServiceWork, PuzzlesHaveABucketOfTheirOwn) {
  Server server(KeyRing::Generate(),
                {.sites = ShopWith({{"pow", {{"units", 8}}}, {"limits", {{"puzzle", {{"per_minute", 1}, {"burst", 3}}}}}})});
  std::map<int, int> statuses;
  for (int i = 0; i < 30; ++i) ++statuses[PuzzleOf(server).status];
  EXPECT_EQ(statuses[200], 3);
  EXPECT_EQ(statuses[429], 27);
  server.Skew(std::chrono::minutes(1));
  const Reply puzzle = PuzzleOf(server);
  ASSERT_EQ(puzzle.status, 200);
  EXPECT_EQ(ChallengeWith(server, Solved(puzzle)).status, 200);
  // A site that never asks work hands out no puzzle.
  Server never(KeyRing::Generate(), {.sites = ShopWith(json::object())});
  EXPECT_EQ(PuzzleOf(never).body, json({{"units", 0}}));
}

// The attack: 40 addresses, each in a network of its own and each within its buckets, ask
// for 10 challenges at once of a site that asks no work. Once the render pool is more than
// half busy every challenge needs work, so most of the flood is refused at the cost of a
// reply; a visitor who does the work still gets a challenge.
TEST(HttpServiceWork, UnderLoadAFloodWithoutWorkIsRefusedAndAVisitorWhoWorksIsServed) {
  Server server(KeyRing::Generate(), {.sites = ShopWith({{"pow", {{"under_load", 20}}}})});
  std::mutex mutex;
  std::map<std::string, int> outcomes;
  std::vector<std::thread> addresses;
  std::atomic<bool> go{false};
  const std::string request = RequestText({.target = "/api/challenge",
                                           .body = json{{"sitekey", kKey}}.dump(),
                                           .origin = std::string(kOrigin)});
  for (int a = 0; a < 40; ++a) {
    addresses.emplace_back([&, a] {
      const std::string from = "127.0." + std::to_string(a + 1) + ".1";
      std::vector<std::unique_ptr<test::Client>> clients;
      for (int i = 0; i < 10; ++i) clients.push_back(std::make_unique<test::Client>(server.Port(), from.c_str()));
      while (!go) std::this_thread::yield();
      for (auto& client : clients) client->Send(request);
      for (auto& client : clients) {
        const test::Response reply = client->Read();
        const json body = json::parse(reply.body(), nullptr, false);
        const std::scoped_lock lock(mutex);
        ++outcomes[std::to_string(reply.result_int()) + " " + (body.is_object() ? body.value("error", "") : "")];
      }
    });
  }
  go = true;
  // The visitor meanwhile, as the widget does it: refused, then a puzzle, solved, and again.
  bool served = false;
  for (int attempt = 0; attempt < 5 && !served; ++attempt) {
    Reply reply = ChallengeWith(server, nullptr, "127.1.0.1");
    if (reply.status == 403 && reply["error"] == "pow_required") {
      const Reply puzzle = Get(server.Port(), "/api/puzzle?sitekey=" + std::string(kKey), std::string(kOrigin));
      reply = ChallengeWith(server, puzzle["units"] == 0 ? json() : Solved(puzzle), "127.1.0.1");
    }
    served = reply.status == 200;
  }
  for (auto& thread : addresses) thread.join();
  EXPECT_TRUE(served);
  int total = 0;
  for (const auto& [outcome, count] : outcomes) total += count;
  EXPECT_EQ(total, 400);
  EXPECT_GE(outcomes["403 pow_required"], 200) << ::testing::PrintToString(outcomes);
}

// A table of connections nearly full (slow clients from many addresses) asks work of every
// challenge too, more the fuller it is; once they are gone, the site's own rule is back.
TEST(HttpServiceWork, ANearlyFullConnectionTableAsksWorkThatGrowsWithIt) {
  ServerLimits limits;
  limits.maxConnections = 32;
  Server server(KeyRing::Generate(), {.sites = ShopWith({{"pow", {{"under_load", 40}}}}), .limits = limits});
  // Idle, the site asks no work, but a puzzle asked for is the under-load one: the load that
  // refused a visitor may be back when it asks again.
  EXPECT_EQ(ChallengeWith(server, nullptr).status, 200);
  EXPECT_EQ(PuzzleOf(server)["units"], 40);
  std::vector<std::unique_ptr<test::Client>> idle;
  for (int i = 0; i < 29; ++i) {
    idle.push_back(std::make_unique<test::Client>(server.Port(), ("127.0." + std::to_string(i + 1) + ".2").c_str()));
  }
  // 29 idle and the request's own: 30 of 32 (31 while the last one closes), a growth of a
  // half to three quarters.
  while (server.Connections() < 29) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const Reply refused = ChallengeWith(server, nullptr);
  EXPECT_EQ(refused.status, 403);
  EXPECT_NE(refused["message"].get<std::string>().find("under load"), std::string::npos);
  const Reply puzzle = PuzzleOf(server);
  EXPECT_GE(puzzle["units"], 60);
  EXPECT_LE(puzzle["units"], 72);
  EXPECT_EQ(ChallengeWith(server, Solved(puzzle)).status, 200);
  idle.clear();
  while (server.Connections() > 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(ChallengeWith(server, nullptr).status, 200);
}

}  // namespace
}  // namespace quillgate::service
