// Attacks that read the source and rent many addresses, run against the service over real
// HTTP: choosing the easiest challenge, filling the memory store, flooding the log with
// refusals, and fetching a recording's headers to use up its fetches.
#include "HttpServiceSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillgate::service {
namespace {

// No limits, and nothing the request may choose: the server's choice is the point here.
Sites ServerChoosing() {
  json policy = Unlimited();
  policy.erase("client_choice");
  return Sites::Implicit(Policy::FromJson(policy, Policy::Default()));
}

// The attack: a script names the style and size its OCR reads best (style 45 at 400 x 150
// was read 64 % of the time). The server refuses it and says which member a site would
// open; a request that names nothing gets the policy's size and a style of the server's.
TEST(HttpServiceDefences, TheServerChoosesEveryChallengeUnlessTheSiteOpensTheChoice) {
  const KeyRing keys = KeyRing::Generate();
  Server server(keys, {.sites = ServerChoosing()});
  for (const char* asked : {R"({"style":45,"width":400,"height":150})", R"({"width":400})", R"({"format":"png"})"}) {
    const Reply refused = Post(server.Port(), "/api/challenge", asked);
    EXPECT_EQ(refused.status, 400) << asked;
    EXPECT_EQ(refused["error"], "policy") << asked;
    EXPECT_NE(refused["message"].get<std::string>().find("client_choice"), std::string::npos) << refused["message"];
  }
  const Reply given = Challenge(server.Port());
  EXPECT_EQ(given["width"], 250);
  EXPECT_EQ(given["height"], 50);
  EXPECT_EQ(given["image"].get<std::string>().substr(0, 16), "data:image/jpeg;");

  json open = Unlimited();
  open["client_choice"] = {"style"};
  Server choosing(keys, {.sites = Sites::Implicit(Policy::FromJson(open, Policy::Default()))});
  EXPECT_EQ(Challenge(choosing.Port(), {{"style", 45}})["style"], 45);
  EXPECT_EQ(Post(choosing.Port(), "/api/challenge", R"({"style":45,"width":400})").status, 400);
}

// The attack: verifies from many addresses (each within its buckets) fill the memory
// store until every verify, right answers included, is refused. /readyz says so from 90 %
// full, before the refusals start, and /metrics shows how full it is.
TEST(HttpServiceDefences, ANearlyFullMemoryStoreIsNotReady) {
  const KeyRing keys = KeyRing::Generate();
  Server server(keys, {.store = std::make_unique<MemoryReplayStore>(20)});
  const auto spend = [&] {
    const Reply challenge = Challenge(server.Port());
    EXPECT_EQ(Verify(server.Port(), challenge["token"], "WRONG")["error"], "wrong_answer");
  };
  for (int i = 0; i < 17; ++i) spend();
  EXPECT_EQ(Get(server.Port(), "/readyz").status, 200);
  spend();
  const Reply ready = Get(server.Port(), "/readyz");
  EXPECT_EQ(ready.status, 503);
  EXPECT_EQ(ready["store"], "nearly_full");
  const std::string metrics = Get(server.Port(), "/metrics").raw.body();
  EXPECT_NE(metrics.find("\nquillgate_replay_store_entries 18\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("\nquillgate_replay_store_capacity 20\n"), std::string::npos);
  // Not yet full: a visitor's right answer still verifies.
  const Reply visitor = Challenge(server.Port());
  EXPECT_EQ(Verify(server.Port(), visitor["token"], CodeOf(keys, visitor))["success"], true);
}

// The attack: one address sending as fast as it is answered, nearly all of it refused by its
// bucket. Each refusal used to write a log line (4 MB a second); now each kind of refusal
// gets a line a second with the count it stands for, and every refusal is counted once.
TEST(HttpServiceDefences, RefusalsAreSummarisedInTheLogWhileAnswersKeepTheirLines) {
  Server server(KeyRing::Generate(), {.sites = Sites::Implicit(Policy::Default()), .logRequests = true});
  ::testing::internal::CaptureStderr();
  int refused = 0;
  int served = 0;
  {
    test::Client flood(server.Port(), "127.0.0.2");
    const std::string request = RequestText({.target = "/api/challenge", .body = "{}"});
    for (int i = 0; i < 2000; ++i) {
      flood.Send(request);
      const unsigned status = flood.Read().result_int();
      refused += status == 429;
      served += status == 200;
    }
  }
  server.Stop();  // writes the counts still held back
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(refused + served, 2000);
  EXPECT_GE(refused, 1900);
  EXPECT_LE(log.size(), 60'000u);
  std::size_t counted = 0;
  std::size_t servedLines = 0;
  std::size_t start = 0;
  for (std::size_t end = log.find('\n'); end != std::string::npos; start = end + 1, end = log.find('\n', start)) {
    const json line = json::parse(log.substr(start, end - start), nullptr, false);
    ASSERT_TRUE(line.is_object()) << log.substr(start, end - start);
    if (line.value("event", "") == "refused") {
      EXPECT_EQ(line["status"], 429);
      EXPECT_EQ(line["error"], "rate_limited");
      counted += line["count"].get<std::size_t>();
    } else if (line.value("status", 0) == 200) {
      ++servedLines;
    }
  }
  EXPECT_EQ(counted, static_cast<std::size_t>(refused)) << "every refusal counted once";
  EXPECT_EQ(servedLines, static_cast<std::size_t>(served)) << "each answer that succeeds keeps its line";
}

// The attack: HEAD on a recording, which drew the whole recording and counted as one of its
// few fetches. Now it answers the headers only, and the fetches are all still there.
TEST(HttpServiceDefences, HeadOnAudioNeitherDrawsNorCountsAFetch) {
  Server server(KeyRing::Generate(), {});
  const Reply challenge = Challenge(server.Port());
  const std::string audio = challenge["audio"];
  for (int i = 0; i < 5; ++i) {
    test::Client client(server.Port());
    client.Send("HEAD " + audio + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const std::string head = client.ReadToClose(std::chrono::seconds(5));
    EXPECT_EQ(head.substr(0, 12), "HTTP/1.1 200") << head;
    EXPECT_NE(head.find("Content-Type: audio/wav\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("Content-Length"), std::string::npos) << "no length rather than a false one: " << head;
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n") << "headers only";
  }
  for (int i = 0; i < CaptchaService::kAudioFetchesPerToken; ++i) {
    EXPECT_EQ(Get(server.Port(), audio).raw.body().substr(0, 4), "RIFF") << i;
  }
  EXPECT_EQ(Get(server.Port(), audio).status, 410);
}

}  // namespace
}  // namespace quillgate::service
