#pragma once
// What the service's tests share: a redis-server of their own on a free loopback port, and
// a small real HTTP client.

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <chrono>
#include <filesystem>
#include <string>

namespace quillgate::service::test {

// A port that was free a moment ago (bound to port 0, then released).
unsigned short FreeLoopbackPort();

// Starts redis-server (no persistence) on a free loopback port; stops it when destroyed.
// It can be stopped and started again on the same port (a restart that loses every key),
// or paused with SIGSTOP (a Redis that hangs: connections are accepted, nothing answers).
class RedisServer {
 public:
  struct Options {
    std::string password;     // non-empty: --requirepass
    bool unixSocket = false;  // also listen on a socket in the server's own directory
  };
  RedisServer();
  explicit RedisServer(Options options);
  ~RedisServer();
  RedisServer(const RedisServer&) = delete;
  RedisServer& operator=(const RedisServer&) = delete;
  [[nodiscard]] unsigned short Port() const { return port_; }
  // redis://127.0.0.1:PORT, with ":PASSWORD@" when the server has one.
  [[nodiscard]] std::string Url() const;
  // unix:///...?password=... (only with Options::unixSocket).
  [[nodiscard]] std::string UnixUrl() const;
  [[nodiscard]] std::filesystem::path SocketPath() const { return dir_ / "redis.sock"; }

  // Shuts the server down (its data goes with it) / starts it again on the same port.
  void Stop();
  void Start();
  // SIGSTOP / SIGCONT.
  void Pause();
  void Resume();

 private:
  bool Launch();

  const Options options_;
  std::filesystem::path dir_;
  unsigned short port_ = 0;
  int pid_ = -1;
  bool paused_ = false;
};

struct HttpResult {
  int status = 0;
  std::string body;
  std::string contentType;
  boost::beast::http::response<boost::beast::http::string_body> raw;
};

// One request on a new connection to 127.0.0.1:port.
HttpResult Call(unsigned short port, boost::beast::http::verb method, const std::string& target,
                const std::string& body = {}, const std::string& contentType = "application/json");

}  // namespace quillgate::service::test
