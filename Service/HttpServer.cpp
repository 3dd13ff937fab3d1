#include "Service/HttpServer.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <nlohmann/json.hpp>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>
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
  const nlohmann::json body = {{"error", code}, {"message", message}};
  response.body() = body.dump();
  return response;
}

namespace {

class Session;

// io_context destroys the handlers it still holds only when it is destroyed; the server
// needs that earlier (see ~HttpServer), so the protected shutdown is made callable here.
class IoContext : public net::io_context {
 public:
  using net::io_context::shutdown;
};

// Once an error answer is written and our side is shut, what the client still sends is read
// and dropped for this long (or up to kLingerBytes) before the socket closes: closing with
// unread bytes makes the kernel send a reset, which can destroy the answer on its way.
constexpr std::chrono::milliseconds kLinger{1000};
constexpr std::size_t kLingerBytes = 64 * 1024;
// While draining, a kept-alive connection counts as idle, and is closed, once it has had no
// request for this long since its last answer. Closing one at once would cut off a client
// whose next request is already on its way: under load, some always are, and a request
// like siteverify cannot safely be sent again. Checked every kDrainSweep.
constexpr std::chrono::milliseconds kDrainIdle{200};
constexpr std::chrono::milliseconds kDrainSweep{50};
// After a failed accept (out of file descriptors, usually) the next try waits this long, so
// the loop does not spin while nothing can be accepted.
constexpr std::chrono::milliseconds kAcceptBackoff{50};
// Open files kept for the server's own use (listening sockets, Redis, logs) when the
// default connection limit is taken from the open-file limit.
constexpr std::size_t kReservedFiles = 256;

std::int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Takes one off a count of a map, dropping the entry at zero so the map holds only the
// clients and networks that are connected now.
void Release(std::unordered_map<std::string, std::size_t>& counts, const std::string& key) {
  if (key.empty()) return;
  const auto it = counts.find(key);
  if (it != counts.end() && --it->second == 0) counts.erase(it);
}

}  // namespace

std::size_t DefaultMaxConnections() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  std::size_t limit = 100'000;
  if (pages > 0 && pageSize > 0) {
    limit = std::min(limit, static_cast<std::size_t>(pages) / 16 * static_cast<std::size_t>(pageSize) /
                                kBytesPerIdleConnection);
  }
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
    const auto usable = static_cast<std::size_t>(files.rlim_cur);
    limit = std::min(limit, usable > 2 * kReservedFiles ? usable - kReservedFiles : usable / 2);
  }
  return std::max<std::size_t>(limit, 64);
}

// What sessions share. Owned jointly by the server and every session (and, through the
// Responders, whatever thread holds one), so a session answered after the server is gone
// still has the io_context its socket belongs to.
struct Core {
  Core(ServerLimits l, RequestHandler h, std::function<void(Refusal)> refused)
      : limits(std::move(l)),
        handler(std::move(h)),
        onRefused(std::move(refused)),
        acceptor(net::make_strand(io)),
        acceptRetry(acceptor.get_executor()),
        drainTimer(acceptor.get_executor()),
        drainSweep(acceptor.get_executor()) {}

  const ServerLimits limits;
  const RequestHandler handler;
  const std::function<void(Refusal)> onRefused;

  std::atomic<std::size_t> open{0};      // every session alive, refused ones included
  std::atomic<std::size_t> admitted{0};  // sessions counted against maxConnections
  std::atomic<bool> draining{false};
  std::atomic<bool> acceptorClosed{false};
  unsigned short port = 0;  // kept: the acceptor forgets it once closed

  std::mutex mutex;  // guards perClient, perNetwork and sessions
  std::unordered_map<std::string, std::size_t> perClient;
  std::unordered_map<std::string, std::size_t> perNetwork;
  std::unordered_map<const Session*, std::weak_ptr<Session>> sessions;

  // Closed when the server is destroyed; answers arriving later are dropped, not posted to
  // an io_context that no longer runs.
  std::mutex gateMutex;
  bool gateOpen = true;

