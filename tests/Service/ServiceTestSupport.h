#pragma once
// What the service's tests share: a redis-server of their own on a free loopback port, and
// a raw client connection that may come from any loopback address (127.0.0.2, 127.0.0.3 ...
// are different clients to the server).

#include "tests/TemporaryFolder.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

namespace quillgate::service::test {

// The message `call` throws std::runtime_error with, or "" when it returns.
template <typename Call>
std::string RefusalOf(Call call) {
  try {
    (void)call();
    return "";
  } catch (const std::runtime_error& error) {
    return error.what();
  }
}

// Waits up to `limit` for `condition`, checking every 20 ms.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A port that was free a moment ago (bound to port 0, then released).
unsigned short FreeLoopbackPort();

// Starts redis-server (no persistence) on a free loopback port; stops it when destroyed.
// It can be stopped and started again on the same port (a restart that loses every key),
// or paused with SIGSTOP (a Redis that hangs: connections are accepted, nothing answers).
class RedisServer {
 public:
  // A password: --requirepass; unixSocket: also listen on a socket in its own directory.
  explicit RedisServer(std::string password = {}, bool unixSocket = false);
  ~RedisServer();
  RedisServer(const RedisServer&) = delete;
  RedisServer& operator=(const RedisServer&) = delete;
  [[nodiscard]] unsigned short Port() const { return port_; }
  // redis://127.0.0.1:PORT, with ":PASSWORD@" when the server has one.
  [[nodiscard]] std::string Url() const;
  // unix:///...?password=... (only with unixSocket).
  [[nodiscard]] std::string UnixUrl() const;

  // Shuts the server down (its data goes with it) / starts it again on the same port.
  void Stop();
  void Start();
  // SIGSTOP / SIGCONT.
  void Pause();
  void Resume();

 private:
  bool Launch();
  [[nodiscard]] std::filesystem::path SocketPath() const { return dir_ / "redis.sock"; }

  const std::string password_;
  const bool unixSocket_;
  const quillgate::testing::TemporaryFolder dir_{"redis"};
  unsigned short port_ = 0;
  int pid_ = -1;
  bool paused_ = false;
};

using Response = boost::beast::http::response<boost::beast::http::string_body>;

// One client connection to 127.0.0.1:port from the loopback address `from`.
class Client {
 public:
  explicit Client(unsigned short port, const char* from = "127.0.0.1");
  // Raw bytes, as a slow or malicious client may send them.
  void Send(const std::string& bytes);
  void Get(const std::string& target, const std::string& headers = {}) {
    Send("GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
  }
  // The next response; a status of 0 when none came within 30 s (a hang guard only).
  Response Read();
  Response Call(const std::string& target, const std::string& headers = {}) {
    Get(target, headers);
    return Read();
  }
  // Every byte until the server closes (closed = true) or `wait` passes.
  std::string ReadToClose(std::chrono::milliseconds wait, bool* closed = nullptr);
  boost::asio::ip::tcp::socket& Socket() { return stream_.socket(); }

 private:
  boost::asio::io_context io_;
  boost::beast::tcp_stream stream_;
  boost::beast::flat_buffer buffer_;
};

}  // namespace quillgate::service::test
