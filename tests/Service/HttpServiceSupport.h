#pragma once
// The service over real HTTP, for the tests that drive it: a server of its own on a free
// loopback port, and requests sent from any loopback address (a client of its own).

#include "Service/CaptchaService.h"
#include "Service/HttpServer.h"
#include "Service/MemoryReplayStore.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace quillgate::service {

namespace http = boost::beast::http;
using nlohmann::json;

// A policy without limits that lets a request choose everything and asks no work even
// under load, for tests about something else (the render pool's own defences among them).
inline json Unlimited() {
  const json none = {{"per_minute", 0}, {"burst", 1}};
  return {{"verify_api", true},
          {"pow", {{"under_load", 0}}},
          {"client_choice", {"style", "size", "length", "type", "format"}},
          {"limits", {{"challenge", none}, {"audio", none}, {"verify", none}}}};
}

struct ServerSetup {
  Sites sites = Sites::Implicit(Policy::FromJson(Unlimited(), Policy::Default()));
  std::unique_ptr<ReplayStore> store = std::make_unique<MemoryReplayStore>(1000);
  std::unique_ptr<RateLimiter> limiter = MakeMemoryRateLimiter();
  int renderThreads = 2;
  std::size_t renderQueue = 64;
  std::size_t renderPerClient = 8;
  std::size_t renderPerNetwork = 16;
  bool logRequests = false;
  bool metricsOnMainListener = true;
  ServerLimits limits{};
};

// A server of its own with a clock the test can move.
class Server {
 public:
  Server(const KeyRing& keys, ServerSetup setup) {
    const ServiceOptions options{
        .renderThreads = setup.renderThreads,
        .renderQueue = setup.renderQueue,
        .renderPerClient = setup.renderPerClient,
        .renderPerNetwork = setup.renderPerNetwork,
        .logRequests = setup.logRequests,
        .metricsOnMainListener = setup.metricsOnMainListener,
        .connectionLoad =
            [this, most = static_cast<double>(setup.limits.maxConnections)] {
              return server_ ? static_cast<double>(server_->Connections()) / most : 0.0;
            },
        .clock = [this] { return std::chrono::system_clock::now() + std::chrono::milliseconds(skewMs_.load()); }};
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
  [[nodiscard]] std::size_t Connections() const { return server_->Connections(); }
  CaptchaService& Service() { return *service_; }
  void Skew(std::chrono::milliseconds by) { skewMs_ += by.count(); }
  // Stops the service first, so that what it writes when it goes (the held-back refusal
  // counts) is written while the test still captures it.
  void Stop() {
    server_.reset();
    service_.reset();
  }

 private:
  std::atomic<std::int64_t> skewMs_{0};
  std::unique_ptr<CaptchaService> service_;
  std::unique_ptr<HttpServer> server_;
};

// A reply, its JSON body read member by member: a member the body lacks reads as null, so a
// wrong reply fails the comparison instead of reading past the object.
struct Reply {
  int status = 0;
  json body;
  test::Response raw;
  json operator[](const std::string& name) const {
    return body.is_object() && body.contains(name) ? body.at(name) : json();
  }
};

// One request, from `from` (a loopback address of the client's own).
struct Ask {
  http::verb method = http::verb::post;
  std::string target{};
  std::string body{};
  std::string origin{};
  std::string from = "127.0.0.1";
  std::string contentType = "application/json";
};

inline std::string RequestText(const Ask& ask) {
  std::string text = std::string(http::to_string(ask.method)) + " " + ask.target +
                     " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!ask.origin.empty()) text += "Origin: " + ask.origin + "\r\n";
  if (ask.method == http::verb::post) {
    text += "Content-Type: " + ask.contentType +
            "\r\nContent-Length: " + std::to_string(ask.body.size()) + "\r\n";
  }
  return text + "\r\n" + ask.body;
}

// One request on a new connection.
inline Reply Exchange(unsigned short port, const Ask& ask) {
  test::Client client(port, ask.from.c_str());
  client.Send(RequestText(ask));
  test::Response raw = client.Read();
  return {static_cast<int>(raw.result_int()), json::parse(raw.body(), nullptr, false), raw};
}

inline Reply Post(unsigned short port, const std::string& target, const std::string& body,
           const std::string& origin = {}, const std::string& from = "127.0.0.1") {
  return Exchange(port, {.target = target, .body = body, .origin = origin, .from = from});
}

inline Reply Get(unsigned short port, const std::string& target, const std::string& origin = {}) {
  return Exchange(port, {.method = http::verb::get, .target = target, .origin = origin});
}

inline Reply Challenge(unsigned short port, const json& body = json::object(),
                const std::string& origin = {}) {
  Reply reply = Post(port, "/api/challenge", body.dump(), origin);
  EXPECT_EQ(reply.status, 200) << reply.raw.body();
  return reply;
}

inline Reply Verify(unsigned short port, const std::string& token, const std::string& answer) {
  return Post(port, "/api/verify", json{{"token", token}, {"answer", answer}}.dump());
}

inline TokenClaims ClaimsOf(const KeyRing& keys, const Reply& challenge) {
  return std::get<TokenClaims>(OpenToken(keys, challenge["token"].get<std::string>(), 0));
}
inline std::string CodeOf(const KeyRing& keys, const Reply& challenge) {
  return ClaimsOf(keys, challenge).code;
}

}  // namespace quillgate::service