  IoContext io;
  tcp::acceptor acceptor;
  net::steady_timer acceptRetry;
  net::steady_timer drainTimer;
  net::steady_timer drainSweep;

  void Refused(Refusal why) const {
    if (onRefused) onRefused(why);
  }

  // A draining server is done once it accepts no more and its last connection has gone.
  void StopIfDrained() {
    if (draining.load() && acceptorClosed.load() && open.load() == 0) io.stop();
  }
};

struct HttpServer::State {
  std::shared_ptr<Core> core;
  std::mutex workersMutex;
  std::vector<std::thread> workers;
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
 public:
  // `clientKey` and `networkKey` are the keys the connection is counted under, empty when
  // it is not counted (a trusted proxy, or a connection being refused).
  Session(tcp::socket socket, std::shared_ptr<Core> core, net::ip::address peer, std::string clientKey,
          std::string networkKey, bool admitted)
      : core_(std::move(core)),
        stream_(std::move(socket)),
        peer_(peer),
        clientKey_(std::move(clientKey)),
        networkKey_(std::move(networkKey)),
        admitted_(admitted) {
    core_->open.fetch_add(1);
    if (admitted_) core_->admitted.fetch_add(1);
  }

  ~Session() {
    {
      const std::scoped_lock lock(core_->mutex);
      core_->sessions.erase(this);
      Release(core_->perClient, clientKey_);
      Release(core_->perNetwork, networkKey_);
    }
    if (admitted_) core_->admitted.fetch_sub(1);
    // The last connection of a draining server lets the workers go.
    if (core_->open.fetch_sub(1) == 1) core_->StopIfDrained();
  }

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Start() {
    {
      const std::scoped_lock lock(core_->mutex);
      core_->sessions.emplace(this, weak_from_this());
    }
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->ReadHeader(); });
  }

  // Turned away at accept: one answer, then the connection closes.
  void Refuse(Response response) {
    net::dispatch(stream_.get_executor(), [self = shared_from_this(), r = std::move(response)]() mutable {
      self->Send(std::move(r), false);
    });
  }

  // From the drain's sweeps: a connection that has waited kDrainIdle for a request and
  // received none of it goes; one whose request has begun to arrive, or is being handled
  // or answered, finishes it first (and then closes, see Send).
  void OnDrainSweep(std::int64_t nowNs) {
    net::dispatch(stream_.get_executor(), [self = shared_from_this(), nowNs] {
      if (self->phase_ != Phase::Header) return;
      const std::int64_t since = self->waitingSinceNs_.load(std::memory_order_relaxed);
      if (since == 0 || nowNs - since < std::chrono::nanoseconds(kDrainIdle).count()) return;
      beast::error_code ec;
      const bool arrived = (self->parser_ && self->parser_->got_some()) || self->buffer_.size() > 0 ||
                           self->stream_.socket().available(ec) > 0;
      if (ec || !arrived) self->Close();
    });
  }

  // Since when (steady nanoseconds) the connection has waited for its request head, new or
  // kept alive; 0 while a request is under way. Read under the core's mutex by the accept
  // path choosing whom to close when the table is full.
  [[nodiscard]] std::int64_t WaitingSince() const { return waitingSinceNs_.load(std::memory_order_relaxed); }

  // Claims this connection for closing (once, from the accept path): false if its head
  // arrived, or another newcomer claimed it, since `since` was read.
  bool ClaimForEviction(std::int64_t since) { return waitingSinceNs_.compare_exchange_strong(since, 0); }

  // Closes a claimed connection if it is still waiting for its head.
  void Evict() {
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] {
      if (self->phase_ == Phase::Header) self->Close();
    });
  }

  // The Responder's way in, from any thread. `close` ends the connection after the answer.
  void Answer(Response response, bool close) {
    const std::scoped_lock lock(core_->gateMutex);
    if (!core_->gateOpen) return;
    net::post(stream_.get_executor(), [self = shared_from_this(), r = std::move(response), close]() mutable {
      self->Send(std::move(r), self->keepAlive_ && !close);
    });
  }

 private:
  enum class Phase { Header, Body, Handling, Writing, Closing };

  // Calls Answer once; the handler may copy it freely. If every copy is dropped unanswered
  // (a bug in the handler), the client gets a 500 and the connection closes instead of
  // staying open, reading nothing, forever.
  class Reply {
   public:
    explicit Reply(std::shared_ptr<Session> session) : session_(std::move(session)) {}
    ~Reply() {
      if (!answered_.exchange(true)) {
        session_->Answer(JsonError(http::status::internal_server_error, "internal_error",
                                   "the request was not answered"),
                         true);
      }
    }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    void operator()(Response response) {
      if (answered_.exchange(true)) return;
      session_->Answer(std::move(response), false);
      // A handler may keep its Responder long after answering (in a queue, a lambda); the
      // session must not live, and count as a connection, that long.
      session_.reset();
    }

   private:
    std::shared_ptr<Session> session_;
    std::atomic<bool> answered_{false};
  };

  void ReadHeader() {
    // Even while draining: the client may already be sending its next request, which is
    // then answered with Connection: close. The drain's sweeps close the connection if not.
    phase_ = Phase::Header;
    waitingSinceNs_.store(SteadyNs(), std::memory_order_relaxed);
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(std::min<std::size_t>(core_->limits.headerLimit, UINT32_MAX)));
    parser_->body_limit(core_->limits.bodyLimit);
    if (!first_ && buffer_.size() == 0) {
      // A kept-alive connection may sit idle for idleTimeout, but once its next request
      // starts, the headers must arrive within headerTimeout like on a new connection.
      stream_.expires_after(core_->limits.idleTimeout);
      stream_.async_read_some(buffer_.prepare(512), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
        if (ec) return self->Close();
        self->buffer_.commit(n);
        self->ReadRestOfHeader();
      });
      return;
    }
    ReadRestOfHeader();
  }

  void ReadRestOfHeader() {
    stream_.expires_after(core_->limits.headerTimeout);
    http::async_read_header(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      self->OnHeader(ec);
    });
  }

  void OnHeader(beast::error_code ec) {
    waitingSinceNs_.store(0, std::memory_order_relaxed);
    if (ec) return OnReadError(ec);
    phase_ = Phase::Body;
    stream_.expires_after(core_->limits.headerTimeout);
    // A client that waits for permission before sending its body gets it.
    if (!parser_->is_done() && beast::iequals(parser_->get()[http::field::expect], "100-continue")) {
      continue_.emplace(http::status::continue_, 11);
      http::async_write(stream_, *continue_, [self = shared_from_this()](beast::error_code ec2, std::size_t) {
        self->continue_.reset();
        if (ec2) return self->Close();
        self->ReadBody();
      });
      return;
    }
    ReadBody();
  }

  void ReadBody() {
    http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      self->OnRequest(ec);
    });
  }

  void OnReadError(beast::error_code ec) {
    if (ec == http::error::body_limit) {
      return Send(JsonError(http::status::payload_too_large, "body_too_large",
                            "the request body is over " + std::to_string(core_->limits.bodyLimit) + " bytes"),
                  false);
    }
    if (ec == http::error::header_limit) {
      return Send(JsonError(http::status::request_header_fields_too_large, "headers_too_large",
                            "the request headers are too large"),
                  false);
    }
    if (ec.category() == beast::error_code(http::error::end_of_stream).category() &&
        ec != http::error::end_of_stream && ec != http::error::partial_message) {
      return Send(JsonError(http::status::bad_request, "bad_request", "malformed HTTP request: " + ec.message()),
                  false);
    }
    // Closed, reset, timed out or cancelled by Drain.
    Close();
  }

  void OnRequest(beast::error_code ec) {
    if (ec) return OnReadError(ec);
    phase_ = Phase::Handling;
    first_ = false;
    Request request = parser_->release();
    parser_.reset();
    keepAlive_ = request.keep_alive();
    head_ = request.method() == http::verb::head;
    std::string forwardedFor;
    const auto [from, to] = request.equal_range("X-Forwarded-For");
    for (auto field = from; field != to; ++field) {
      if (!forwardedFor.empty()) forwardedFor += ',';
      forwardedFor.append(field->value().data(), field->value().size());
    }
    const Peer peer{peer_, ClientAddress(core_->limits.trustedProxies, peer_, forwardedFor)};
    // The handler may take its time (the render pool); the client waits without a clock.
    stream_.expires_never();
    const auto reply = std::make_shared<Reply>(shared_from_this());
    const Responder responder = [reply](Response response) { (*reply)(std::move(response)); };
    try {
      core_->handler(std::move(request), peer, responder);
    } catch (...) {
      responder(JsonError(http::status::internal_server_error, "internal_error", "the request could not be handled"));
    }
  }

  void Send(Response response, bool keepAlive) {
    if (!stream_.socket().is_open() || phase_ == Phase::Writing || phase_ == Phase::Closing) return;
    phase_ = Phase::Writing;
    // A draining server answers what it took on, then lets the connection go.
    if (core_->draining.load()) keepAlive = false;
    response_ = std::move(response);
    response_.version(11);
    response_.set(http::field::server, "quillgate");
    response_.keep_alive(keepAlive);
    // A HEAD answered without making the body (the handler skipped costly work) says no
    // length rather than a false one of 0.
    if (!head_ || !response_.body().empty() || response_.has_content_length()) response_.prepare_payload();
    stream_.expires_after(core_->limits.headerTimeout);
    auto done = [self = shared_from_this(), keepAlive](beast::error_code ec, std::size_t) {
      self->headSerializer_.reset();
      if (ec) return self->Close();
      if (!keepAlive) return self->Linger();
      self->ReadHeader();
    };
    if (head_) {
      // The Content-Length of the body, but not the body.
      head_ = false;
      headSerializer_.emplace(response_);
      http::async_write_header(stream_, *headSerializer_, std::move(done));
    } else {
      http::async_write(stream_, response_, std::move(done));
    }
  }

  void Linger() {
    phase_ = Phase::Closing;
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kLinger);
    buffer_.clear();
    DropInput();
  }

  void DropInput() {
    stream_.async_read_some(buffer_.prepare(4096), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
      self->lingered_ += n;
      self->buffer_.clear();
      if (ec || self->lingered_ >= kLingerBytes) return self->Close();
      self->DropInput();
    });
  }

  void Close() {
    phase_ = Phase::Closing;
    if (!stream_.socket().is_open()) return;
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  const std::shared_ptr<Core> core_;  // first: outlives the socket, which needs its io_context
  beast::tcp_stream stream_;
  const net::ip::address peer_;
  const std::string clientKey_;
  const std::string networkKey_;
  const bool admitted_;
  std::atomic<std::int64_t> waitingSinceNs_{0};
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::optional<http::response<http::empty_body>> continue_;
  Response response_;
  std::optional<http::response_serializer<http::string_body>> headSerializer_;
  Phase phase_ = Phase::Header;
  bool first_ = true;
  bool head_ = false;
  bool keepAlive_ = false;
  std::size_t lingered_ = 0;
};

