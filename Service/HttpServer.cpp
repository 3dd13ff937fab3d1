#include "Service/HttpServer.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <nlohmann/json.hpp>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quillgate::service {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

Response JsonError(http::status status, std::string_view code, std::string_view message) {
  Response response{status, 11};
  response.set(http::field::content_type, "application/json");
  response.set(http::field::cache_control, "no-store");
  nlohmann::json body = {{"error", code}, {"message", message}};
  response.body() = body.dump();
  return response;
}

struct HttpServer::State {
  State(ServerLimits l, RequestHandler h, std::function<void()> refused)
      : limits(l), handler(std::move(h)), onRefused(std::move(refused)), acceptor(net::make_strand(io)) {}

  ServerLimits limits;
  RequestHandler handler;
  std::function<void()> onRefused;
  std::atomic<std::size_t> connections{0};
  std::mutex workersMutex;
  std::vector<std::thread> workers;
  // Declared last, destroyed first: it takes every pending session with it while the rest
  // of the state, which sessions point at without owning, is still there.
  net::io_context io;
  tcp::acceptor acceptor;
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, HttpServer::State* state)
      : stream_(std::move(socket)), state_(state) {
    state_->connections.fetch_add(1, std::memory_order_relaxed);
  }
  ~Session() { state_->connections.fetch_sub(1, std::memory_order_relaxed); }

  void Start() {
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->ReadHeader(); });
  }

  // At the connection cap: one answer, then the connection closes.
  void Refuse() {
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] {
      self->Send(JsonError(http::status::service_unavailable, "too_many_connections",
                           "the server is at its connection limit; try again shortly"),
                 false);
    });
  }

 private:
  void ReadHeader() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(state_->limits.headerLimit));
    parser_->body_limit(state_->limits.bodyLimit);
    stream_.expires_after(first_ ? state_->limits.headerTimeout : state_->limits.idleTimeout);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              self->OnHeader(ec);
                            });
  }

  void OnHeader(beast::error_code ec) {
    if (ec) return OnReadError(ec);
    // A client that waits for permission before sending its body gets it.
    if (parser_->get()[http::field::expect] == "100-continue") {
      http::response<http::empty_body> proceed{http::status::continue_, 11};
      beast::error_code ignored;
      http::write(stream_.socket(), proceed, ignored);
    }
    stream_.expires_after(state_->limits.headerTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec2, std::size_t) {
                       self->OnRequest(ec2);
                     });
  }

  void OnReadError(beast::error_code ec) {
    if (ec == http::error::body_limit) {
      return Send(JsonError(http::status::payload_too_large, "body_too_large",
                            "the request body is over " +
                                std::to_string(state_->limits.bodyLimit) + " bytes"),
                  false);
    }
    if (ec == http::error::header_limit) {
      return Send(JsonError(http::status::request_header_fields_too_large, "headers_too_large",
                            "the request headers are too large"),
                  false);
    }
    if (ec.category() == beast::error_code(http::error::end_of_stream).category() &&
        ec != http::error::end_of_stream && ec != http::error::partial_message) {
      return Send(JsonError(http::status::bad_request, "bad_request",
                            "malformed HTTP request: " + ec.message()),
                  false);
    }
    // Closed, reset or timed out (the stream has already closed itself then).
    Close();
  }

  void OnRequest(beast::error_code ec) {
    if (ec) return OnReadError(ec);
    first_ = false;
    const Request& request = parser_->get();
    const bool keepAlive = request.keep_alive();
    Response response;
    try {
      response = state_->handler(request);
    } catch (const std::exception&) {
      response = JsonError(http::status::internal_server_error, "internal_error",
                           "the request could not be handled");
    }
    Send(std::move(response), keepAlive);
  }

  void Send(Response response, bool keepAlive) {
    response_ = std::move(response);
    response_.version(11);
    response_.set(http::field::server, "quillgate");
    response_.keep_alive(keepAlive);
    response_.prepare_payload();
    stream_.expires_after(state_->limits.headerTimeout);
    http::async_write(stream_, response_,
                      [self = shared_from_this(), keepAlive](beast::error_code ec, std::size_t) {
                        if (ec || !keepAlive) return self->Close();
                        self->ReadHeader();
                      });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  HttpServer::State* state_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  Response response_;
  bool first_ = true;
};

void Accept(HttpServer::State* state) {
  state->acceptor.async_accept(
      net::make_strand(state->io), [state](beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !state->acceptor.is_open()) return;
        if (!ec) {
          const bool full =
              state->connections.load(std::memory_order_relaxed) >= state->limits.maxConnections;
          auto session = std::make_shared<Session>(std::move(socket), state);
          if (full) {
            if (state->onRefused) state->onRefused();
            session->Refuse();
          } else {
            session->Start();
          }
        }
        Accept(state);
      });
}

}  // namespace

HttpServer::HttpServer(const std::string& address, unsigned short port, ServerLimits limits,
                       RequestHandler handler, std::function<void()> onConnectionRefused)
    : state_(std::make_unique<State>(limits, std::move(handler), std::move(onConnectionRefused))) {
  beast::error_code ec;
  const net::ip::address ip = net::ip::make_address(address, ec);
  if (ec) throw std::runtime_error("--listen: not an IP address: " + address);
  const tcp::endpoint endpoint{ip, port};
  auto& acceptor = state_->acceptor;
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " +
                             ec.message());
  }
}

HttpServer::~HttpServer() {
  Stop();
  Wait();
}

unsigned short HttpServer::Port() const { return state_->acceptor.local_endpoint().port(); }

void HttpServer::Start(int workers) {
  Accept(state_.get());
  const std::scoped_lock lock(state_->workersMutex);
  for (int i = 0; i < std::max(1, workers); ++i) {
    state_->workers.emplace_back([state = state_.get()] { state->io.run(); });
  }
}

void HttpServer::Stop() {
  net::post(state_->acceptor.get_executor(), [state = state_.get()] {
    beast::error_code ignored;
    state->acceptor.close(ignored);
  });
  state_->io.stop();
}

void HttpServer::Wait() {
  std::vector<std::thread> workers;
  {
    const std::scoped_lock lock(state_->workersMutex);
    workers.swap(state_->workers);
  }
  for (auto& worker : workers) {
    if (worker.joinable()) worker.join();
  }
}

}  // namespace quillgate::service
