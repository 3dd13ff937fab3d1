// The service over real HTTP: a server on a free loopback port, driven by a real client.
// Each attack that the service defends against is run here and its refusal asserted.
#include "HttpServiceSupport.h"


#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sodium.h>

#include <atomic>
#include <set>
#include <thread>

namespace quillgate::service {
namespace {

constexpr std::string_view kShopOrigin = "https://shop.example.org";
constexpr std::string_view kShopKey = "shop_site_key";
constexpr std::string_view kShopSecret = "shop_secret_0123456789_abcdefghijklmnop";
constexpr std::string_view kBlogKey = "blog_site_key";
constexpr std::string_view kBlogSecret = "blog_secret_0123456789_abcdefghijklmnop";

// Two sites; the shop allows only styles 31 and 5 at lengths 5 to 6 and keeps /api/verify
// closed; `extra` is merged into the shop's policy.
Sites TwoSites(const json& extra = json::object()) {
  json shop = {{"styles", {5, 31}}, {"length", {{"min", 5}, {"max", 6}, {"default", 5}}}};
  shop.update(extra);
  const json file = {{"sites",
                      {{{"sitekey", kShopKey}, {"secret", kShopSecret}, {"origins", {kShopOrigin}}, {"policy", shop}},
                       {{"sitekey", kBlogKey},
                        {"secret", kBlogSecret},
                        {"origins", {"https://blog.example.org"}},
                        {"policy", {{"verify_api", true}}}}}}};
  return Sites::Parse(file.dump());
}

// The site's server asking, form-encoded as most sites' code does (a response, a token's
// URL-safe base64 and the answer, needs no escapes).
Reply Form(unsigned short port, const std::string& body) {
  return Exchange(
      port,
      {.target = "/siteverify", .body = body, .contentType = "application/x-www-form-urlencoded"});
}
Reply SiteVerify(unsigned short port, std::string_view secret, const std::string& response) {
  return Form(port, "secret=" + std::string(secret) + "&response=" + response);
}

std::vector<unsigned char> ImageBytes(const Reply& challenge, std::string_view mime) {
  const std::string uri = challenge["image"].get<std::string>();
  const std::string prefix = "data:" + std::string(mime) + ";base64,";
  EXPECT_EQ(uri.substr(0, prefix.size()), prefix);
  std::vector<unsigned char> bytes(uri.size());
  std::size_t length = 0;
  sodium_base642bin(bytes.data(), bytes.size(), uri.data() + prefix.size(), uri.size() - prefix.size(), nullptr,
                    &length, nullptr, sodium_base64_VARIANT_ORIGINAL);
  bytes.resize(length);
  return bytes;
}

class HttpService : public ::testing::Test {
 protected:
  KeyRing keys_ = KeyRing::Generate();
  Server server_{keys_, ServerSetup{}};
  unsigned short port_ = server_.Port();
};

// (The page and its scripts are loaded by the browser tests, whose nosniff refuses a wrong type.)
TEST_F(HttpService, ServesHealthAndMetricsAndJsonErrorsForWrongPathsOrMethods) {
  struct Case {
    http::verb method;
    const char* target;
    int status;
    const char* type;
    const char* contains;
  };
  const Case cases[] = {
      {http::verb::get, "/healthz", 200, "application/json", "\"status\":\"ok\""},
      {http::verb::get, "/readyz", 200, "application/json", "\"status\":\"ready\""},
      {http::verb::get, "/metrics", 200, "text/plain; version=0.0.4; charset=utf-8",
       "# TYPE quillgate_request_duration_seconds histogram"},
      {http::verb::get, "/", 200, "text/html; charset=utf-8", "<script"},
      {http::verb::get, "/nothing", 404, "application/json", "\"error\":\"not_found\""},
      {http::verb::get, "/api/challenge", 405, "application/json",
       "\"error\":\"method_not_allowed\""},
      {http::verb::post, "/", 405, "application/json", "\"error\":\"method_not_allowed\""},
      {http::verb::get, "/api/audio/abc", 404, "application/json", "\"error\":\"malformed\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const Reply reply = Exchange(port_, {.method = c.method, .target = c.target});
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.raw[http::field::content_type], c.type);
    EXPECT_NE(reply.raw.body().find(c.contains), std::string::npos) << reply.raw.body();
    if (c.status == 405) {
      EXPECT_FALSE(reply.raw[http::field::allow].empty());
    }
  }
}

TEST_F(HttpService, ChallengeHasTheImageTheAudioAndASealedToken) {
  const Reply challenge = Challenge(port_, {{"style", 31}});
  const auto jpeg = ImageBytes(challenge, "image/jpeg");
  ASSERT_GT(jpeg.size(), 100u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(challenge["width"], 250);
  EXPECT_EQ(challenge["height"], 50);
  const TokenClaims claims = ClaimsOf(keys_, challenge);
  EXPECT_EQ(claims.code.size(), 5u);
  EXPECT_NEAR(static_cast<double>(claims.expiresMs - claims.issuedMs), 300'000, 1);

  const Reply png = Challenge(port_, {{"style", 31}, {"width", 300}, {"height", 80},
                                      {"format", "png"}, {"length", 8}, {"type", 1}});
  const auto bytes = ImageBytes(png, "image/png");
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ((bytes[16] << 24 | bytes[17] << 16 | bytes[18] << 8 | bytes[19]), 300) << "PNG width";
  EXPECT_EQ((bytes[20] << 24 | bytes[21] << 16 | bytes[22] << 8 | bytes[23]), 80) << "PNG height";
  const std::string letters = CodeOf(keys_, png);
  EXPECT_EQ(letters.size(), 8u);
  EXPECT_EQ(letters.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
}

// The attack: a client asking for an easier challenge than the operator allows (the
// one-digit code that a blind guess solves one time in ten), or a costlier one. Each is
// refused as it stands, never brought into range and served; what is not a settings object
// at all is refused as malformed. The message names what the site allows.
TEST_F(HttpService, RequestsWeakerOrLargerThanThePolicyAreRefused) {
  struct Case { const char* body; const char* error; const char* message; };
  const Case cases[] = {
      {R"({"length":1,"type":2})", "policy", "length 1 is outside this site's policy (5 to 8)"},
      {R"({"type":2})", "policy", "type 2 is not allowed by this site's policy (allowed: 0, 1)"},
      // Past 32 bits: refused, never wrapped (2^32 + 6 would wrap to 6, -2^32 + 400 to 400).
      {R"({"length":4294967302})", "policy", "length 4294967302 is outside"},
      {R"({"style":4294967299})", "policy", "style 4294967299 is not allowed"},
      {R"({"style":50})", "policy", "style 50 is not allowed by this site's policy (allowed: 0, "},
      {R"({"width":1000})", "policy", "width 1000 is outside this site's policy (120 to 400)"},
      {R"({"height":400})", "policy", "height 400 is outside this site's policy (40 to 150)"},
      {R"({"format":"bmp"})", "policy", "format BMP is not allowed by this site's policy"},
      {R"({"format":"webp"})", "policy", "format is not a picture format"},
      {"[1]", "bad_request", "must be a JSON object"},
      {"{\"style\":", "bad_request", "must be a JSON object"},
      {R"({"colour":1})", "bad_request", "unknown member"},
      {R"({"width":"200"})", "bad_request", "width must be a whole number"},
      {R"({"format":1})", "bad_request", "format must be a string"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    const Reply reply = Post(port_, "/api/challenge", c.body);
    EXPECT_EQ(reply.status, 400);
    EXPECT_EQ(reply["error"], c.error);
    EXPECT_NE(reply["message"].dump().find(c.message), std::string::npos) << reply["message"];
  }
}

// Without a sites file, any page may ask.
TEST_F(HttpService, EachChallengeDrawsItsStyleAtRandomFromThePolicy) {
  std::set<int> styles;
  for (int i = 0; i < 12; ++i) {
    const Reply reply = Challenge(port_, {{"width", 120}, {"height", 40}}, "https://a.example.net");
    styles.insert(reply["style"].get<int>());
  }
  EXPECT_GE(styles.size(), 6u) << "twelve challenges, all 50 styles allowed";
}

TEST_F(HttpService, EachTokenVerifiesOnceRightOrWrongAndTheReplySaysWhatWasAsked) {
  const json asked = {{"style", 5}, {"length", 6}, {"type", 1}, {"width", 200}, {"height", 60}};
  const Reply first = Challenge(port_, asked);
  const std::string code = CodeOf(keys_, first);
  const Reply wrong = Verify(port_, first["token"], code + "X");
  EXPECT_EQ(wrong["success"], false);
  EXPECT_EQ(wrong["error"], "wrong_answer");
  EXPECT_EQ(Verify(port_, first["token"], code)["error"], "used");

  const Reply second = Challenge(port_, asked);
  std::string answer = CodeOf(keys_, second);
  for (char& c : answer) c = static_cast<char>(c - 'A' + 'a');
  const Reply right = Verify(port_, second["token"], "  " + answer + "\t");
  EXPECT_EQ(right["success"], true);
  EXPECT_EQ(right["error"], nullptr);
  json told = asked;
  told.update({{"sitekey", "default"}, {"hostname", ""}});
  for (const auto& [name, value] : told.items()) {
    EXPECT_EQ(right[name], value) << name;
  }
  EXPECT_EQ(right["challenge_ts"].get<std::string>().size(), 24u) << right["challenge_ts"];
  EXPECT_EQ(Verify(port_, second["token"], answer)["error"], "used");
}

TEST_F(HttpService, BadTokensEachGetTheirOwnErrorAndUseNothingUp) {
  const Server other(keys_, {});
  const Reply challenge = Challenge(port_);
  const std::string token = challenge["token"];
  const std::string code = CodeOf(keys_, challenge);
  std::string tampered = token;
  tampered[40] = tampered[40] == 'A' ? 'B' : 'A';
  const std::string foreign = SealToken(KeyRing::Generate(), ClaimsOf(keys_, challenge));
  struct Case { std::string token; const char* error; };
  for (const Case& c : {Case{tampered, "tampered"}, Case{foreign, "unknown_key"}, Case{"", "malformed"},
                        Case{"%%%", "malformed"}, Case{token.substr(0, 10), "malformed"}}) {
    EXPECT_EQ(Verify(port_, c.token, code)["error"], c.error) << c.error;
  }
  // A server of the same keys, up before the token was issued, but with a memory of its
  // own: it cannot know the token unused.
  EXPECT_EQ(Verify(other.Port(), token, code)["error"], "expired");
  EXPECT_EQ(Verify(port_, token, code)["success"], true);

  const Reply later = Challenge(port_);
  server_.Skew(std::chrono::minutes(5));
  EXPECT_EQ(Verify(port_, later["token"], CodeOf(keys_, later))["error"], "expired");
  EXPECT_EQ(Get(port_, later["audio"]).status, 410);
}

// The attacks: fetch one recording many times (to average it, or to try a recogniser on
// it again and again), or fetch it after the token is spent.
TEST_F(HttpService, AudioIsTheSameOnEachOfAFewFetchesAndNeverAfterTheAnswer) {
  const Reply challenge = Challenge(port_);
  const Reply first = Get(port_, challenge["audio"]);
  EXPECT_EQ(first.raw.body().substr(0, 4), "RIFF");
  const Reply second = Get(port_, challenge["audio"]);
  EXPECT_EQ(second.raw.body(), first.raw.body()) << "averaging fetches must gain nothing";
  for (int i = 2; i < CaptchaService::kAudioFetchesPerToken; ++i) EXPECT_EQ(Get(port_, challenge["audio"]).status, 200);
  const Reply over = Get(port_, challenge["audio"]);
  EXPECT_EQ(over.status, 410);
  EXPECT_EQ(over["error"], "audio_exhausted");

  const Reply answered = Challenge(port_);
  ASSERT_EQ(Verify(port_, answered["token"], CodeOf(keys_, answered))["success"], true);
  const Reply after = Get(port_, answered["audio"]);
  EXPECT_EQ(after.status, 410);
  EXPECT_EQ(after["error"], "used");
}

// The old store kept a place for every challenge until it expired, so a client asking
// for challenges and never answering filled it and locked every visitor out.
TEST(HttpServiceStores, ChallengesTakeNoRoomInTheReplayStore) {
  const KeyRing keys = KeyRing::Generate();
  Server server(keys, {.store = std::make_unique<MemoryReplayStore>(10)});
  test::Client script(server.Port());  // one kept-alive connection, as a script would use
  const std::string body = R"({"width":120,"height":40,"style":31})";
  const std::string request = RequestText({.target = "/api/challenge", .body = body});
  for (int i = 0; i < 1000; ++i) {
    script.Send(request);
    const test::Response reply = script.Read();
    ASSERT_EQ(reply.result_int(), 200u) << i << ": " << reply.body();
  }
  const Reply challenge = Challenge(server.Port());
  EXPECT_EQ(Verify(server.Port(), challenge["token"], CodeOf(keys, challenge))["success"], true);
}

TEST(HttpServiceLimits, AClientsBucketRefusesWith429ThenRefills) {
  // 30 challenges a minute, bursts of 10.
  Server server(KeyRing::Generate(), {.sites = Sites::Implicit(Policy::Default())});
  const std::string small = "{}";
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Post(server.Port(), "/api/challenge", small).status, 200) << i;
  const Reply limited = Post(server.Port(), "/api/challenge", small);
  EXPECT_EQ(limited.status, 429);
  EXPECT_EQ(limited["error"], "rate_limited");
  EXPECT_EQ(limited.raw[http::field::retry_after], "2");
  // Another client is not affected.
  EXPECT_EQ(Post(server.Port(), "/api/challenge", small, {}, "127.0.0.9").status, 200);
  server.Skew(std::chrono::seconds(2));
  EXPECT_EQ(Post(server.Port(), "/api/challenge", small).status, 200);
  EXPECT_EQ(Post(server.Port(), "/api/challenge", small).status, 429);
}

// The attack: one client keeps several of the heaviest allowed challenges in flight; a
// visitor's challenges still come back (the pool takes clients in turn, and the flooder
// may have only a few jobs at once).
TEST(HttpServiceLimits, AHeavyFloodLeavesAVisitorServed) {
  // Fewer places per client than the flooder has connections.
  Server server(KeyRing::Generate(), {.renderThreads = 1, .renderPerClient = 2});
  std::atomic<bool> stop{false};
  std::atomic<int> refused{0};
  std::vector<std::thread> flood;
  for (int t = 0; t < 4; ++t) {
    flood.emplace_back([&] {
      for (int i = 0; i < 200 && !stop; ++i) {
        const int status = Post(server.Port(), "/api/challenge", R"({"style":7,"width":400,"height":150,"length":8})",
                                {}, "127.0.0.2").status;
        if (status == 429) ++refused;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Post(server.Port(), "/api/challenge", R"({"style":31})", {}, "127.0.0.3").status, 200);
  }
  stop = true;
  for (auto& thread : flood) thread.join();
  EXPECT_GT(refused.load(), 0) << "the flooder's extra jobs are refused";
}

TEST(HttpServiceLimits, AFullRenderQueueAnswers503AtOnce) {
  Server server(KeyRing::Generate(), {.renderThreads = 1, .renderQueue = 1});
  std::atomic<int> busy{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 6; ++t) {
    clients.emplace_back([&, t] {
      const std::string from = "127.0.1." + std::to_string(t + 1);
      for (int i = 0; i < 5; ++i) {
        const Reply reply = Post(server.Port(), "/api/challenge", R"({"style":7,"width":400,"height":150})", {}, from);
        if (reply.status == 503 && reply["error"] == "busy") ++busy;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_GT(busy.load(), 0);
}

class HttpServiceSites : public ::testing::Test {
 protected:
  Reply ShopChallenge() {
    return Challenge(server_.Port(), {{"sitekey", kShopKey}}, std::string(kShopOrigin));
  }
  static std::string ResponseFor(const Reply& challenge, const std::string& answer) {
    return challenge["token"].get<std::string>() + "." + answer;
  }

  KeyRing keys_ = KeyRing::Generate();
  Server server_{keys_, {.sites = TwoSites()}};
};

// The demo page asks for the implicit site's challenges, which a server with a sites file
// does not give: it would only fail. The widget is what sites' pages load.
TEST_F(HttpServiceSites, ServeTheWidgetButNoDemoPage) {
  for (const char* page : {"/", "/index.html", "/demo.js"}) {
    EXPECT_EQ(Get(server_.Port(), page).status, 404) << page;
  }
  EXPECT_EQ(Get(server_.Port(), "/quillgate.js").status, 200);
}

// The counters tell an attacker which defence is refusing him and how close the store is
// to full: on a listener of their own, the public one does not serve them.
TEST(HttpServiceMetrics, CanBeServedOnlyOnAListenerOfTheirOwn) {
  Server server(KeyRing::Generate(), {.metricsOnMainListener = false});
  HttpServer metrics("127.0.0.1", 0, {}, [&](Request&& request, const Peer& peer, Responder respond) {
    server.Service().HandleMetrics(std::move(request), peer, std::move(respond));
  });
  metrics.Start(1);
  EXPECT_EQ(Get(server.Port(), "/metrics").status, 404);
  EXPECT_EQ(Get(server.Port(), "/healthz").status, 200);
  const Reply counters = Get(metrics.Port(), "/metrics");
  EXPECT_EQ(counters.status, 200);
  EXPECT_NE(counters.raw.body().find("# TYPE quillgate_request_duration_seconds histogram"), std::string::npos);
  for (const char* other : {"/", "/healthz", "/quillgate.js"}) EXPECT_EQ(Get(metrics.Port(), other).status, 404);
  EXPECT_EQ(Post(metrics.Port(), "/api/challenge", "{}").status, 404);
}

TEST_F(HttpServiceSites, SiteverifyAnswersInTheUsualShape) {
  const Reply challenge = ShopChallenge();
  const std::string code = CodeOf(keys_, challenge);
  const Reply ok = SiteVerify(server_.Port(), kShopSecret, ResponseFor(challenge, code));
  EXPECT_EQ(ok["success"], true) << ok.body;
  EXPECT_EQ(ok["error-codes"], json::array());
  EXPECT_EQ(ok["hostname"], "shop.example.org");
  EXPECT_EQ(ok["sitekey"], kShopKey);
  // No style was asked for: the one drawn must be one the shop allows.
  EXPECT_TRUE(ok["style"] == 5 || ok["style"] == 31) << ok.body;

  // JSON works the same, and a wrong answer uses the token up: the right one then comes too
  // late, as a replay does.
  const Reply second = ShopChallenge();
  const json request = {{"secret", kShopSecret}, {"response", ResponseFor(second, "WRONG")}, {"remoteip", "192.0.2.1"}};
  const Reply wrong = Post(server_.Port(), "/siteverify", request.dump());
  EXPECT_EQ(wrong["success"], false);
  EXPECT_EQ(wrong["error-codes"], json{"invalid-input-response"});
  EXPECT_EQ(SiteVerify(server_.Port(), kShopSecret,
                       ResponseFor(second, CodeOf(keys_, second)))["error-codes"],
            json{"timeout-or-duplicate"});
}

TEST_F(HttpServiceSites, SiteverifyRefusesWrongSecretsAndOtherSitesTokens) {
  const Reply challenge = ShopChallenge();
  const std::string response = ResponseFor(challenge, CodeOf(keys_, challenge));
  const std::string shop = "secret=" + std::string(kShopSecret);
  struct Case { std::string body; const char* error; };
  const Case cases[] = {
      {"response=" + response, "missing-input-secret"},
      {"secret=wrong_secret_0123456789_abcdefghijklmnop&response=" + response, "invalid-input-secret"},
      {shop, "missing-input-response"},
      {shop + "&response=" + challenge["token"].get<std::string>(), "invalid-input-response"},
      {shop + "&response=garbage.ABCDE", "invalid-input-response"},
      // Site B's server with site A's token: not B's to accept, nor to spend.
      {"secret=" + std::string(kBlogSecret) + "&response=" + response, "invalid-input-response"},
      {"secret=%zz", "bad-request"},
  };
  for (const Case& c : cases) {
    const Reply reply = Form(server_.Port(), c.body);
    EXPECT_EQ(reply["success"], false) << c.body;
    EXPECT_EQ(reply["error-codes"], json{c.error}) << c.body;
  }
  EXPECT_EQ(SiteVerify(server_.Port(), kShopSecret, response)["success"], true)
      << "none of them spent it";
}

TEST_F(HttpServiceSites, ChallengesNeedAKnownSiteAndOneOfItsOrigins) {
  const unsigned short port = server_.Port();
  const std::string origin(kShopOrigin);
  EXPECT_EQ(Post(port, "/api/challenge", "{}", origin)["error"], "missing_sitekey");
  EXPECT_EQ(Post(port, "/api/challenge", R"({"sitekey":"nobody_has_this"})")["error"],
            "invalid_sitekey");
  const std::string shop = json{{"sitekey", kShopKey}}.dump();
  const Reply foreign = Post(port, "/api/challenge", shop, "https://evil.example.net");
  EXPECT_EQ(foreign.status, 403);
  EXPECT_EQ(foreign["error"], "origin_not_allowed");
  EXPECT_TRUE(foreign.raw[http::field::access_control_allow_origin].empty());
  const Reply own = Post(port, "/api/challenge", shop, origin);
  EXPECT_EQ(own.status, 200);
  EXPECT_EQ(own.raw[http::field::access_control_allow_origin], origin);

  // The browser's preflight names the site in the query.
  const std::string target = "/api/challenge?sitekey=" + std::string(kShopKey);
  const Reply preflight =
      Exchange(port, {.method = http::verb::options, .target = target, .origin = origin});
  EXPECT_EQ(preflight.status, 204);
  EXPECT_EQ(preflight.raw[http::field::access_control_allow_origin], origin);
}

TEST_F(HttpServiceSites, VerifyApiIsOpenOnlyWhereThePolicySaysSo) {
  const Reply shop = ShopChallenge();
  const Reply closed = Verify(server_.Port(), shop["token"], CodeOf(keys_, shop));
  EXPECT_EQ(closed.status, 403);
  EXPECT_EQ(closed["error"], "verify_api_off");
  const Reply blog = Challenge(server_.Port(), {{"sitekey", kBlogKey}}, "https://blog.example.org");
  EXPECT_EQ(Verify(server_.Port(), blog["token"], CodeOf(keys_, blog))["success"], true);
}

// The attack: a Redis that hangs (SIGSTOP) must not hang the service with it. Every request
// is refused, and after the first timeout at once: a busy server is not held up once per
// request (a bound against hanging, not a measure of speed), nor its log flooded.
TEST(HttpServiceRedis, AStoppedRedisFailsClosedQuicklyWhileHealthzStaysUp) {
  test::RedisServer redis;
  const KeyRing keys = KeyRing::Generate();
  // The default policy: its buckets live in Redis too, so a challenge needs Redis.
  Stores stores = MakeStores(redis.Url(), 0);
  Server server(keys, {.sites = Sites::Implicit(Policy::Default()),
                       .store = std::move(stores.replay),
                       .limiter = std::move(stores.limiter)});
  const Reply challenge = Challenge(server.Port());
  redis.Pause();
  ::testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  const Reply verify = Verify(server.Port(), challenge["token"], CodeOf(keys, challenge));
  EXPECT_EQ(verify.status, 503);
  EXPECT_EQ(verify["error"], "store_unavailable");
  for (int i = 0; i < 20; ++i) {
    const Reply refused = Post(server.Port(), "/api/challenge", "{}");
    EXPECT_EQ(refused.status, 503) << "no challenge is issued that could never verify";
    EXPECT_EQ(refused["error"], "store_unavailable");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  const std::string log = ::testing::internal::GetCapturedStderr();
  const std::string event = "\"event\":\"store_error\"";
  std::size_t errors = 0;
  for (auto at = log.find(event); at != std::string::npos; at = log.find(event, at + 1)) ++errors;
  EXPECT_GE(errors, 1u) << log;
  EXPECT_LE(errors, 4u) << "one line a second at most:\n" << log;
  EXPECT_EQ(Get(server.Port(), "/healthz").status, 200);
  const Reply ready = Get(server.Port(), "/readyz");
  EXPECT_EQ(ready.status, 503);
  EXPECT_EQ(ready["store"], "unreachable");
  redis.Resume();
  // Back once Redis answers (after the short cool-down).
  EXPECT_TRUE(test::Eventually([&] { return Get(server.Port(), "/readyz").status == 200; }));
}

}  // namespace
}  // namespace quillgate::service