enum class Place { Taken, ClientFull, NetworkFull };

// Counts the connection against its client's and its network's shares, unless one is full.
// Trusted proxies carry many clients and are not counted (empty keys).
Place TakeClientPlace(Core& core, const net::ip::address& peer, std::string& clientKey, std::string& networkKey) {
  if (IsTrusted(core.limits.trustedProxies, peer)) {
    clientKey.clear();
    networkKey.clear();
    return Place::Taken;
  }
  clientKey = ClientKey(peer);
  networkKey = NetworkKey(peer);
  const std::scoped_lock lock(core.mutex);
  const auto client = core.perClient.find(clientKey);
  if (client != core.perClient.end() && client->second >= core.limits.maxConnectionsPerClient) return Place::ClientFull;
  const auto network = core.perNetwork.find(networkKey);
  if (network != core.perNetwork.end() && network->second >= core.limits.maxConnectionsPerNetwork) {
    return Place::NetworkFull;
  }
  ++core.perClient[clientKey];
  ++core.perNetwork[networkKey];
  return Place::Taken;
}

void GiveBackClientPlace(Core& core, const std::string& clientKey, const std::string& networkKey) {
  const std::scoped_lock lock(core.mutex);
  Release(core.perClient, clientKey);
  Release(core.perNetwork, networkKey);
}

