#include "ServiceTestSupport.h"

#include <hiredis/hiredis.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

RedisServer::RedisServer() : RedisServer(Options{}) {}

RedisServer::RedisServer(Options options) : options_(std::move(options)) {
  dir_ = std::filesystem::temp_directory_path() /
         ("quillgate-redis-" + std::to_string(::getpid()) + "-" + std::to_string(FreeLoopbackPort()));
  std::filesystem::create_directories(dir_);
  for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
    port_ = FreeLoopbackPort();
    Launch();
  }
  if (pid_ < 0) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    throw std::runtime_error("redis-server did not come up");
  }
}

bool RedisServer::Launch() {
  const std::string port = std::to_string(port_);
  const std::string dir = dir_.string();
  std::vector<std::string> args = {"redis-server", "--port", port, "--bind", "127.0.0.1",
                                   "--save", "", "--appendonly", "no", "--dir", dir,
                                   "--loglevel", "warning", "--logfile", (dir_ / "redis.log").string()};
  if (!options_.password.empty()) args.insert(args.end(), {"--requirepass", options_.password});
  if (options_.unixSocket) args.insert(args.end(), {"--unixsocket", SocketPath().string(), "--unixsocketperm", "700"});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "redis-server", nullptr, nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start redis-server (is it installed? make deps installs it)");
  }
  // Up when it answers PING (NOAUTH counts: it answered); gone (port taken meanwhile) when
  // it exits.
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return false;
    timeval timeout{0, 200'000};
    redisContext* context = redisConnectWithTimeout("127.0.0.1", port_, timeout);
    const bool up = context != nullptr && context->err == 0;
    if (up) {
      auto* reply = static_cast<redisReply*>(redisCommand(context, "PING"));
      const bool answered = reply != nullptr;
      if (reply != nullptr) freeReplyObject(reply);
      redisFree(context);
      if (answered) {
        pid_ = pid;
        paused_ = false;
        return true;
      }
    } else if (context != nullptr) {
      redisFree(context);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return false;
}

std::string RedisServer::Url() const {
  const std::string auth = options_.password.empty() ? "" : ":" + options_.password + "@";
  return "redis://" + auth + "127.0.0.1:" + std::to_string(port_);
}

std::string RedisServer::UnixUrl() const {
  if (!options_.unixSocket) throw std::logic_error("this RedisServer has no unix socket");
  const std::string auth = options_.password.empty() ? "" : "?password=" + options_.password;
  return "unix://" + SocketPath().string() + auth;
}

void RedisServer::Stop() {
  if (pid_ < 0) return;
  if (paused_) ::kill(pid_, SIGCONT);
  ::kill(pid_, SIGTERM);
  // Bounded: a server that does not shut down within 5 s is killed.
  bool exited = false;
  for (int i = 0; i < 100 && !exited; ++i) {
    exited = ::waitpid(pid_, nullptr, WNOHANG) == pid_;
    if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!exited) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
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
  int status = 0;
  ::waitpid(pid_, &status, WUNTRACED);
  paused_ = true;
}

void RedisServer::Resume() {
  if (pid_ >= 0 && paused_ && ::kill(pid_, SIGCONT) == 0) paused_ = false;
}

RedisServer::~RedisServer() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

HttpResult Call(unsigned short port, http::verb method, const std::string& target,
                const std::string& body, const std::string& contentType) {
  net::io_context io;
  boost::beast::tcp_stream stream(io);
  stream.expires_after(std::chrono::seconds(30));
  stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
  http::request<http::string_body> request{method, target, 11};
  request.set(http::field::host, "127.0.0.1");
  if (!body.empty() || method == http::verb::post) {
    request.set(http::field::content_type, contentType);
    request.body() = body;
    request.prepare_payload();
  }
  http::write(stream, request);
  boost::beast::flat_buffer buffer;
  HttpResult result;
  http::response_parser<http::string_body> parser;
  parser.body_limit(64 * 1024 * 1024);
  http::read(stream, buffer, parser);
  result.raw = parser.release();
  result.status = static_cast<int>(result.raw.result_int());
  result.body = result.raw.body();
  result.contentType = std::string(result.raw[http::field::content_type]);
  boost::beast::error_code ignored;
  stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
  return result;
}

}  // namespace quillgate::service::test
