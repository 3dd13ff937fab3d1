#include "ServiceTestSupport.h"

#include <hiredis/hiredis.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/asio/write.hpp>

#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace quillgate::service::test {

namespace net = boost::asio;
namespace http = boost::beast::http;
using tcp = net::ip::tcp;

unsigned short FreeLoopbackPort() {
  net::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0));
  return acceptor.local_endpoint().port();
}

namespace {

// Whether a Redis server on the loopback port answers PING at all (NOAUTH is an answer).
bool AnswersPing(unsigned short port) {
  const timeval timeout{0, 200'000};
  redisContext* context = redisConnectWithTimeout("127.0.0.1", port, timeout);
  auto* reply = context != nullptr && context->err == 0
                    ? static_cast<redisReply*>(redisCommand(context, "PING"))
                    : nullptr;
  const bool answered = reply != nullptr;
  if (reply != nullptr) freeReplyObject(reply);
  if (context != nullptr) redisFree(context);
  return answered;
}

}  // namespace

RedisServer::RedisServer(std::string password, bool unixSocket)
    : password_(std::move(password)), unixSocket_(unixSocket) {
  for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
    port_ = FreeLoopbackPort();
    Launch();
  }
  if (pid_ < 0) throw std::runtime_error("redis-server did not come up");
}

bool RedisServer::Launch() {
  const std::string port = std::to_string(port_);
  const std::string dir = dir_.Path().string();
  std::vector<std::string> args = {"redis-server", "--port", port, "--bind", "127.0.0.1",
                                   "--save", "", "--appendonly", "no", "--dir", dir,
                                   "--loglevel", "warning", "--logfile", (dir_ / "redis.log").string()};
  if (!password_.empty()) args.insert(args.end(), {"--requirepass", password_});
  if (unixSocket_) args.insert(args.end(), {"--unixsocket", SocketPath().string(), "--unixsocketperm", "700"});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "redis-server", nullptr, nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start redis-server (is it installed? make deps installs it)");
  }
  // Up when it answers PING (NOAUTH counts: it answered); gone (port taken meanwhile) when
  // it exits.
  bool exited = false;
  const bool up = Eventually(
      [&] {
        exited = ::waitpid(pid, nullptr, WNOHANG) == pid;
        return exited || AnswersPing(port_);
      },
      std::chrono::seconds(10));
  if (up && !exited) {
    pid_ = pid;
    paused_ = false;
    return true;
  }
  if (!exited) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  return false;
}

std::string RedisServer::Url() const {
  const std::string auth = password_.empty() ? "" : ":" + password_ + "@";
  return "redis://" + auth + "127.0.0.1:" + std::to_string(port_);
}

std::string RedisServer::UnixUrl() const {
  const std::string auth = password_.empty() ? "" : "?password=" + password_;
  return "unix://" + SocketPath().string() + auth;
}

void RedisServer::Stop() {
  if (pid_ < 0) return;
  // Nothing is kept on disk, so nothing is lost by not asking; a paused server goes too.
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  paused_ = false;
}

void RedisServer::Start() {
  if (pid_ >= 0) return;
  if (!Launch()) throw std::runtime_error("redis-server did not come back on port " + std::to_string(port_));
}

void RedisServer::Pause() {
  if (pid_ < 0 || paused_ || ::kill(pid_, SIGSTOP) != 0) return;
  // Returns once the server has really stopped, so the test's next call meets a hung Redis.
  ::waitpid(pid_, nullptr, WUNTRACED);
  paused_ = true;
}

void RedisServer::Resume() {
  if (pid_ >= 0 && paused_ && ::kill(pid_, SIGCONT) == 0) paused_ = false;
}

RedisServer::~RedisServer() { Stop(); }

Client::Client(unsigned short port, const char* from) : stream_(io_) {
  auto& socket = stream_.socket();
  socket.open(tcp::v4());
  socket.bind(tcp::endpoint(net::ip::make_address(from), 0));
  stream_.expires_after(std::chrono::seconds(5));
  stream_.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
}

void Client::Send(const std::string& bytes) {
  boost::beast::error_code ignored;  // a refused client may find the connection closed
  net::write(stream_.socket(), net::buffer(bytes), ignored);
}

Response Client::Read() {
  http::response_parser<http::string_body> parser;
  parser.body_limit(64 * 1024 * 1024);
  boost::beast::error_code ec;
  stream_.expires_after(std::chrono::seconds(30));
  http::read(stream_, buffer_, parser, ec);
  if (ec) return Response{http::status::unknown, 11};
  return parser.release();
}

std::string Client::ReadToClose(std::chrono::milliseconds wait, bool* closed) {
  std::string received(static_cast<const char*>(buffer_.data().data()), buffer_.size());
  buffer_.clear();
  char chunk[4096];
  boost::beast::error_code ec;
  stream_.expires_after(wait);
  for (;;) {
    const std::size_t n = stream_.read_some(net::buffer(chunk), ec);
    received.append(chunk, n);
    if (ec) break;
  }
  if (closed != nullptr) *closed = ec == net::error::eof || ec == net::error::connection_reset;
  return received;
}

}  // namespace quillgate::service::test