// The connection that has waited longest for its request head, claimed so that no other
// newcomer closes it too; nullptr when every connection has a request under way. One pass
// over the table, made only while it is full.
std::shared_ptr<Session> ClaimLongestWaiting(Core& core) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::shared_ptr<Session> oldest;
    std::int64_t oldestSince = 0;
    {
      const std::scoped_lock lock(core.mutex);
      // A session erases itself under this mutex before it goes, so every key is alive here.
      const Session* chosen = nullptr;
      for (const auto& [session, weak] : core.sessions) {
        const std::int64_t since = session->WaitingSince();
        if (since != 0 && (chosen == nullptr || since < oldestSince)) {
          chosen = session;
          oldestSince = since;
        }
      }
      if (chosen == nullptr) return nullptr;
      oldest = core.sessions.at(chosen).lock();
    }
    // Its head may have arrived meanwhile, or another newcomer claimed it: look again.
    if (oldest && oldest->ClaimForEviction(oldestSince)) return oldest;
  }
  return nullptr;
}

void Accept(const std::shared_ptr<Core>& core);

void OnAccepted(const std::shared_ptr<Core>& core, beast::error_code ec, tcp::socket socket) {
  if (ec == net::error::operation_aborted || !core->acceptor.is_open()) return;
  if (ec) {
    core->acceptRetry.expires_after(kAcceptBackoff);
    core->acceptRetry.async_wait([core](beast::error_code waitEc) {
      if (!waitEc) Accept(core);
    });
    return;
  }
  if (core->draining.load()) return;  // the socket closes as it goes out of scope
  beast::error_code endpointEc;
  const auto remote = socket.remote_endpoint(endpointEc);
  if (endpointEc) return Accept(core);  // gone already
  const net::ip::address peer = remote.address();
  std::string clientKey;
  std::string networkKey;
  const auto refuse = [&](Refusal why, http::status status, std::string_view code, std::string_view message) {
    core->Refused(why);
    Response refusal = JsonError(status, code, message);
    refusal.set(http::field::retry_after, "1");
    std::make_shared<Session>(std::move(socket), core, peer, std::string{}, std::string{}, false)
        ->Refuse(std::move(refusal));
  };
  switch (TakeClientPlace(*core, peer, clientKey, networkKey)) {
    case Place::ClientFull:
      refuse(Refusal::TooManyClientConnections, http::status::too_many_requests, "too_many_client_connections",
             "this address holds too many connections; close some and try again");
      return Accept(core);
    case Place::NetworkFull:
      refuse(Refusal::TooManyNetworkConnections, http::status::too_many_requests, "too_many_network_connections",
             "this address's network holds too many connections; try again shortly");
      return Accept(core);
    case Place::Taken:
      break;
  }
  if (core->admitted.load() >= core->limits.maxConnections) {
    // Full: the connection that has waited longest for its head makes room. It is counted
    // out once it has closed, so the table may hold one more for a moment per newcomer.
    if (const auto oldest = ClaimLongestWaiting(*core)) {
      core->Refused(Refusal::Evicted);
      oldest->Evict();
    } else {
      GiveBackClientPlace(*core, clientKey, networkKey);
      refuse(Refusal::TooManyConnections, http::status::service_unavailable, "too_many_connections",
             "the server is at its connection limit; try again shortly");
      return Accept(core);
    }
  }
  std::make_shared<Session>(std::move(socket), core, peer, std::move(clientKey), std::move(networkKey), true)
      ->Start();
  Accept(core);
}

