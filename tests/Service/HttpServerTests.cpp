// The HTTP layer on its own: an HttpServer with small handlers, driven over loopback by raw
// clients that may come from 127.0.0.2, 127.0.0.3 ... to be different clients.
#include "Service/ClientAddress.h"
#include "Service/HttpServer.h"
#include "ServiceTestSupport.h"

#include <boost/asio/read.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>

namespace quillgate::service {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using namespace std::chrono_literals;
using test::Client;
using test::Eventually;

Response Text(std::string body) {
  Response response{http::status::ok, 11};
  response.set(http::field::content_type, "text/plain");
  response.body() = std::move(body);
  return response;
}

// An HttpServer on 127.0.0.1 that counts its refusals by reason.
class TestServer {
 public:
  TestServer(ServerLimits limits, RequestHandler handler)
      : server_("127.0.0.1", 0, std::move(limits), std::move(handler),
                [this](Refusal why) { ++refused_[static_cast<std::size_t>(why)]; }) {
    server_.Start(2);
  }
  [[nodiscard]] unsigned short Port() const { return server_.Port(); }
  HttpServer* operator->() { return &server_; }
  [[nodiscard]] int Refused(Refusal why) const { return refused_[static_cast<std::size_t>(why)].load(); }
  [[nodiscard]] int RefusedFull() const { return Refused(Refusal::TooManyConnections); }
  [[nodiscard]] int RefusedClient() const { return Refused(Refusal::TooManyClientConnections); }

