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
class RedisServer {
 public:
  RedisServer();
  ~RedisServer();
  RedisServer(const RedisServer&) = delete;
  RedisServer& operator=(const RedisServer&) = delete;
  [[nodiscard]] unsigned short Port() const { return port_; }
  [[nodiscard]] std::string Url() const { return "redis://127.0.0.1:" + std::to_string(port_); }

 private:
  std::filesystem::path dir_;
  unsigned short port_ = 0;
  int pid_ = -1;
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
