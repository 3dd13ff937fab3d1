// The service over real HTTP: a server on a free loopback port, driven by a real client.
#include "Service/CaptchaService.h"
#include "Service/HttpServer.h"
#include "Service/MemoryReplayStore.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sodium.h>

#include <atomic>
#include <thread>

namespace quillgate::service {
namespace {

namespace net = boost::asio;
namespace http = boost::beast::http;
using nlohmann::json;
using tcp = net::ip::tcp;
using test::Call;

// A server of its own with a clock the test can move.
class Server {
 public:
  Server(const KeyRing& keys, std::unique_ptr<ReplayStore> store, ServerLimits limits = Quick(),
         std::int64_t refuseBeforeMs = 0) {
    ServiceOptions options;
    options.ttlSeconds = 60;
    options.refuseIssuedBeforeMs = refuseBeforeMs;
    options.clock = [this] { return std::chrono::system_clock::now() + std::chrono::seconds(skew_.load()); };
    service_ = std::make_unique<CaptchaService>(keys, std::move(store), options);
    server_ = std::make_unique<HttpServer>("127.0.0.1", 0, limits,
                                           [this](const Request& r) { return service_->Handle(r); });
    server_->Start(2);
  }
  static ServerLimits Quick() {
    ServerLimits limits;
    limits.headerTimeout = std::chrono::milliseconds(800);
    limits.idleTimeout = std::chrono::milliseconds(800);
    return limits;
  }
  [[nodiscard]] unsigned short Port() const { return server_->Port(); }
  void Skew(std::int64_t seconds) { skew_ = seconds; }