 private:
  std::array<std::atomic<int>, 4> refused_{};
  HttpServer server_;
};

// `count` connections from `from`, each sending a request head it never finishes.
std::vector<std::unique_ptr<Client>> SlowHeads(unsigned short port, const std::string& from, int count) {
  std::vector<std::unique_ptr<Client>> held;
  for (int i = 0; i < count; ++i) {
    held.push_back(std::make_unique<Client>(port, from.c_str()));
    held.back()->Send("GET / HTTP/1.1\r\nHost: x\r\n");
  }
  return held;
}

// Whether the server has closed the connection within `wait`, sending nothing: unlike
// ClosedSilently, a close that comes later (a timeout) does not count.
bool ClosedWithin(Client& client, std::chrono::milliseconds wait = 500ms) {
  pollfd watched{client.Socket().native_handle(), POLLIN, 0};
  if (::poll(&watched, 1, static_cast<int>(wait.count())) != 1) return false;
  char byte = 0;
  return ::recv(watched.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// Whether the server closes the connection within 5 s, sending nothing more.
bool ClosedSilently(Client& client) {
  bool closed = false;
  EXPECT_EQ(client.ReadToClose(5s, &closed), "");
  return closed;
}

// Responders a handler kept, for the test to call (or drop) when it likes.
class HeldResponders {
 public:
  void Add(Responder responder) {
    const std::scoped_lock lock(mutex_);
    held_.push_back(std::move(responder));
  }
  [[nodiscard]] std::size_t Count() {
    const std::scoped_lock lock(mutex_);
    return held_.size();
  }
  Responder Take() {
    const std::scoped_lock lock(mutex_);
    Responder first = std::move(held_.front());
    held_.erase(held_.begin());
    return first;
  }

 private:
  std::mutex mutex_;
  std::vector<Responder> held_;
};

std::string ErrorOf(const Response& response) {
  const auto json = nlohmann::json::parse(response.body(), nullptr, false);
  return json.is_object() && json.contains("error") ? json["error"].get<std::string>() : "";
}

// ---------------------------------------------------------------- addresses

TEST(ClientAddresses, NetworksParseAndMatch) {
  struct Case { const char* network; const char* address; bool contains; };
  const Case cases[] = {
      {"10.0.0.0/8", "11.0.0.1", false},
      {"10.0.0.0/8", "::ffff:10.1.2.3", true},  // an IPv4-mapped IPv6 peer
      {"10.0.0.0/8", "::a01:203", false},       // IPv4-compatible is not mapped
      {"10.9.9.9/8", "10.0.0.1", true},         // host bits ignored
      {"2001:db8::/32", "2001:db9::1", false},
      {"2001:db8::/32", "10.0.0.1", false},
      {"192.0.2.7", "192.0.2.7", true},  // no prefix: the one address
      {"::1", "::1", true},
      {"0.0.0.0/0", "203.0.113.9", true},
      {"2001:db8:1:2::/63", "2001:db8:1:3::9", true},
      {"2001:db8:1:2::/64", "2001:db8:1:3::9", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Network::Parse(c.network).Contains(net::ip::make_address(c.address)), c.contains)
        << c.network << " " << c.address;
  }
  for (const char* bad : {"", "10.0.0.0/33", "::/129", "10.0.0.0/", "10.0.0.0/+8", "10.0.0.0/8x", "10.0.0/8",
                          "example.com", "10.0.0.0/8/8", "fe80::1%eth0", "1.2.3.4:80", "/8", "10.0.0.0/-1"}) {
    const std::string message = test::RefusalOf([&] { return Network::Parse(bad); });
    EXPECT_NE(message.find("\"" + std::string(bad) + "\""), std::string::npos) << bad << " gave: " << message;
  }
}

TEST(ClientAddresses, KeysAreIPv4OrTheIPv6Slash64AndNetworksTheSlash24OrSlash48) {
  EXPECT_EQ(ClientKey(net::ip::make_address("192.0.2.7")), "192.0.2.7");
  EXPECT_EQ(ClientKey(net::ip::make_address("::ffff:192.0.2.7")), "192.0.2.7");
  // The host half dropped: a client rotating through its /64 stays one client.
  EXPECT_EQ(ClientKey(net::ip::make_address("2001:db8:1:2:aaaa:bbbb:cccc:dddd")), "2001:db8:1:2::/64");
  EXPECT_EQ(ClientKey(net::ip::make_address("fe80::1%1")), "fe80::/64");
  // A bot renting addresses across a block stays in one network.
  EXPECT_EQ(NetworkKey(net::ip::make_address("192.0.2.7")), "192.0.2.0/24");
  EXPECT_EQ(NetworkKey(net::ip::make_address("::ffff:192.0.2.250")), "192.0.2.0/24");
  EXPECT_EQ(NetworkKey(net::ip::make_address("2001:db8:1:ffff:aaaa::1")), "2001:db8:1::/48");
  EXPECT_NE(NetworkKey(net::ip::make_address("2001:db8:2::1")), NetworkKey(net::ip::make_address("2001:db8:1::1")));
}

TEST(ClientAddresses, ForwardedForIsWalkedFromTheRightPastTrustedProxies) {
  const std::vector<Network> proxies = {Network::Parse("10.0.0.0/8"), Network::Parse("2001:db8::/32")};
  const auto ip = [](const char* text) { return net::ip::make_address(text); };
  const auto proxy = ip("10.0.0.1");
  struct Case { net::ip::address peer; const char* header; const char* client; };
  const Case cases[] = {
      {ip("192.0.2.1"), "203.0.113.9", "192.0.2.1"},                   // untrusted peer: the header is ignored
      {proxy, "", "10.0.0.1"},                                         // nothing forwarded
      {proxy, " 1.2.3.4 ,  203.0.113.9 ", "203.0.113.9"},              // the client's own prefix is not believed
      {proxy, "203.0.113.9, 10.0.0.7, 10.1.1.1", "203.0.113.9"},       // past a chain of trusted hops
      {proxy, "10.0.0.7,10.0.0.8", "10.0.0.7"},                        // all trusted: the farthest one
      {proxy, "203.0.113.9, 10.0.0.7:8080", "10.0.0.1"},               // malformed: stop at the last trusted hop
      {proxy, "203.0.113.9, unknown, 10.0.0.7", "10.0.0.7"},
      {proxy, "1.2.3.4, 203.0.113.9,", "10.0.0.1"},                    // an empty entry is malformed too
      {proxy, "[2001:db9::5]", "2001:db9::5"},                          // bracketed IPv6
      {proxy, "[203.0.113.9]", "10.0.0.1"},                             // brackets are for IPv6 only
      {proxy, "fe80::1%eth0", "10.0.0.1"},
      {ip("::ffff:10.0.0.1"), "203.0.113.9", "203.0.113.9"},            // a mapped proxy is still the proxy
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClientAddress(proxies, c.peer, c.header), ip(c.client)) << c.header;
  }
}

// ---------------------------------------------------------------- connection caps

TEST(HttpServerCaps, OneClientTricklingHeadersFillsOnlyItsOwnShare) {
  const ServerLimits limits{
      .maxConnections = 64, .maxConnectionsPerClient = 8, .trustedProxies = {}};
  TestServer server(limits, [](Request&&, const Peer&, Responder respond) { respond(Text("hello")); });

  // The attacker: 100 connections from 127.0.0.2, each sending its headers a line at a time.
  constexpr int kAttack = 100;
  std::vector<std::unique_ptr<Client>> attack;
  for (int i = 0; i < kAttack; ++i) {
    attack.push_back(std::make_unique<Client>(server.Port(), "127.0.0.2"));
    attack.back()->Send("GET / HTTP/1.1\r\nHost: x\r\n");
  }
  const auto answered = [&] {
    return std::count_if(attack.begin(), attack.end(),
                         [](const auto& c) { return c->Socket().available() > 0; });
  };
  ASSERT_TRUE(Eventually([&] { return answered() == kAttack - 8; }));
  for (auto& connection : attack) {
    if (connection->Socket().available() == 0) {
      connection->Send("X-Slow: 1\r\n");  // the admitted ones keep trickling
      continue;
    }
    bool closed = false;
    const std::string refusal = connection->ReadToClose(5s, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(refusal.substr(0, 12), "HTTP/1.1 429") << refusal;
    EXPECT_NE(refusal.find("too_many_client_connections"), std::string::npos);
    EXPECT_NE(refusal.find("Retry-After: 1\r\n"), std::string::npos);
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(answered(), 0) << "the 8 held ones are still sending their headers: no answer yet";
  EXPECT_EQ(server.RefusedClient(), kAttack - 8);
  EXPECT_EQ(server.RefusedFull(), 0);

  // A visitor from another address is served all the while.
  Client visitor(server.Port(), "127.0.0.3");
  EXPECT_EQ(visitor.Call("/").body(), "hello");

  // Once the attacker lets go, its share is its own again.
  attack.clear();
  EXPECT_TRUE(Eventually([&] { return Client(server.Port(), "127.0.0.2").Call("/").result_int() == 200; }));
}

// The handler answers with the address of the connection and the client it stands for.
TEST(HttpServerCaps, TrustedProxiesNameTheClientAreExemptAndTheGlobalCapStays) {
  const ServerLimits limits{.maxConnections = 8,
                            .maxConnectionsPerClient = 2,
                            .trustedProxies = {Network::Parse("127.0.0.1/32")}};
  TestServer server(limits, [](Request&&, const Peer& peer, Responder respond) {
    respond(Text(peer.address.to_string() + " " + peer.client.to_string()));
  });

  // A trusted proxy carries many clients: five connections, all served and kept open.
  std::vector<std::unique_ptr<Client>> proxy;
  for (int i = 0; i < 5; ++i) {
    proxy.push_back(std::make_unique<Client>(server.Port()));
    EXPECT_EQ(proxy.back()->Call("/").result_int(), 200u) << i;
    // The server starts waiting for the next head only after its answer was sent, which a
    // loaded machine may delay past the client's next call: the gap keeps the order clear.
    if (i == 1) std::this_thread::sleep_for(50ms);
  }
  // A client that prepends its own choice, in a header of its own, still gets the address
  // the proxy saw.
  const std::string forged = "X-Forwarded-For: 1.2.3.4\r\nX-Forwarded-For: 203.0.113.9\r\n";
  EXPECT_EQ(proxy[0]->Call("/", forged).body(), "127.0.0.1 203.0.113.9");
  // An ordinary client gets two (a third would be refused, as for any client), and names
  // nobody but itself.
  Client first(server.Port(), "127.0.0.2");
  Client second(server.Port(), "127.0.0.2");
  EXPECT_EQ(first.Call("/", "X-Forwarded-For: 203.0.113.9\r\n").body(), "127.0.0.2 127.0.0.2");
  EXPECT_EQ(second.Call("/").result_int(), 200u);

  // Seven held; one more client fits; the next finds the table full, and the connection
  // idle longest (the proxy's second: the first was used again since) makes room for it.
  Client eighth(server.Port(), "127.0.0.3");
  EXPECT_EQ(eighth.Call("/").result_int(), 200u);
  Client ninth(server.Port(), "127.0.0.4");
  EXPECT_EQ(ninth.Call("/").result_int(), 200u);
  EXPECT_TRUE(ClosedWithin(*proxy[1]));
  EXPECT_FALSE(ClosedWithin(*proxy[0], 100ms)) << "used since, so not the one idle longest";
  EXPECT_EQ(server.RefusedClient(), 0);
  EXPECT_EQ(server.Refused(Refusal::Evicted), 1);
  EXPECT_EQ(server.RefusedFull(), 0);
}

// The attack: many addresses of one network, each within its own share, trickling request
// heads. The network's share holds them all; a visitor from another network is served.
TEST(HttpServerCaps, ManyAddressesOfOneNetworkFillOnlyTheNetworksShare) {
  const ServerLimits limits{.maxConnections = 256, .maxConnectionsPerClient = 8, .maxConnectionsPerNetwork = 24, .trustedProxies = {}};
  TestServer server(limits, [](Request&&, const Peer&, Responder respond) { respond(Text("hello")); });
  std::vector<std::unique_ptr<Client>> attack;
  for (int address = 1; address <= 8; ++address) {
    auto more = SlowHeads(server.Port(), "127.0.1." + std::to_string(address), 8);
    std::move(more.begin(), more.end(), std::back_inserter(attack));
  }
  ASSERT_TRUE(Eventually([&] { return server.Refused(Refusal::TooManyNetworkConnections) == 64 - 24; }));
  EXPECT_EQ(server.RefusedClient(), 0);
  const Response refused = Client(server.Port(), "127.0.1.99").Call("/");
  EXPECT_EQ(refused.result_int(), 429u);
  EXPECT_EQ(ErrorOf(refused), "too_many_network_connections");
  Client visitor(server.Port(), "127.0.2.1");
  EXPECT_EQ(visitor.Call("/").body(), "hello");
}

// The attack: slow heads from many networks filling the whole table. A newcomer is not
// refused: the connections that have waited longest for their heads make room, oldest
// first. Only when no connection is waiting for a head is a newcomer refused.
TEST(HttpServerCaps, AFullTableClosesTheConnectionWaitingLongestForItsHead) {
  const ServerLimits limits{.headerTimeout = 60s, .maxConnections = 64, .maxConnectionsPerClient = 8,
                            .trustedProxies = {}};
  TestServer server(limits, [](Request&&, const Peer&, Responder respond) { respond(Text("hello")); });
  std::vector<std::unique_ptr<Client>> attack;
  for (int i = 0; i < 64; ++i) {
    auto one = SlowHeads(server.Port(), "127.0." + std::to_string(i % 8 + 1) + ".1", 1);
    attack.push_back(std::move(one.front()));
    std::this_thread::sleep_for(2ms);  // so that the first ones have waited longest
  }
  ASSERT_TRUE(Eventually([&] { return server->Connections() == 64; }));
  // Each visitor stays connected, so that the next one finds the table full again.
  std::vector<std::unique_ptr<Client>> visitors;
  for (int i = 0; i < 5; ++i) {
    visitors.push_back(std::make_unique<Client>(server.Port(), "127.0.9.1"));
    EXPECT_EQ(visitors.back()->Call("/").body(), "hello") << i;
  }
  EXPECT_EQ(server.Refused(Refusal::Evicted), 5);
  EXPECT_EQ(server.RefusedFull(), 0);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(ClosedWithin(*attack[static_cast<std::size_t>(i)])) << i;
  for (const auto& visitor : visitors) EXPECT_FALSE(ClosedWithin(*visitor, 50ms)) << "a visitor was closed";
  attack[5]->Send("\r\n");
  EXPECT_EQ(attack[5]->Read().body(), "hello") << "the sixth oldest was left alone";
}

TEST(HttpServerCaps, AFullTableOfRequestsUnderWayRefusesTheNewcomer) {
  HeldResponders held;
  const ServerLimits limits{.maxConnections = 4, .trustedProxies = {}};
  TestServer server(limits, [&](Request&&, const Peer&, Responder respond) { held.Add(std::move(respond)); });
  std::vector<std::unique_ptr<Client>> busy;
  for (int i = 0; i < 4; ++i) {
    busy.push_back(std::make_unique<Client>(server.Port(), ("127.0." + std::to_string(i + 1) + ".1").c_str()));
    busy.back()->Get("/");
  }
  ASSERT_TRUE(Eventually([&] { return held.Count() == 4; }));
  const Response full = Client(server.Port(), "127.0.9.1").Call("/");
  EXPECT_EQ(full.result_int(), 503u);
  EXPECT_EQ(ErrorOf(full), "too_many_connections");
  EXPECT_EQ(server.Refused(Refusal::Evicted), 0);
  while (held.Count() > 0) std::thread(held.Take(), Text("done")).join();
}

// ---------------------------------------------------------------- answering later

TEST(HttpServerResponder, AnswersMayComeLaterFromAnotherThread) {
  HeldResponders held;
  TestServer server({}, [&](Request&&, const Peer&, Responder respond) { held.Add(std::move(respond)); });
  // Two requests sent at once on one connection: the second is not read, let alone
  // answered, before the first is answered.
  Client client(server.Port());
  client.Send("GET /first HTTP/1.1\r\nHost: x\r\n\r\nGET /second HTTP/1.1\r\nHost: x\r\n\r\n");
  ASSERT_TRUE(Eventually([&] { return held.Count() == 1; }));
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(held.Count(), 1u) << "the second request was read before the first was answered";
  std::thread(held.Take(), Text("answer to /first")).join();
  const Response first = client.Read();
  EXPECT_EQ(first.body(), "answer to /first");
  EXPECT_EQ(first[http::field::server], "quillgate");
  ASSERT_TRUE(Eventually([&] { return held.Count() == 1; }));
  std::thread(held.Take(), Text("answer to /second")).join();
  EXPECT_EQ(client.Read().body(), "answer to /second");
}

TEST(HttpServerResponder, AnswersToClientsThatLeftAndBrokenHandlers) {
  HeldResponders held;
  TestServer server({}, [&](Request&& request, const Peer&, Responder respond) {
    if (request.target() == "/hold") return held.Add(std::move(respond));
    if (request.target() == "/throw") throw std::runtime_error("handler bug");
    if (request.target() == "/drop") return;  // never answers, and forgets the Responder
    respond(Text("fine"));
  });
  {
    // The client leaves before its answer; answering then (twice, even) harms nothing.
    Client leaving(server.Port());
    leaving.Get("/hold");
    ASSERT_TRUE(Eventually([&] { return held.Count() == 1; }));
  }
  std::this_thread::sleep_for(50ms);
  const Responder late = held.Take();
  std::thread([late] { late(Text("nobody listens")); }).join();
  late(Text("a second answer is ignored"));
  EXPECT_TRUE(Eventually([&] { return server->Connections() == 0; })) << "the session went once answered";

  Client client(server.Port());
  const Response thrown = client.Call("/throw");
  EXPECT_EQ(thrown.result_int(), 500u);
  EXPECT_EQ(ErrorOf(thrown), "internal_error");
  EXPECT_EQ(client.Call("/").body(), "fine") << "the connection outlives a throwing handler";

  const Response dropped = client.Call("/drop");
  EXPECT_EQ(dropped.result_int(), 500u);
  EXPECT_EQ(ErrorOf(dropped), "internal_error");
  EXPECT_FALSE(dropped.keep_alive());
  EXPECT_TRUE(ClosedSilently(client))
      << "a connection whose Responder was lost is closed, not leaked";
}

// ---------------------------------------------------------------- HEAD

TEST(HttpServerHead, HeadGetsTheHeadersOfTheGetWithoutItsBody) {
  TestServer server({}, [](Request&&, const Peer&, Responder respond) {
    respond(Text("hello world"));
  });
  Client client(server.Port());
  client.Send("HEAD /page HTTP/1.1\r\nHost: x\r\n\r\n"
              "GET /page HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  bool closed = false;
  const std::string raw = client.ReadToClose(5s, &closed);
  EXPECT_TRUE(closed);
  // Two responses back to back: a header block with nothing after it, then the GET.
  const std::string head = raw.substr(0, raw.find("\r\n\r\n") + 4);
  const std::string get = raw.substr(head.size());
  EXPECT_EQ(head.substr(0, 12), "HTTP/1.1 200") << raw;
  EXPECT_NE(head.find("Content-Length: 11\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("Content-Type: text/plain\r\n"), std::string::npos) << head;
  EXPECT_EQ(get.substr(0, 12), "HTTP/1.1 200") << raw;
  EXPECT_EQ(get.substr(get.size() - 15), "\r\n\r\nhello world");
}

// ---------------------------------------------------------------- limits and timeouts

TEST(HttpServerLimits, RefusalsAreJsonAndSlowClientsAreCut) {
  // Idle connections wait the default 30 s.
  const ServerLimits limits{
      .bodyLimit = 64, .headerLimit = 1024, .headerTimeout = 500ms, .trustedProxies = {}};
  TestServer server(limits, [](Request&& request, const Peer&, Responder respond) {
    respond(Text("got " + request.body()));
  });
  struct Case { std::string bytes; const char* status; const char* error; };
  const Case cases[] = {
      {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 65\r\n\r\n" + std::string(65, 'a'), "413", "body_too_large"},
      {"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(2000, 'a') + "\r\n\r\n", "431", "headers_too_large"},
      {"BLAH\x01 / HTTP/1.1\r\n\r\n", "400", "bad_request"},
  };
  for (const Case& c : cases) {
    Client client(server.Port());
    client.Send(c.bytes);
    bool closed = false;
    const std::string reply = client.ReadToClose(5s, &closed);
    EXPECT_EQ(reply.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << reply;
    EXPECT_NE(reply.find("application/json"), std::string::npos) << reply;
    EXPECT_NE(reply.find(c.error), std::string::npos) << reply;
    EXPECT_TRUE(closed) << c.error;
  }
  {
    Client atLimit(server.Port());
    atLimit.Send("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 64\r\n\r\n" + std::string(64, 'a'));
    EXPECT_EQ(atLimit.Read().body(), "got " + std::string(64, 'a'));
  }
  {
    // Asked for permission, the client gets 100 Continue before it sends the body.
    Client polite(server.Port());
    polite.Send("POST / HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n");
    char interim[25] = {};
    beast::error_code ec;
    net::read(polite.Socket(), net::buffer(interim, 25), ec);
    EXPECT_EQ(std::string(interim, 25), "HTTP/1.1 100 Continue\r\n\r\n");
    polite.Send("hello");
    EXPECT_EQ(polite.Read().body(), "got hello");
  }
  {
    // Headers that never finish, on a new connection: cut without an answer.
    Client slow(server.Port());
    slow.Send("GET / HTTP/1.1\r\nHost: x\r\n");
    EXPECT_TRUE(ClosedSilently(slow));
  }
  {
    // Nor may a kept-alive connection trickle its next request for the long idle time:
    // once it starts, the headers have the header timeout.
    Client kept(server.Port());
    const Response first = kept.Call("/");
    EXPECT_EQ(first.result_int(), 200u);
    EXPECT_TRUE(first.keep_alive());
    kept.Send("GET / HTTP/1.1\r\n");
    EXPECT_TRUE(ClosedSilently(kept))
        << "cut after the header timeout, well before the idle timeout";
  }
}

TEST(HttpServerLimits, IdleKeptAliveConnectionsAreClosed) {
  TestServer server({.idleTimeout = 300ms, .trustedProxies = {}},
                    [](Request&&, const Peer&, Responder respond) { respond(Text("ok")); });
  Client client(server.Port());
  EXPECT_EQ(client.Call("/").body(), "ok");
  EXPECT_EQ(client.Call("/").body(), "ok") << "kept alive";
  EXPECT_TRUE(ClosedSilently(client));
}

// ---------------------------------------------------------------- drain

TEST(HttpServerDrain, FinishesWhatItTookOnAndClosesTheRest) {
  HeldResponders held;
  TestServer server({}, [&](Request&& request, const Peer&, Responder respond) {
    if (request.target() != "/slow") return respond(Text("quick"));
    held.Add(std::move(respond));
  });
  Client idle(server.Port(), "127.0.0.2");
  EXPECT_EQ(idle.Call("/").body(), "quick");
  Client halfSent(server.Port(), "127.0.0.3");
  halfSent.Send("GET / HTTP/1.1\r\n");
  Client busy(server.Port(), "127.0.0.4");
  busy.Get("/slow");
  ASSERT_TRUE(Eventually([&] { return held.Count() == 1 && server->Connections() == 3; }));

  server->Drain(20s);
  // No new connections are taken once Drain has returned: connecting is refused.
  EXPECT_THROW(Client newcomer(server.Port()), boost::system::system_error);
  std::thread(held.Take(), Text("done")).join();  // answered once the drain has begun
  const Response done = busy.Read();
  EXPECT_EQ(done.body(), "done");
  EXPECT_FALSE(done.keep_alive()) << "answered with Connection: close";
  // A request that had begun to arrive is answered, however long after the drain it ends.
  std::this_thread::sleep_for(400ms);
  halfSent.Send("Host: x\r\n\r\n");
  const Response late = halfSent.Read();
  EXPECT_EQ(late.body(), "quick");
  EXPECT_FALSE(late.keep_alive());
  for (Client* client : {&idle, &halfSent, &busy}) EXPECT_TRUE(ClosedSilently(*client));
  // Done when the last connection went, long before the 20 s grace.
  auto waited = std::async(std::launch::async, [&] { server->Wait(); });
  EXPECT_EQ(waited.wait_for(5s), std::future_status::ready);
}

// Clients that send their next request the moment an answer arrives, as a busy site's
// backend does with siteverify, which it cannot safely send twice: a drain must answer
// every request that reached the server and close each connection only after an answer
// that says so.
TEST(HttpServerDrain, AnswersEveryRequestUnderKeepAliveLoad) {
  constexpr int kRounds = 5;
  constexpr int kClients = 8;
  std::atomic<int> failed{0}, answered{0}, toldToClose{0};
  for (int round = 0; round < kRounds; ++round) {
    TestServer server({}, [](Request&&, const Peer&, Responder respond) { respond(Text("{\"success\":true}")); });
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.emplace_back([&, from = "127.0.1." + std::to_string(i + 1)] {
        Client client(server.Port(), from.c_str());
        for (;;) {
          Response response{http::status::unknown, 11};
          try {
            client.Send("POST /api/siteverify HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}");
            response = client.Read();
          } catch (const std::exception&) {  // the request could not even be sent
          }
          if (response.result() != http::status::ok) return void(++failed);
          ++answered;
          if (!response.keep_alive()) return void(++toldToClose);
        }
      });
    }
    std::this_thread::sleep_for(100ms);
    server->Drain(10s);
    for (auto& client : clients) client.join();
    server->Wait();
  }
  EXPECT_EQ(failed.load(), 0) << answered.load() << " answered";
  EXPECT_EQ(toldToClose.load(), kRounds * kClients);
}

TEST(HttpServerDrain, GraceEndsItAndLateAnswersAreHarmless) {
  HeldResponders held;
  Responder afterDestruction;
  {
    TestServer server({}, [&](Request&&, const Peer&, Responder respond) { held.Add(std::move(respond)); });
    Client first(server.Port(), "127.0.0.2");
    Client second(server.Port(), "127.0.0.3");
    first.Get("/");
    second.Get("/");
    ASSERT_TRUE(Eventually([&] { return held.Count() == 2; }));
    server->Drain(300ms);
    auto waited = std::async(std::launch::async, [&] { server->Wait(); });
    EXPECT_EQ(waited.wait_for(5s), std::future_status::ready) << "the grace ran out";
    held.Take()(Text("after the workers stopped"));
    afterDestruction = held.Take();
  }
  afterDestruction(Text("after the server is gone"));
}

}  // namespace
}  // namespace quillgate::service
