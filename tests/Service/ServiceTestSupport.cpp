#include "ServiceTestSupport.h"

#include <hiredis/hiredis.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>
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

RedisServer::RedisServer() {
  dir_ = std::filesystem::temp_directory_path() /
         ("quillgate-redis-" + std::to_string(::getpid()) + "-" + std::to_string(FreeLoopbackPort()));
  std::filesystem::create_directories(dir_);
  for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
    port_ = FreeLoopbackPort();
    const std::string port = std::to_string(port_);
    const std::string dir = dir_.string();
    std::vector<std::string> args = {"redis-server", "--port", port, "--bind", "127.0.0.1",
                                     "--save", "", "--appendonly", "no", "--dir", dir,
                                     "--loglevel", "warning"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "redis-server", nullptr, nullptr, argv.data(), environ) != 0) {
      throw std::runtime_error("cannot start redis-server (is it installed? make deps installs it)");
    }
    // Up when it answers PING; gone (port taken meanwhile) when it exits: try another port.
    for (int i = 0; i < 100; ++i) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        break;
      }
      timeval timeout{0, 200'000};
      redisContext* context = redisConnectWithTimeout("127.0.0.1", port_, timeout);
      const bool up = context != nullptr && context->err == 0;
      if (up) {
        auto* reply = static_cast<redisReply*>(redisCommand(context, "PING"));
        const bool pong = reply != nullptr && reply->type == REDIS_REPLY_STATUS;
        if (reply != nullptr) freeReplyObject(reply);
        redisFree(context);
        if (pong) {
          pid_ = pid;
          break;
        }
      } else if (context != nullptr) {
        redisFree(context);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (pid > 0 && pid_ < 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  if (pid_ < 0) throw std::runtime_error("redis-server did not come up");
}

RedisServer::~RedisServer() {
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
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