void Accept(const std::shared_ptr<Core>& core) {
  // The acceptor's handlers hold the core only weakly: they must not keep it alive by
  // sitting in its own io_context.
  core->acceptor.async_accept(net::make_strand(core->io),
                              [weak = std::weak_ptr<Core>(core)](beast::error_code ec, tcp::socket socket) {
                                if (const auto locked = weak.lock()) OnAccepted(locked, ec, std::move(socket));
                              });
}

}  // namespace

HttpServer::HttpServer(const std::string& address, unsigned short port, ServerLimits limits, RequestHandler handler,
                       std::function<void(Refusal)> onRefused)
    : state_(std::make_unique<State>()) {
  if (!handler) throw std::invalid_argument("HttpServer needs a request handler");
  state_->core = std::make_shared<Core>(std::move(limits), std::move(handler), std::move(onRefused));
  beast::error_code ec;
  const net::ip::address ip = net::ip::make_address(address, ec);
  if (ec) throw std::runtime_error("--listen: not an IP address: " + address);
  const tcp::endpoint endpoint{ip, port};
  auto& acceptor = state_->core->acceptor;
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (!ec) state_->core->port = acceptor.local_endpoint(ec).port();
  if (ec) {
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " + ec.message());
  }
}

HttpServer::~HttpServer() {
  Stop();
  Wait();
  Core& core = *state_->core;
  {
    const std::scoped_lock lock(core.gateMutex);
    core.gateOpen = false;
  }
  // Destroys the handlers still queued, and with them the sessions they hold, so the core
  // goes when the last Responder a handler kept goes (now, usually).
  core.io.shutdown();
}

