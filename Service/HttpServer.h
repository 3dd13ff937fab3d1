#pragma once
// The HTTP/1.1 front of the service on Boost.Beast: accepts connections, reads requests
// within limits, hands each whole request to the handler and writes its answer when the
// handler gives it (at once, or later from another thread: the render pool). Every refusal
// the server makes itself (too large, malformed, too many connections) is a JSON error with
// its proper status; a client too slow to send its request is disconnected.
//
// One address may hold only `maxConnectionsPerClient` connections (counted per ClientKey of
// the peer, so per IPv6 /64), and one network only `maxConnectionsPerNetwork` (an IPv4 /24,
// an IPv6 /48), so a client trickling header bytes over hundreds of connections fills its
// own share, and a bot renting many addresses in a few networks those networks' shares,
// not the server's cap. Trusted proxies are exempt: they carry many clients.
//
// When the table is full all the same (a bot in many networks), a newcomer is not refused:
// room is made by closing the connection that has waited longest for its request head
// (sending it slowly, or idle between requests). A visitor's head arrives in milliseconds,
// so the connections that go are the ones that send nothing useful; only when no
// connection is waiting for a head (all are being answered) is the newcomer refused.
//
// HEAD is answered for every GET route: the handler sees the HEAD and answers it as a GET
// (or skips work whose body would not be sent); the client gets the headers (with the
// Content-Length of the body the handler made) and no body.

#include "Service/ClientAddress.h"

#include <boost/beast/http.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillgate::service {

using Request = boost::beast::http::request<boost::beast::http::string_body>;
using Response = boost::beast::http::response<boost::beast::http::string_body>;

// Who sent a request: the connection's peer, and the client it stands for (the peer, or
// the client a trusted proxy names in X-Forwarded-For).
struct Peer {
  boost::asio::ip::address address;  // the TCP peer
  boost::asio::ip::address client;   // after --trust-proxy
};

// Gives the answer to a request. Call it exactly once, from any thread; the connection
// stays open (and reads nothing more) until it is called.
using Responder = std::function<void(Response)>;
using RequestHandler = std::function<void(Request&&, const Peer&, Responder)>;

// What an idle connection may cost this server. Measured (bench/ConnectionBench.cpp,
// BM_IdleConnectionMemory, 2,000 connections each holding an unfinished request head):
// about 4.3 KB of the server's own memory (session, buffer, parser) and 3.9 KB of the
// kernel's (socket, file), 8.2 KB in all; twice that is allowed, for socket buffers that
// fill while a client does not read.
constexpr std::size_t kBytesPerIdleConnection = 16 * 1024;

// Connections at most by default: what a sixteenth of the machine's memory holds at
// kBytesPerIdleConnection each, within the open-file limit (less a reserve for the
// server's own files), and at least 64.
[[nodiscard]] std::size_t DefaultMaxConnections();

struct ServerLimits {
  std::size_t bodyLimit = 16 * 1024;
  std::size_t headerLimit = 8 * 1024;
  // A new connection must send its request headers within headerTimeout, and every body
  // and answer must move within it too; a kept-alive connection may wait idleTimeout for
  // its next request.
  std::chrono::milliseconds headerTimeout{10'000};
  std::chrono::milliseconds idleTimeout{30'000};
  std::size_t maxConnections = DefaultMaxConnections();
  std::size_t maxConnectionsPerClient = 32;
  std::size_t maxConnectionsPerNetwork = 256;
  std::vector<Network> trustedProxies;
};

// {"error": code, "message": message} with the status and the JSON headers.
[[nodiscard]] Response JsonError(boost::beast::http::status status, std::string_view code,
                                 std::string_view message);

// Why the server turned a connection away itself, for the metrics.
enum class Refusal { TooManyConnections, TooManyClientConnections, TooManyNetworkConnections, Evicted };

class HttpServer {
 public:
  // Binds and listens at once (port 0: any free port, see Port()). Throws
  // std::runtime_error when the address cannot be had.
  HttpServer(const std::string& address, unsigned short port, ServerLimits limits,
             RequestHandler handler, std::function<void(Refusal)> onRefused = {});
  ~HttpServer();  // stops and joins the workers
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  [[nodiscard]] unsigned short Port() const;
  // Serves on `workers` threads; returns at once.
  void Start(int workers);
  // Stops accepting, closes idle connections, lets requests in flight finish and answer
  // (each then closes its connection), and stops the workers once none is left or `grace`
  // has passed. Returns at once; Wait() blocks until the workers are done.
  void Drain(std::chrono::milliseconds grace);
  // Asks the workers to finish now; safe from any thread.
  void Stop();
  // Blocks until every worker has finished.
  void Wait();
  // Connections open now (for tests and /readyz).
  [[nodiscard]] std::size_t Connections() const;

  // The parts its connections share (defined and used only in HttpServer.cpp).
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace quillgate::service