 private:
  std::atomic<std::int64_t> skew_{0};
  std::unique_ptr<CaptchaService> service_;
  std::unique_ptr<HttpServer> server_;
};

json Json(const test::HttpResult& result) {
  EXPECT_EQ(result.contentType, "application/json") << result.body;
  return json::parse(result.body, nullptr, false);
}

json Challenge(unsigned short port, const std::string& body = {}) {
  const auto result = Call(port, http::verb::post, "/api/challenge", body);
  EXPECT_EQ(result.status, 200) << result.body;
  return Json(result);
}

json Verify(unsigned short port, const std::string& token, const std::string& answer, int status = 200) {
  const auto result = Call(port, http::verb::post, "/api/verify", json{{"token", token}, {"answer", answer}}.dump());
  EXPECT_EQ(result.status, status) << result.body;
  return Json(result);
}

std::string CodeOf(const KeyRing& keys, const json& challenge) {
  const auto opened = OpenToken(keys, challenge["token"].get<std::string>(), 0);
  return std::get<TokenClaims>(opened).code;
}

std::vector<unsigned char> ImageBytes(const json& challenge, std::string_view mime) {
  const std::string uri = challenge["image"];
  const std::string prefix = "data:" + std::string(mime) + ";base64,";
  EXPECT_EQ(uri.substr(0, prefix.size()), prefix);
  std::vector<unsigned char> bytes(uri.size());
  std::size_t length = 0;
  sodium_base642bin(bytes.data(), bytes.size(), uri.data() + prefix.size(), uri.size() - prefix.size(),
                    nullptr, &length, nullptr, sodium_base64_VARIANT_ORIGINAL);
  bytes.resize(length);
  return bytes;
}

class HttpService : public ::testing::Test {
 protected:
  KeyRing keys_ = KeyRing::Generate();
  Server server_{keys_, std::make_unique<MemoryReplayStore>(1000)};
  unsigned short port_ = server_.Port();
};

TEST_F(HttpService, ServesPagesHealthAndMetrics) {
  struct Case { const char* target; const char* type; const char* contains; };
  const Case cases[] = {
      {"/", "text/html; charset=utf-8", "src=\"/quillgate.js\" data-target=\"captcha\""},
      {"/quillgate.js", "text/javascript; charset=utf-8", "api/challenge"},
      {"/demo.js", "text/javascript; charset=utf-8", "/api/verify"},
      {"/healthz", "application/json", "\"status\":\"ok\""},
      {"/metrics", "text/plain; version=0.0.4; charset=utf-8", "# TYPE quillgate_request_duration_seconds histogram"},
  };
  for (const Case& c : cases) {
    const auto result = Call(port_, http::verb::get, c.target);
    EXPECT_EQ(result.status, 200) << c.target;
    EXPECT_EQ(result.contentType, c.type) << c.target;
    EXPECT_NE(result.body.find(c.contains), std::string::npos) << c.target;
  }
}

TEST_F(HttpService, WrongPathsAndMethodsGetJsonErrors) {
  struct Case { http::verb method; const char* target; int status; const char* error; };
  const Case cases[] = {
      {http::verb::get, "/nothing", 404, "not_found"},
      {http::verb::get, "/api/challenge", 405, "method_not_allowed"},
      {http::verb::put, "/api/verify", 405, "method_not_allowed"},
      {http::verb::get, "/api/verify", 405, "method_not_allowed"},
      {http::verb::post, "/", 405, "method_not_allowed"},
      {http::verb::delete_, "/healthz", 405, "method_not_allowed"},
      {http::verb::post, "/api/audio/abc", 405, "method_not_allowed"},
      {http::verb::get, "/api/audio/abc", 404, "malformed"},
  };
  for (const Case& c : cases) {
    const auto result = Call(port_, c.method, c.target);
    EXPECT_EQ(result.status, c.status) << c.target;
    EXPECT_EQ(Json(result)["error"], c.error) << c.target;
    if (c.status == 405) {
      EXPECT_FALSE(result.raw[http::field::allow].empty()) << c.target;
    }
  }
}

TEST_F(HttpService, ChallengeHasTheImageTheAudioAndASealedToken) {
  const json challenge = Challenge(port_);
  const auto jpeg = ImageBytes(challenge, "image/jpeg");
  ASSERT_GT(jpeg.size(), 100u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(challenge["width"], 250);
  EXPECT_EQ(challenge["height"], 50);
  EXPECT_EQ(challenge["audio"], "/api/audio/" + challenge["token"].get<std::string>());
  const std::int64_t now = std::time(nullptr);
  EXPECT_NEAR(challenge["expires"].get<std::int64_t>(), now + 60, 2);
  const std::string code = CodeOf(keys_, challenge);
  EXPECT_EQ(code.size(), 5u);
  EXPECT_EQ(code.find_first_of("017ILO"), std::string::npos);

  const json png = Challenge(port_, R"({"style":31,"width":300,"height":80,"format":"png","length":8,"type":2})");
  const auto bytes = ImageBytes(png, "image/png");
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(bytes[1], 'P');
  EXPECT_EQ((bytes[16] << 24 | bytes[17] << 16 | bytes[18] << 8 | bytes[19]), 300) << "PNG width";
  EXPECT_EQ((bytes[20] << 24 | bytes[21] << 16 | bytes[22] << 8 | bytes[23]), 80) << "PNG height";
  const std::string digits = CodeOf(keys_, png);
  EXPECT_EQ(digits.size(), 8u);
  EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_NE(CodeOf(keys_, Challenge(port_)), code) << "every challenge has a new code";
}

TEST_F(HttpService, ChallengeSettingsOutsideTheLimitsAreRefused) {
  const char* bodies[] = {R"({"width":1001})", R"({"height":401})", R"({"width":1000,"height":401})",
                          R"({"style":50})", R"({"style":-1})", R"({"length":0})", R"({"length":17})",
                          R"({"type":3})", R"({"format":"xyz"})", R"({"width":"200"})",
                          R"({"width":2.5})", R"({"width":99999999999})", R"({"colour":1})", "[1]",
                          "{\"style\":", "null"};
  for (const char* body : bodies) {
    const auto result = Call(port_, http::verb::post, "/api/challenge", body);
    EXPECT_EQ(result.status, 400) << body;
    EXPECT_EQ(Json(result)["error"], "invalid_settings") << body;
  }
  EXPECT_EQ(Call(port_, http::verb::post, "/api/challenge", R"({"width":1000,"height":400})").status, 200);
}

TEST_F(HttpService, EachTokenVerifiesOnceRightOrWrong) {
  const json first = Challenge(port_);
  const std::string code = CodeOf(keys_, first);
  EXPECT_EQ(Verify(port_, first["token"], code + "X"), (json{{"success", false}, {"error", "wrong_answer"}}));
  EXPECT_EQ(Verify(port_, first["token"], code), (json{{"success", false}, {"error", "used"}}));

  const json second = Challenge(port_);
  std::string answer = CodeOf(keys_, second);
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(Verify(port_, second["token"], "  " + answer + "\t"), (json{{"success", true}, {"error", nullptr}}));
  EXPECT_EQ(Verify(port_, second["token"], answer), (json{{"success", false}, {"error", "used"}}));
}

TEST_F(HttpService, BadTokensEachGetTheirOwnError) {
  const json challenge = Challenge(port_);
  const std::string token = challenge["token"];
  const std::string code = CodeOf(keys_, challenge);
  std::string tampered = token;
  tampered[40] = tampered[40] == 'A' ? 'B' : 'A';
  const KeyRing stranger = KeyRing::Generate();
  TokenClaims claims;
  claims.code = code;
  claims.expires = std::time(nullptr) + 60;
  const std::string foreign = SealToken(stranger, claims);
  struct Case { std::string token; const char* error; };
  const Case cases[] = {{tampered, "tampered"}, {foreign, "unknown_key"}, {"", "malformed"},
                        {"%%%", "malformed"}, {token.substr(0, 10), "malformed"}};
  for (const Case& c : cases) {
    EXPECT_EQ(Verify(port_, c.token, code), (json{{"success", false}, {"error", c.error}})) << c.error;
  }
  // None of them used the genuine token up.
  EXPECT_EQ(Verify(port_, token, code)["success"], true);

  const json later = Challenge(port_);
  server_.Skew(60);
  EXPECT_EQ(Verify(port_, later["token"], CodeOf(keys_, later)), (json{{"success", false}, {"error", "expired"}}));
  EXPECT_EQ(Call(port_, http::verb::get, later["audio"]).status, 410);
}

TEST_F(HttpService, VerifyBodiesMustHoldTokenAndAnswer) {
  for (const char* body : {"", "{", "[]", R"({"token":"x"})", R"({"answer":"x"})", R"({"token":1,"answer":"x"})",
                           R"({"token":"x","answer":null})"}) {
    const auto result = Call(port_, http::verb::post, "/api/verify", body);
    EXPECT_EQ(result.status, 400) << body;
    const json reply = Json(result);
    EXPECT_EQ(reply["success"], false) << body;
    EXPECT_EQ(reply["error"], "bad_request") << body;
  }
}

TEST_F(HttpService, AudioSpeaksTheTokensCode) {
  const json challenge = Challenge(port_);
  const auto result = Call(port_, http::verb::get, challenge["audio"]);
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.contentType, "audio/wav");
  ASSERT_GT(result.body.size(), 44u);
  EXPECT_EQ(result.body.substr(0, 4), "RIFF");
  EXPECT_GT(result.body.size() - 44, 3u * 8000 * 2) << "over three seconds of 8 kHz 16-bit sound";
  std::string tampered = challenge["audio"];
  tampered[30] = tampered[30] == 'A' ? 'B' : 'A';
  EXPECT_EQ(Call(port_, http::verb::get, tampered).status, 404);
}

TEST_F(HttpService, ConcurrentChallengesAreEachSound) {
  // Both workers draw at once, each with its own random source and drawing state: every
  // image must still be a whole JPEG and every token verify with its own code.
  std::atomic<int> good{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t) {
    clients.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        const json challenge = Challenge(port_);
        const auto jpeg = ImageBytes(challenge, "image/jpeg");
        const bool whole = jpeg.size() > 100 && jpeg[0] == 0xFF && jpeg[1] == 0xD8 &&
                           jpeg[jpeg.size() - 2] == 0xFF && jpeg[jpeg.size() - 1] == 0xD9;
        if (whole && Verify(port_, challenge["token"], CodeOf(keys_, challenge))["success"] == true) ++good;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(good.load(), 40);
}

TEST_F(HttpService, MetricsCountOutcomes) {
  const json challenge = Challenge(port_);
  (void)Verify(port_, challenge["token"], "nope");
  (void)Verify(port_, challenge["token"], "nope");
  const std::string metrics = Call(port_, http::verb::get, "/metrics").body;
  for (const char* line : {"quillgate_challenges_total 1\n", "quillgate_verifies_total{outcome=\"wrong_answer\"} 1\n",
                           "quillgate_verifies_total{outcome=\"used\"} 1\n",
                           "quillgate_request_duration_seconds_count{endpoint=\"verify\"} 2\n"}) {
    EXPECT_NE(metrics.find(line), std::string::npos) << line;
  }
}

// Raw bytes to the server; what comes back before it closes (or the wait runs out).
std::string RawExchange(unsigned short port, const std::string& bytes, std::chrono::milliseconds wait,
                        bool* closed = nullptr) {
  net::io_context io;
  boost::beast::tcp_stream stream(io);
  stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
  boost::beast::error_code ec;
  net::write(stream.socket(), net::buffer(bytes), ec);
  std::string received;
  char buffer[4096];
  stream.expires_after(wait);
  for (;;) {
    const std::size_t n = stream.read_some(net::buffer(buffer), ec);
    received.append(buffer, n);
    if (ec) break;
  }
  if (closed != nullptr) *closed = ec == net::error::eof || ec == net::error::connection_reset;
  return received;
}

TEST_F(HttpService, OversizedRequestsAreRefusedWithJson) {
  const std::string big(16 * 1024 + 1, ' ');
  const auto tooLarge = Call(port_, http::verb::post, "/api/verify", big);
  EXPECT_EQ(tooLarge.status, 413);
  EXPECT_EQ(Json(tooLarge)["error"], "body_too_large");
  EXPECT_EQ(Call(port_, http::verb::post, "/api/verify", std::string(16 * 1024, ' ')).status, 400)
      << "exactly at the limit is read (and is no JSON)";

  const std::string headers = "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(9000, 'a') + "\r\n\r\n";
  const std::string reply = RawExchange(port_, headers, std::chrono::seconds(5));
  EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 431");
  EXPECT_NE(reply.find("headers_too_large"), std::string::npos);

  const std::string garbage = RawExchange(port_, "BLAH\x01 / HTTP/1.1\r\n\r\n", std::chrono::seconds(5));
  EXPECT_EQ(garbage.substr(0, 12), "HTTP/1.1 400");
  EXPECT_NE(garbage.find("application/json"), std::string::npos);
}

TEST_F(HttpService, SlowAndIdleClientsAreDisconnected) {
  // Headers never finished: dropped after the header timeout (0.8 s here), no answer.
  const auto started = std::chrono::steady_clock::now();
  bool closed = false;
  const std::string reply = RawExchange(port_, "GET /healthz HTTP/1.1\r\nHost: x\r\n", std::chrono::seconds(10), &closed);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_TRUE(closed);
  EXPECT_TRUE(reply.empty());
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_GE(took, std::chrono::milliseconds(700));
  // A body that stops short of its length is dropped too.
  bool closedBody = false;
  (void)RawExchange(port_, "POST /api/verify HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n{\"to",
                    std::chrono::seconds(10), &closedBody);
  EXPECT_TRUE(closedBody);
  // A kept-alive connection is answered, then closed when it stays idle.
  bool closedIdle = false;
  const std::string answered =
      RawExchange(port_, "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n", std::chrono::seconds(10), &closedIdle);
  EXPECT_EQ(answered.substr(0, 12), "HTTP/1.1 200");
  EXPECT_TRUE(closedIdle);
}

TEST(HttpServiceLimits, ConnectionsOverTheCapAreRefused) {
  ServerLimits limits = Server::Quick();
  limits.idleTimeout = limits.headerTimeout = std::chrono::seconds(20);
  limits.maxConnections = 2;
  Server server(KeyRing::Generate(), std::make_unique<MemoryReplayStore>(10), limits);
  net::io_context io;
  std::vector<tcp::socket> held;
  for (int i = 0; i < 2; ++i) {
    held.emplace_back(io);
    held.back().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), server.Port()));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto refused = Call(server.Port(), http::verb::get, "/healthz");
  EXPECT_EQ(refused.status, 503);
  EXPECT_EQ(Json(refused)["error"], "too_many_connections");
  held.clear();
  // Places come back once the server has seen those connections close.
  int status = 0;
  for (int i = 0; i < 50 && status != 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    status = Call(server.Port(), http::verb::get, "/healthz").status;
  }
  EXPECT_EQ(status, 200);
}

TEST(HttpServiceStores, FullMemoryStoreRefusesChallenges) {
  const KeyRing keys = KeyRing::Generate();
  Server server(keys, std::make_unique<MemoryReplayStore>(1));
  const json challenge = Challenge(server.Port());
  const auto refused = Call(server.Port(), http::verb::post, "/api/challenge");
  EXPECT_EQ(refused.status, 503);
  EXPECT_EQ(Json(refused)["error"], "store_full");
  EXPECT_EQ(Verify(server.Port(), challenge["token"], CodeOf(keys, challenge))["success"], true);
  EXPECT_EQ(Verify(server.Port(), challenge["token"], CodeOf(keys, challenge))["error"], "used");
}

TEST(HttpServiceStores, TokensFromBeforeARestartAreRefused) {
  const KeyRing keys = KeyRing::Generate();
  json challenge;
  {
    Server before(keys, std::make_unique<MemoryReplayStore>(10));
    challenge = Challenge(before.Port());
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a later millisecond
  const std::int64_t restart = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch()).count();
  Server after(keys, std::make_unique<MemoryReplayStore>(10), Server::Quick(), restart);
  EXPECT_EQ(Verify(after.Port(), challenge["token"], CodeOf(keys, challenge))["error"], "expired");
}

TEST(HttpServiceStores, TwoServersSharingRedisAcceptATokenOnce) {
  const test::RedisServer redis;
  const KeyRing keys = KeyRing::Generate();
  Server a(keys, MakeReplayStore(redis.Url(), 0));
  Server b(keys, MakeReplayStore(redis.Url(), 0));
  const json challenge = Challenge(a.Port());
  const std::string code = CodeOf(keys, challenge);
  EXPECT_EQ(Verify(b.Port(), challenge["token"], code)["success"], true);
  EXPECT_EQ(Verify(a.Port(), challenge["token"], code), (json{{"success", false}, {"error", "used"}}));
  EXPECT_EQ(Verify(b.Port(), challenge["token"], code), (json{{"success", false}, {"error", "used"}}));
}

TEST(HttpServiceStores, UnreachableRedisFailsClosed) {
  const KeyRing keys = KeyRing::Generate();
  Server server(keys, MakeReplayStore("redis://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()), 0));
  const json challenge = Challenge(server.Port());
  EXPECT_EQ(Verify(server.Port(), challenge["token"], CodeOf(keys, challenge), 503),
            (json{{"success", false}, {"error", "store_unavailable"}}));
  EXPECT_NE(Call(server.Port(), http::verb::get, "/metrics").body.find("quillgate_store_errors_total 1\n"),
            std::string::npos);
}

}  // namespace
}  // namespace quillgate::service