unsigned short HttpServer::Port() const { return state_->core->port; }

void HttpServer::Start(int workers) {
  const std::shared_ptr<Core>& core = state_->core;
  net::dispatch(core->acceptor.get_executor(), [weak = std::weak_ptr<Core>(core)] {
    if (const auto locked = weak.lock()) Accept(locked);
  });
  const std::scoped_lock lock(state_->workersMutex);
  for (int i = 0; i < std::max(1, workers); ++i) {
    state_->workers.emplace_back([&io = core->io] { io.run(); });
  }
}

namespace {

// Closes the idle connections of a draining server now and again until it has stopped.
void SweepIdle(Core& core) {
  std::vector<std::weak_ptr<Session>> sessions;
  {
    const std::scoped_lock lock(core.mutex);
    for (const auto& [key, session] : core.sessions) sessions.push_back(session);
  }
  const std::int64_t now = SteadyNs();
  for (const auto& weak : sessions) {
    if (const auto session = weak.lock()) session->OnDrainSweep(now);
  }
  core.drainSweep.expires_after(kDrainSweep);
  core.drainSweep.async_wait([&core](beast::error_code ec) {
    if (!ec) SweepIdle(core);
  });
}

}  // namespace

void HttpServer::Drain(std::chrono::milliseconds grace) {
  Core& core = *state_->core;
  if (core.draining.exchange(true)) return;
  // Waited for, so that once Drain returns no connection is taken any more (a caller in
  // a worker thread cannot wait on its own strand, and does not).
  auto closed = std::make_shared<std::promise<void>>();
  auto acceptorClosed = closed->get_future();
  net::post(core.acceptor.get_executor(), [&core, grace, closed] {
    beast::error_code ignored;
    core.acceptor.close(ignored);
    core.acceptRetry.cancel();
    core.drainTimer.expires_after(grace);
    core.drainTimer.async_wait([&core](beast::error_code ec) {
      if (!ec) core.io.stop();
    });
    core.acceptorClosed.store(true);
    SweepIdle(core);
    closed->set_value();
    core.StopIfDrained();
  });
  bool running = false;
  {
    const std::scoped_lock lock(state_->workersMutex);
    running = !state_->workers.empty();
  }
  if (running && !core.io.get_executor().running_in_this_thread()) {
    acceptorClosed.wait_for(std::chrono::seconds(5));
  }
}

void HttpServer::Stop() {
  Core& core = *state_->core;
  net::post(core.acceptor.get_executor(), [&core] {
    beast::error_code ignored;
    core.acceptor.close(ignored);
  });
  core.io.stop();
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

std::size_t HttpServer::Connections() const { return state_->core->open.load(); }

}  // namespace quillgate::service
