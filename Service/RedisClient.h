#pragma once
// The service's way to Redis: where it is (a URL), and a small pool of connections that
// every shared store uses. Each call is bounded by one timeout, connecting included, so a
// slow or stopped Redis costs a request that long at most; after a failure, calls fail at
// once for a short cool-down before one call tries again, so a Redis that hangs never makes
// every request of a busy server wait out the timeout. Failures are logged (at most one
// line a second) and answered as "no reply": the stores then refuse (fail closed).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Service/Log.h"

struct redisContext;

namespace quillgate::service {

// redis://[[user]:password@]host[:port][/db]        (an IPv6 host in brackets: [::1])
// unix:///path/to/redis.sock[?db=N&password=P&user=U] (also redis+unix://)
// The password and user may be percent-encoded. rediss:// (TLS) is refused: this build's
// hiredis has no TLS, so reach such a Redis through a local TLS tunnel.
struct RedisUrl {
  enum class Transport { Tcp, Unix };
  Transport transport = Transport::Tcp;
  std::string host;        // Tcp: a name or an address (IPv6 without brackets)
  int port = 6379;         // Tcp
  std::string socketPath;  // Unix: absolute
  std::string user;        // empty: the default user
  std::string password;    // empty: no AUTH
  int db = 0;

  // Throws std::runtime_error naming what is wrong (never quoting the password).
  [[nodiscard]] static RedisUrl Parse(std::string_view url);
  // The URL with the password hidden, for logs: "redis://:***@host:6379/2".
  [[nodiscard]] std::string Describe() const;
};

// A reply, copied out of hiredis so that callers never hold the library's objects.
struct RedisReply {
  enum class Type { Nil, Integer, String, Status, Error, Array };
  Type type = Type::Nil;
  long long integer = 0;
  std::string text;  // String, Status and Error
  std::vector<RedisReply> elements;
};

class RedisClient {
 public:
  explicit RedisClient(RedisUrl url, std::chrono::milliseconds timeout = std::chrono::milliseconds(250),
                       std::chrono::milliseconds coolDown = std::chrono::milliseconds(500));
  ~RedisClient();
  RedisClient(const RedisClient&) = delete;
  RedisClient& operator=(const RedisClient&) = delete;

  // One command. No value when Redis could not be asked or answered an error (both logged).
  [[nodiscard]] std::optional<RedisReply> Command(const std::vector<std::string>& args);
  // As Command, but an error reply comes back as a reply of type Error: for commands that a
  // Redis may refuse by its configuration (CONFIG on a managed Redis), where the refusal is
  // an answer and not a failure.
  [[nodiscard]] std::optional<RedisReply> Query(const std::vector<std::string>& args);
  // A command run on every new connection, after AUTH and SELECT and before the call that
  // needed the connection; a connection whose set-up fails is not used. For state that
  // must be in place before anything else meets a Redis that may have lost its data.
  void RunOnConnect(std::vector<std::string> args);
  // Runs a Lua script by its SHA1 (loaded once with SCRIPT LOAD), falling back to sending
  // it whole when Redis no longer knows it (restarted or flushed). One round trip once the
  // script is known. No value as for Command.
  [[nodiscard]] std::optional<RedisReply> Eval(std::string_view script, const std::vector<std::string>& keys,
                                               const std::vector<std::string>& args);
  // True when Redis answers PING within the timeout.
  [[nodiscard]] bool Ping();

  [[nodiscard]] std::string Describe() const { return url_.Describe(); }
  [[nodiscard]] std::chrono::milliseconds Timeout() const { return timeout_; }

 private:
  struct ContextDeleter {
    void operator()(redisContext* context) const noexcept;
  };
  using Connection = std::unique_ptr<redisContext, ContextDeleter>;
  using Clock = std::chrono::steady_clock;
  struct Failure {
    std::string message;
    bool stale = false;  // the connection was closed under us: worth one more try
  };
  // A reply (perhaps an error reply: the connection is fine) or a failed connection.
  struct Outcome {
    std::optional<RedisReply> reply;
    Failure failure;
  };
  using Step = std::function<Outcome(redisContext& context, Clock::time_point deadline)>;

  [[nodiscard]] std::optional<RedisReply> Run(const Step& step, bool errorsAreReplies = false);
  [[nodiscard]] bool Admit();
  void MarkDown();
  void MarkUp();
  [[nodiscard]] Outcome Connect(Connection& connection, Clock::time_point deadline);
  [[nodiscard]] Connection TakeIdle();
  void Release(Connection connection);
  void DropIdle();
  void LogFailure(std::string_view message);
  [[nodiscard]] std::string CachedSha(std::string_view script);
  void RememberSha(std::string_view script, std::string sha);

  const RedisUrl url_;
  const std::chrono::milliseconds timeout_;
  const std::chrono::milliseconds coolDown_;
  // Steady-clock nanoseconds until which calls fail without trying; 0 while Redis answers.
  std::atomic<std::int64_t> downUntilNs_{0};
  LogThrottle throttle_;
  std::mutex mutex_;  // guards idle_, shas_ and onConnect_
  std::vector<Connection> idle_;
  std::vector<std::vector<std::string>> onConnect_;
  std::map<std::string, std::string, std::less<>> shas_;  // script -> SHA1 in Redis
};

}  // namespace quillgate::service
