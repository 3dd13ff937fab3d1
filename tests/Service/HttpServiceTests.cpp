// The service over real HTTP: a server on a free loopback port, driven by a real client.
// Each attack that the service defends against is run here and its refusal asserted.
#include "Service/CaptchaService.h"
#include "Service/HttpServer.h"
#include "Service/MemoryReplayStore.h"
#include "Service/ProofOfWork.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sodium.h>

#include <atomic>
#include <set>
#include <thread>

namespace quillgate::service {
namespace {

namespace net = boost::asio;
namespace http = boost::beast::http;
using nlohmann::json;
using tcp = net::ip::tcp;

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

// A policy without limits, for tests about something else.
json Unlimited() {
  const json none = {{"per_minute", 0}, {"burst", 1}};
  return {{"verify_api", true}, {"limits", {{"challenge", none}, {"audio", none}, {"verify", none}}}};
}

struct ServerSetup {
  Sites sites = Sites::Implicit(Policy::FromJson(Unlimited(), Policy::Default()));
  std::unique_ptr<ReplayStore> store = std::make_unique<MemoryReplayStore>(1000);
  std::unique_ptr<RateLimiter> limiter = MakeMemoryRateLimiter();
  ServerLimits limits = Quick();
  int renderThreads = 2;
  std::size_t renderQueue = 64;
  std::size_t renderPerClient = 8;

  static ServerLimits Quick() {
    ServerLimits limits;
    limits.headerTimeout = std::chrono::milliseconds(800);
    limits.idleTimeout = std::chrono::milliseconds(800);
    return limits;
  }
};

// A server of its own with a clock the test can move.
class Server {
 public:
  Server(const KeyRing& keys, ServerSetup setup) {
    ServiceOptions options;
    options.logRequests = false;
    options.renderThreads = setup.renderThreads;
    options.renderQueue = setup.renderQueue;
    options.renderPerClient = setup.renderPerClient;
    options.clock = [this] { return std::chrono::system_clock::now() + std::chrono::milliseconds(skewMs_.load()); };
    auto config = std::make_shared<const ServiceConfig>(ServiceConfig{keys, std::move(setup.sites)});
    service_ = std::make_unique<CaptchaService>(config, Stores{std::move(setup.store), std::move(setup.limiter)},
                                                options);
    server_ = std::make_unique<HttpServer>("127.0.0.1", 0, setup.limits,
                                           [this](Request&& r, const Peer& p, Responder respond) {
                                             service_->Handle(std::move(r), p, std::move(respond));
                                           });
    server_->Start(2);
  }
  [[nodiscard]] unsigned short Port() const { return server_->Port(); }
  void Skew(std::chrono::milliseconds by) { skewMs_ += by.count(); }

 private:
  std::atomic<std::int64_t> skewMs_{0};
  std::unique_ptr<CaptchaService> service_;
  std::unique_ptr<HttpServer> server_;
};

struct Reply {
  int status = 0;
  json body;
  http::response<http::string_body> raw;
};

// One request on a new connection from `from` (a loopback address of the client's own).
struct Send {
  http::verb method;
  std::string target;
  std::string body;
  std::string contentType;
  std::string origin;
  std::string from;
};
Send Ask(http::verb method, std::string target, std::string body = {},
             std::string contentType = "application/json", std::string origin = {}, std::string from = "127.0.0.1") {
  return {method, std::move(target), std::move(body), std::move(contentType), std::move(origin), std::move(from)};
}

Reply Exchange(unsigned short port, const Send& send) {
  net::io_context io;
  tcp::socket socket(io);
  socket.open(tcp::v4());
  socket.bind(tcp::endpoint(net::ip::make_address(send.from), 0));
  socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
  boost::beast::tcp_stream stream(std::move(socket));
  stream.expires_after(std::chrono::seconds(30));
  http::request<http::string_body> request{send.method, send.target, 11};
  request.set(http::field::host, "127.0.0.1");
  if (!send.origin.empty()) request.set(http::field::origin, send.origin);
  if (send.method == http::verb::post) {
    request.set(http::field::content_type, send.contentType);
    request.body() = send.body;
    request.prepare_payload();
  }
  http::write(stream, request);
  boost::beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(64 * 1024 * 1024);
  if (send.method == http::verb::head) parser.skip(true);
  http::read(stream, buffer, parser);
  Reply reply;
  reply.raw = parser.release();
  reply.status = static_cast<int>(reply.raw.result_int());
  reply.body = json::parse(reply.raw.body(), nullptr, false);
  return reply;
}

Reply Post(unsigned short port, const std::string& target, const std::string& body, std::string origin = {},
           std::string from = "127.0.0.1") {
  return Exchange(port, Ask(http::verb::post, target, body, "application/json", std::move(origin), std::move(from)));
}

Reply Get(unsigned short port, const std::string& target) {
  return Exchange(port, Ask(http::verb::get, target));
}

json Challenge(unsigned short port, const json& body = json::object(), const std::string& origin = {}) {
  const Reply reply = Post(port, "/api/challenge", body.dump(), origin);
  EXPECT_EQ(reply.status, 200) << reply.raw.body();
  return reply.body;
}

Reply Verify(unsigned short port, const std::string& token, const std::string& answer) {
  return Post(port, "/api/verify", json{{"token", token}, {"answer", answer}}.dump());
}

// The site's server asking, form-encoded as most sites' code does.
Reply SiteVerify(unsigned short port, std::string_view secret, const std::string& response) {
  std::string body = "secret=" + std::string(secret) + "&response=";
  for (const char c : response) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_') {
      body += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      body += escaped;
    }
  }
  return Exchange(port, Ask(http::verb::post, "/siteverify", body, "application/x-www-form-urlencoded"));
}

