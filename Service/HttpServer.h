#pragma once
// The HTTP/1.1 front of the service on Boost.Beast: accepts connections, reads requests
// within limits, hands each whole request to the handler and writes its answer. Every
// refusal the server makes itself (too large, malformed, too many connections) is a JSON
// error with its proper status; a client too slow to send its request is disconnected.

#include <boost/beast/http.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace quillgate::service {

using Request = boost::beast::http::request<boost::beast::http::string_body>;
using Response = boost::beast::http::response<boost::beast::http::string_body>;
using RequestHandler = std::function<Response(const Request&)>;

struct ServerLimits {
  std::size_t bodyLimit = 16 * 1024;
  std::size_t headerLimit = 8 * 1024;
  // A new connection must send its request headers within headerTimeout, and every body
  // and answer must move within it too; a kept-alive connection may wait idleTimeout for
  // its next request.
  std::chrono::milliseconds headerTimeout{10'000};
  std::chrono::milliseconds idleTimeout{30'000};
  std::size_t maxConnections = 512;
};

// {"error": code, "message": message} with the status and the JSON headers.
[[nodiscard]] Response JsonError(boost::beast::http::status status, std::string_view code,
                                 std::string_view message);

class HttpServer {
 public:
  // Binds and listens at once (port 0: any free port, see Port()). Throws
  // std::runtime_error when the address cannot be had.
  HttpServer(const std::string& address, unsigned short port, ServerLimits limits,
             RequestHandler handler, std::function<void()> onConnectionRefused = {});
  ~HttpServer();  // stops and joins the workers
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  [[nodiscard]] unsigned short Port() const;
  // Serves on `workers` threads; returns at once.
  void Start(int workers);
  // Asks the workers to finish; safe from any thread and from a signal handler's strand.
  void Stop();
  // Blocks until every worker has finished.
  void Wait();

 // The parts its connections share (defined and used only in HttpServer.cpp).
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace quillgate::service