TokenClaims ClaimsOf(const KeyRing& keys, const json& challenge) {
  return std::get<TokenClaims>(OpenToken(keys, challenge["token"].get<std::string>(), 0));
}
std::string CodeOf(const KeyRing& keys, const json& challenge) { return ClaimsOf(keys, challenge).code; }

std::vector<unsigned char> ImageBytes(const json& challenge, std::string_view mime) {
  const std::string uri = challenge["image"];
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

TEST_F(HttpService, ServesPagesHealthAndMetricsWithHead) {
  struct Case { const char* target; const char* type; const char* contains; };
  const Case cases[] = {
      {"/", "text/html; charset=utf-8", "src=\"/quillgate.js\" data-target=\"captcha\""},
      {"/quillgate.js", "text/javascript; charset=utf-8", "quillgate-response"},
      {"/demo.js", "text/javascript; charset=utf-8", "/api/verify"},
      {"/healthz", "application/json", "\"status\":\"ok\""},
      {"/readyz", "application/json", "\"status\":\"ready\""},
      {"/metrics", "text/plain; version=0.0.4; charset=utf-8", "# TYPE quillgate_request_duration_seconds histogram"},
  };
  for (const Case& c : cases) {
    const Reply get = Get(port_, c.target);
    EXPECT_EQ(get.status, 200) << c.target;
    EXPECT_EQ(get.raw[http::field::content_type], c.type) << c.target;
    EXPECT_NE(get.raw.body().find(c.contains), std::string::npos) << c.target;
    const Reply head = Exchange(port_, Ask(http::verb::head, c.target));
    EXPECT_EQ(head.status, 200) << c.target;
    EXPECT_EQ(head.raw[http::field::content_type], c.type) << c.target;
    EXPECT_TRUE(head.raw.body().empty()) << c.target;
  }
}

TEST_F(HttpService, WrongPathsAndMethodsGetJsonErrors) {
  struct Case { http::verb method; const char* target; int status; const char* error; };
  const Case cases[] = {
      {http::verb::get, "/nothing", 404, "not_found"},
      {http::verb::get, "/api/challenge", 405, "method_not_allowed"},
      {http::verb::put, "/api/verify", 405, "method_not_allowed"},
      {http::verb::get, "/siteverify", 405, "method_not_allowed"},
      {http::verb::post, "/", 405, "method_not_allowed"},
      {http::verb::delete_, "/healthz", 405, "method_not_allowed"},
      {http::verb::post, "/api/audio/abc", 405, "method_not_allowed"},
      {http::verb::get, "/api/audio/abc", 404, "malformed"},
  };
  for (const Case& c : cases) {
    const Reply reply = Exchange(port_, Ask(c.method, c.target));
    EXPECT_EQ(reply.status, c.status) << c.target;
    EXPECT_EQ(reply.body["error"], c.error) << c.target;
    if (c.status == 405) {
      EXPECT_FALSE(reply.raw[http::field::allow].empty()) << c.target;
    }
  }
}

TEST_F(HttpService, ChallengeHasTheImageTheAudioAndASealedToken) {
  const json challenge = Challenge(port_, {{"style", 31}});
  const auto jpeg = ImageBytes(challenge, "image/jpeg");
  ASSERT_GT(jpeg.size(), 100u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(challenge["width"], 250);
  EXPECT_EQ(challenge["height"], 50);
  EXPECT_EQ(challenge["audio"], "/api/audio/" + challenge["token"].get<std::string>());
  const TokenClaims claims = ClaimsOf(keys_, challenge);
  EXPECT_EQ(claims.code.size(), 5u);
  EXPECT_EQ(claims.code.find_first_of("017ILO"), std::string::npos);
  EXPECT_NEAR(static_cast<double>(claims.expiresMs - claims.issuedMs), 300'000, 1);
  EXPECT_EQ(claims.siteKey, "default");

  const json png = Challenge(port_, {{"style", 31}, {"width", 300}, {"height", 80}, {"format", "png"}, {"length", 8}, {"type", 1}});
  const auto bytes = ImageBytes(png, "image/png");
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ((bytes[16] << 24 | bytes[17] << 16 | bytes[18] << 8 | bytes[19]), 300) << "PNG width";
  EXPECT_EQ((bytes[20] << 24 | bytes[21] << 16 | bytes[22] << 8 | bytes[23]), 80) << "PNG height";
  const std::string letters = CodeOf(keys_, png);
  EXPECT_EQ(letters.size(), 8u);
  EXPECT_EQ(letters.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
}

// The attack: a client asking for an easier challenge than the operator allows (the
// one-digit code that a blind guess solves one time in ten).
TEST_F(HttpService, RequestsWeakerOrLargerThanThePolicyAreRefused) {
  const char* refused[] = {R"({"length":1,"type":2})", R"({"length":1})", R"({"length":3})", R"({"type":2})",
                           R"({"length":17})", R"({"style":50})", R"({"width":1000,"height":400})",
                           R"({"width":20})", R"({"format":"bmp"})"};
  for (const char* body : refused) {
    const Reply reply = Post(port_, "/api/challenge", body);
    EXPECT_EQ(reply.status, 400) << body;
    EXPECT_EQ(reply.body["error"], "policy") << body;
  }
  for (const char* body : {"[1]", "{\"style\":", R"({"colour":1})", R"({"width":"200"})"}) {
    const Reply reply = Post(port_, "/api/challenge", body);
    EXPECT_EQ(reply.status, 400) << body;
    EXPECT_EQ(reply.body["error"], "bad_request") << body;
  }
}

TEST_F(HttpService, EachChallengeDrawsItsStyleAtRandomFromThePolicy) {
  std::set<int> styles;
  for (int i = 0; i < 12; ++i) styles.insert(Challenge(port_, {{"width", 120}, {"height", 40}})["style"].get<int>());
  EXPECT_GE(styles.size(), 6u) << "twelve challenges, all 50 styles allowed";
}

TEST_F(HttpService, EachTokenVerifiesOnceRightOrWrongAndTheReplySaysWhatWasAsked) {
  const json first = Challenge(port_, {{"style", 5}, {"length", 6}, {"type", 1}, {"width", 200}, {"height", 60}});
  const std::string code = CodeOf(keys_, first);
  const Reply wrong = Verify(port_, first["token"], code + "X");
  EXPECT_EQ(wrong.body["success"], false);
  EXPECT_EQ(wrong.body["error"], "wrong_answer");
  EXPECT_EQ(Verify(port_, first["token"], code).body["error"], "used");

  const json second = Challenge(port_, {{"style", 5}, {"length", 6}, {"type", 1}, {"width", 200}, {"height", 60}});
  std::string answer = CodeOf(keys_, second);
  for (char& c : answer) c = static_cast<char>(c - 'A' + 'a');
  const Reply right = Verify(port_, second["token"], "  " + answer + "\t");
  EXPECT_EQ(right.body["success"], true);
  EXPECT_EQ(right.body["error"], nullptr);
  const json asked = {{"style", 5}, {"length", 6}, {"type", 1}, {"width", 200}, {"height", 60},
                      {"sitekey", "default"}, {"hostname", ""}};
  for (const auto& [name, value] : asked.items()) {
    EXPECT_EQ(right.body[name], value) << name;
  }
  EXPECT_EQ(right.body["challenge_ts"].get<std::string>().size(), 24u) << right.body["challenge_ts"];
  EXPECT_EQ(Verify(port_, second["token"], answer).body["error"], "used");
}

TEST_F(HttpService, BadTokensEachGetTheirOwnErrorAndUseNothingUp) {
  const json challenge = Challenge(port_);
  const std::string token = challenge["token"];
  const std::string code = CodeOf(keys_, challenge);
  std::string tampered = token;
  tampered[40] = tampered[40] == 'A' ? 'B' : 'A';
  TokenClaims claims = ClaimsOf(keys_, challenge);
  const std::string foreign = SealToken(KeyRing::Generate(), claims);
  struct Case { std::string token; const char* error; };
  for (const Case& c : {Case{tampered, "tampered"}, Case{foreign, "unknown_key"}, Case{"", "malformed"},
                        Case{"%%%", "malformed"}, Case{token.substr(0, 10), "malformed"}}) {
    EXPECT_EQ(Verify(port_, c.token, code).body["error"], c.error) << c.error;
  }
  EXPECT_EQ(Verify(port_, token, code).body["success"], true);

  const json later = Challenge(port_);
  server_.Skew(std::chrono::minutes(5));
  EXPECT_EQ(Verify(port_, later["token"], CodeOf(keys_, later)).body["error"], "expired");
  EXPECT_EQ(Get(port_, later["audio"]).status, 410);
}

// The attacks: fetch one recording many times (to average it, or to try a recogniser on
// it again and again), or fetch it after the token is spent.
TEST_F(HttpService, AudioIsTheSameOnEachOfAFewFetchesAndNeverAfterTheAnswer) {
  const json challenge = Challenge(port_);
  const Reply first = Get(port_, challenge["audio"]);
  EXPECT_EQ(first.status, 200);
  EXPECT_EQ(first.raw[http::field::content_type], "audio/wav");
  ASSERT_GT(first.raw.body().size(), 44u);
  EXPECT_EQ(first.raw.body().substr(0, 4), "RIFF");
  const Reply second = Get(port_, challenge["audio"]);
  EXPECT_EQ(second.raw.body(), first.raw.body()) << "averaging fetches must gain nothing";
  for (int i = 2; i < CaptchaService::kAudioFetchesPerToken; ++i) EXPECT_EQ(Get(port_, challenge["audio"]).status, 200);
  const Reply over = Get(port_, challenge["audio"]);
  EXPECT_EQ(over.status, 410);
  EXPECT_EQ(over.body["error"], "audio_exhausted");

  const json answered = Challenge(port_);
  ASSERT_EQ(Verify(port_, answered["token"], CodeOf(keys_, answered)).body["success"], true);
  const Reply after = Get(port_, answered["audio"]);
  EXPECT_EQ(after.status, 410);
  EXPECT_EQ(after.body["error"], "used");

  std::string tampered = challenge["audio"];
  tampered[30] = tampered[30] == 'A' ? 'B' : 'A';
  EXPECT_EQ(Get(port_, tampered).status, 404);
}

// The old store kept a place for every challenge until it expired, so a client asking
// for challenges and never answering filled it and locked every visitor out.
TEST(HttpServiceStores, ChallengesTakeNoRoomInTheReplayStore) {
  const KeyRing keys = KeyRing::Generate();
  ServerSetup setup;
  setup.store = std::make_unique<MemoryReplayStore>(10);
  Server server(keys, std::move(setup));
  // Over one kept-alive connection, as a script would.
  net::io_context io;
  boost::beast::tcp_stream stream(io);
  stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), server.Port()));
  http::request<http::string_body> request{http::verb::post, "/api/challenge", 11};
  request.set(http::field::host, "127.0.0.1");
  request.set(http::field::content_type, "application/json");
  request.body() = R"({"width":120,"height":40,"style":31})";
  request.prepare_payload();
  boost::beast::flat_buffer buffer;
  for (int i = 0; i < 1000; ++i) {
    stream.expires_after(std::chrono::seconds(30));
    http::write(stream, request);
    http::response<http::string_body> reply;
    http::read(stream, buffer, reply);
    ASSERT_EQ(reply.result_int(), 200u) << i << ": " << reply.body();
  }
  const json challenge = Challenge(server.Port());
  EXPECT_EQ(Verify(server.Port(), challenge["token"], CodeOf(keys, challenge)).body["success"], true);
}

TEST(HttpServiceStores, ATokenFromAnotherMemoryStoreServerIsRefused) {
  const KeyRing shared = KeyRing::Generate();
  Server a(shared, ServerSetup{});
  Server b(shared, ServerSetup{});
  const json challenge = Challenge(a.Port());
  const std::string code = CodeOf(shared, challenge);
  EXPECT_EQ(Verify(b.Port(), challenge["token"], code).body["error"], "expired");
  EXPECT_EQ(Verify(a.Port(), challenge["token"], code).body["success"], true);
}

TEST(HttpServiceLimits, AClientsBucketRefusesWith429ThenRefills) {
  ServerSetup setup;
  setup.sites = Sites::Implicit(Policy::Default());  // 30 challenges a minute, bursts of 10
  const KeyRing keys = KeyRing::Generate();
  Server server(keys, std::move(setup));
  const std::string small = R"({"width":120,"height":40})";
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Post(server.Port(), "/api/challenge", small).status, 200) << i;
  const Reply limited = Post(server.Port(), "/api/challenge", small);
  EXPECT_EQ(limited.status, 429);
  EXPECT_EQ(limited.body["error"], "rate_limited");
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
  const KeyRing keys = KeyRing::Generate();
  ServerSetup setup;
  setup.renderThreads = 1;
  setup.renderPerClient = 2;  // fewer than the flooder's connections
  Server server(keys, std::move(setup));
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
  const KeyRing keys = KeyRing::Generate();
  ServerSetup setup;
  setup.renderThreads = 1;
  setup.renderQueue = 1;
  Server server(keys, std::move(setup));
  std::atomic<int> busy{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 6; ++t) {
    clients.emplace_back([&, t] {
      const std::string from = "127.0.1." + std::to_string(t + 1);
      for (int i = 0; i < 5; ++i) {
        const Reply reply = Post(server.Port(), "/api/challenge", R"({"style":7,"width":400,"height":150})", {}, from);
        if (reply.status == 503 && reply.body["error"] == "busy") ++busy;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_GT(busy.load(), 0);
}

class HttpServiceSites : public ::testing::Test {
 protected:
  json ShopChallenge(const json& wishes = json::object()) {
    json body = wishes;
    body["sitekey"] = kShopKey;
    return Challenge(server_.Port(), body, std::string(kShopOrigin));
  }
  std::string ResponseFor(const json& challenge, const std::string& answer) {
    return challenge["token"].get<std::string>() + "." + answer;
  }

  KeyRing keys_ = KeyRing::Generate();
  Server server_{keys_, [] {
                   ServerSetup setup;
                   setup.sites = TwoSites();
                   return setup;
                 }()};
};

TEST_F(HttpServiceSites, SiteverifyAnswersInTheUsualShape) {
  const json challenge = ShopChallenge();
  const std::string code = CodeOf(keys_, challenge);
  const Reply ok = SiteVerify(server_.Port(), kShopSecret, ResponseFor(challenge, code));
  EXPECT_EQ(ok.status, 200);
  EXPECT_EQ(ok.body["success"], true) << ok.body;
  EXPECT_EQ(ok.body["error-codes"], json::array());
  EXPECT_EQ(ok.body["hostname"], "shop.example.org");
  EXPECT_EQ(ok.body["sitekey"], kShopKey);
  EXPECT_EQ(ok.body["length"], 5);
  EXPECT_TRUE(ok.body["style"] == 5 || ok.body["style"] == 31) << ok.body;
  // The replay.
  EXPECT_EQ(SiteVerify(server_.Port(), kShopSecret, ResponseFor(challenge, code)).body["error-codes"],
            json{"timeout-or-duplicate"});

  // JSON works the same, and a wrong answer uses the token up.
  const json second = ShopChallenge();
  const json request = {{"secret", kShopSecret}, {"response", ResponseFor(second, "WRONG")}, {"remoteip", "192.0.2.1"}};
  const Reply wrong = Post(server_.Port(), "/siteverify", request.dump());
  EXPECT_EQ(wrong.body["success"], false);
  EXPECT_EQ(wrong.body["error-codes"], json{"invalid-input-response"});
  EXPECT_EQ(SiteVerify(server_.Port(), kShopSecret, ResponseFor(second, CodeOf(keys_, second))).body["error-codes"],
            json{"timeout-or-duplicate"});
}

TEST_F(HttpServiceSites, SiteverifyRefusesWrongSecretsAndOtherSitesTokens) {
  const json challenge = ShopChallenge();
  const std::string response = ResponseFor(challenge, CodeOf(keys_, challenge));
  struct Case { std::string body; const char* error; };
  const Case cases[] = {
      {"response=" + response, "missing-input-secret"},
      {"secret=wrong_secret_0123456789_abcdefghijklmnop&response=" + response, "invalid-input-secret"},
      {"secret=" + std::string(kShopSecret), "missing-input-response"},
      {"secret=" + std::string(kShopSecret) + "&response=" + challenge["token"].get<std::string>(), "invalid-input-response"},
      {"secret=" + std::string(kShopSecret) + "&response=garbage.ABCDE", "invalid-input-response"},
      // Site B's server with site A's token: not B's to accept, nor to spend.
      {"secret=" + std::string(kBlogSecret) + "&response=" + response, "invalid-input-response"},
      {"secret=%zz", "bad-request"},
  };
  for (const Case& c : cases) {
    const Reply reply = Exchange(server_.Port(), Ask(http::verb::post, "/siteverify", c.body, "application/x-www-form-urlencoded"));
    EXPECT_EQ(reply.body["success"], false) << c.body;
    EXPECT_EQ(reply.body["error-codes"], json{c.error}) << c.body;
  }
  EXPECT_EQ(SiteVerify(server_.Port(), kShopSecret, response).body["success"], true) << "none of them spent it";
}

TEST_F(HttpServiceSites, ChallengesNeedAKnownSiteAndOneOfItsOrigins) {
  const unsigned short port = server_.Port();
  EXPECT_EQ(Post(port, "/api/challenge", "{}", std::string(kShopOrigin)).body["error"], "missing_sitekey");
  EXPECT_EQ(Post(port, "/api/challenge", R"({"sitekey":"nobody_has_this"})").body["error"], "invalid_sitekey");
  const std::string shop = json{{"sitekey", kShopKey}}.dump();
  const Reply foreign = Post(port, "/api/challenge", shop, "https://evil.example.net");
  EXPECT_EQ(foreign.status, 403);
  EXPECT_EQ(foreign.body["error"], "origin_not_allowed");
  EXPECT_TRUE(foreign.raw[http::field::access_control_allow_origin].empty());
  const Reply own = Post(port, "/api/challenge", shop, std::string(kShopOrigin));
  EXPECT_EQ(own.status, 200);
  EXPECT_EQ(std::string(own.raw[http::field::access_control_allow_origin]), kShopOrigin);

  // The browser's preflight names the site in the query.
  const Reply preflight = Exchange(port, Ask(http::verb::options, "/api/challenge?sitekey=" + std::string(kShopKey), "",
                                                 "", std::string(kShopOrigin)));
  EXPECT_EQ(preflight.status, 204);
  EXPECT_EQ(std::string(preflight.raw[http::field::access_control_allow_origin]), kShopOrigin);
  // A style the shop does not allow.
  EXPECT_EQ(Post(port, "/api/challenge", R"({"sitekey":"shop_site_key","style":7})", std::string(kShopOrigin)).body["error"],
            "policy");
}

TEST_F(HttpServiceSites, VerifyApiIsOpenOnlyWhereThePolicySaysSo) {
  const json shop = ShopChallenge();
  const Reply closed = Verify(server_.Port(), shop["token"], CodeOf(keys_, shop));
  EXPECT_EQ(closed.status, 403);
  EXPECT_EQ(closed.body["error"], "verify_api_off");
  const json blog = Challenge(server_.Port(), {{"sitekey", kBlogKey}}, "https://blog.example.org");
  EXPECT_EQ(Verify(server_.Port(), blog["token"], CodeOf(keys_, blog)).body["success"], true);
}

// Proof of work, tried as a bot would skip or cheapen it.
TEST(HttpServiceWork, EachChallengeNeedsItsOwnFreshSolvedPuzzleOfTheSitesDifficulty) {
  const KeyRing keys = KeyRing::Generate();
  ServerSetup setup;
  setup.sites = TwoSites({{"pow_bits", 10}});
  Server server(keys, std::move(setup));
  const std::string shop(kShopKey);
  const std::string origin(kShopOrigin);
  const auto puzzle = [&] {
    const Reply reply = Exchange(server.Port(), Ask(http::verb::get, "/api/puzzle?sitekey=" + shop, "", "", origin));
    EXPECT_EQ(reply.status, 200) << reply.raw.body();
    EXPECT_EQ(reply.body["bits"], 10);
    return reply.body["puzzle"].get<std::string>();
  };
  const auto solve = [](const std::string& text, int bits) {
    for (int n = 0;; ++n) {
      if (WorkOf(text, std::to_string(n)) >= bits) return std::to_string(n);
    }
  };
  const auto ask = [&](const json& work) {
    json body = {{"sitekey", shop}};
    if (!work.is_null()) body["pow"] = work;
    return Post(server.Port(), "/api/challenge", body.dump(), origin);
  };
  const auto refusal = [&](const json& work) {
    const Reply reply = ask(work);
    EXPECT_EQ(reply.status, 403) << reply.raw.body();
    return reply.body["error"].get<std::string>();
  };

  EXPECT_EQ(refusal(nullptr), "pow_required");
  EXPECT_EQ(refusal("1234"), "pow_invalid");
  const std::string text = puzzle();
  std::string wrong = "0";
  while (WorkOf(text, wrong) >= 10) wrong += "0";
  EXPECT_EQ(refusal({{"puzzle", text}, {"nonce", wrong}}), "pow_wrong");
  const std::string nonce = solve(text, 10);
  EXPECT_EQ(ask({{"puzzle", text}, {"nonce", nonce}}).status, 200);
  EXPECT_EQ(refusal({{"puzzle", text}, {"nonce", nonce}}), "pow_used");

  // A puzzle of its own making, or an easier one under the server's key, or another site's.
  Puzzle easy;
  easy.issuedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch()).count();
  easy.expiresMs = easy.issuedMs + 60'000;
  easy.bits = 4;
  easy.siteKey = shop;
  const std::string forged = SealPuzzle(KeyRing::Generate(), easy);
  EXPECT_EQ(refusal({{"puzzle", forged}, {"nonce", solve(forged, 4)}}), "pow_invalid");
  const std::string cheap = SealPuzzle(keys, easy);
  EXPECT_EQ(refusal({{"puzzle", cheap}, {"nonce", solve(cheap, 4)}}), "pow_too_easy");
  easy.bits = 10;
  easy.siteKey = std::string(kBlogKey);
  const std::string blogs = SealPuzzle(keys, easy);
  EXPECT_EQ(refusal({{"puzzle", blogs}, {"nonce", solve(blogs, 10)}}), "pow_invalid");

  // Solved, but kept past its time.
  const std::string late = puzzle();
  const std::string lateNonce = solve(late, 10);
  server.Skew(std::chrono::milliseconds(CaptchaService::kPuzzleTtlMs));
  EXPECT_EQ(refusal({{"puzzle", late}, {"nonce", lateNonce}}), "pow_expired");
}

TEST(HttpServiceWork, RaisedDifficultyBindsTheWorkAndSitesWithoutItAskNothing) {
  const KeyRing keys = KeyRing::Generate();
  ServerSetup setup;
  setup.sites = TwoSites({{"pow_bits", 6}, {"pow_bits_per", 5}});
  Server server(keys, std::move(setup));
  const std::string shop(kShopKey);
  std::vector<int> bits;
  std::string last;
  for (int i = 0; i < 20; ++i) {
    const Reply reply = Exchange(server.Port(), Ask(http::verb::get, "/api/puzzle?sitekey=" + shop, "", "",
                                                    std::string(kShopOrigin)));
    bits.push_back(reply.body["bits"]);
    last = reply.body["puzzle"];
  }
  EXPECT_EQ(bits.front(), 6);
  EXPECT_EQ(bits.back(), 6 + 19 / 5) << "one bit more for every 5 puzzles beyond 5 a minute";
  // The bursting bot pays the raised price, not the site's base: work enough for 6 bits but
  // not 9 is refused, work for 9 accepted.
  const auto nonceWorth = [&](int least, int below) {
    for (int n = 0;; ++n) {
      const int work = WorkOf(last, std::to_string(n));
      if (work >= least && work < below) return std::to_string(n);
    }
  };
  const auto ask = [&](const std::string& nonce) {
    const json body = {{"sitekey", shop}, {"pow", {{"puzzle", last}, {"nonce", nonce}}}};
    return Post(server.Port(), "/api/challenge", body.dump(), std::string(kShopOrigin));
  };
  EXPECT_EQ(ask(nonceWorth(6, 9)).body["error"], "pow_wrong");
  EXPECT_EQ(ask(nonceWorth(9, 64)).status, 200);
  // The count drains at 5 a minute: four minutes later it is back to the site's base.
  server.Skew(std::chrono::minutes(4));
  const Reply calm = Exchange(server.Port(), Ask(http::verb::get, "/api/puzzle?sitekey=" + shop, "", "",
                                                 std::string(kShopOrigin)));
  EXPECT_EQ(calm.body["bits"], 6);
  // The blog asks for no work: its challenges need no puzzle.
  const Reply blog = Exchange(server.Port(), Ask(http::verb::get, "/api/puzzle?sitekey=" + std::string(kBlogKey), "",
                                                 "", "https://blog.example.org"));
  EXPECT_EQ(blog.body["bits"], 0);
  EXPECT_EQ(Challenge(server.Port(), {{"sitekey", kBlogKey}}, "https://blog.example.org").contains("token"), true);
}

// The default policy: its buckets live in Redis too, so a challenge needs Redis.
ServerSetup WithRedis(const test::RedisServer& redis) {
  ServerSetup setup;
  setup.sites = Sites::Implicit(Policy::Default());
  Stores stores = MakeStores(redis.Url(), 0);
  setup.store = std::move(stores.replay);
  setup.limiter = std::move(stores.limiter);
  return setup;
}

TEST(HttpServiceRedis, TwoServersSharingRedisAcceptATokenOnce) {
  const test::RedisServer redis;
  const KeyRing keys = KeyRing::Generate();
  Server a(keys, WithRedis(redis));
  Server b(keys, WithRedis(redis));
  const json challenge = Challenge(a.Port());
  const std::string code = CodeOf(keys, challenge);
  EXPECT_EQ(Verify(b.Port(), challenge["token"], code).body["success"], true);
  EXPECT_EQ(Verify(a.Port(), challenge["token"], code).body["error"], "used");
  EXPECT_EQ(Verify(b.Port(), challenge["token"], code).body["error"], "used");
}

// The attack: a used token verified again once Redis (without persistence) has restarted
// and forgotten it.
TEST(HttpServiceRedis, ARedisRestartCannotReplayAUsedToken) {
  test::RedisServer redis;
  const KeyRing keys = KeyRing::Generate();
  Server server(keys, WithRedis(redis));
  const json challenge = Challenge(server.Port());
  const std::string code = CodeOf(keys, challenge);
  ASSERT_EQ(Verify(server.Port(), challenge["token"], code).body["success"], true);
  redis.Stop();
  redis.Start();
  const Reply replay = Verify(server.Port(), challenge["token"], code);
  EXPECT_EQ(replay.body["success"], false);
  EXPECT_EQ(replay.body["error"], "expired");
  // Challenges issued after the restart verify as usual.
  server.Skew(std::chrono::milliseconds(5));
  const json fresh = Challenge(server.Port());
  EXPECT_EQ(Verify(server.Port(), fresh["token"], CodeOf(keys, fresh)).body["success"], true);
}

// The attack: a Redis that hangs (SIGSTOP) must not hang the service with it.
TEST(HttpServiceRedis, AStoppedRedisFailsClosedWhileHealthzStaysUp) {
  test::RedisServer redis;
  const KeyRing keys = KeyRing::Generate();
  Server server(keys, WithRedis(redis));
  const json challenge = Challenge(server.Port());
  redis.Pause();
  const Reply verify = Verify(server.Port(), challenge["token"], CodeOf(keys, challenge));
  EXPECT_EQ(verify.status, 503);
  EXPECT_EQ(verify.body["error"], "store_unavailable");
  const Reply refused = Post(server.Port(), "/api/challenge", "{}");
  EXPECT_EQ(refused.status, 503) << "no challenge is issued that could never verify";
  EXPECT_EQ(refused.body["error"], "store_unavailable");
  EXPECT_EQ(Get(server.Port(), "/healthz").status, 200);
  const Reply ready = Get(server.Port(), "/readyz");
  EXPECT_EQ(ready.status, 503);
  EXPECT_EQ(ready.body["store"], "unreachable");
  redis.Resume();
  // Back once Redis answers (after the short cool-down).
  int status = 0;
  for (int i = 0; i < 40 && status != 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    status = Get(server.Port(), "/readyz").status;
  }
  EXPECT_EQ(status, 200);
}

}  // namespace
}  // namespace quillgate::service
