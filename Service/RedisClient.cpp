#include "Service/RedisClient.h"

#include <hiredis/hiredis.h>
#include <nlohmann/json.hpp>

#include <pthread.h>
#include <signal.h>
#include <sys/time.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <stdexcept>
#include <utility>

namespace quillgate::service {
namespace {

using namespace std::string_view_literals;

// Idle connections kept for the next calls; beyond that, a burst's extra connections close.
constexpr std::size_t kMaxIdle = 64;

[[noreturn]] void Refuse(const std::string& problem) { throw std::runtime_error("Redis URL: " + problem); }

int ParseNumber(std::string_view digits, int min, int max, std::string_view what) {
  int value = 0;
  const bool onlyDigits = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (!onlyDigits || error != std::errc{} || end != digits.data() + digits.size() || value < min || value > max) {
    Refuse("bad " + std::string(what) + " \"" + std::string(digits) + "\" (expected a number from " +
           std::to_string(min) + " to " + std::to_string(max) + ")");
  }
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Percent-decoding, so that a password may hold ':', '@', '/' or anything else.
std::string PercentDecode(std::string_view text, std::string_view what) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
    if (high < 0 || low < 0) Refuse("bad percent-escape in the " + std::string(what) + " (expected %XX)");
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

RedisUrl ParseTcp(std::string_view rest) {
  RedisUrl url;
  // The last '@' ends the user part: a password may hold an unencoded '@' or '/'.
  const std::size_t at = rest.rfind('@');
  std::string_view hostPart = rest;
  if (at != std::string_view::npos) {
    const std::string_view userInfo = rest.substr(0, at);
    hostPart = rest.substr(at + 1);
    const std::size_t colon = userInfo.find(':');
    if (colon == std::string_view::npos) {
      Refuse("the part before '@' must be [user]:password (a lone name is ambiguous)");
    }
    url.user = PercentDecode(userInfo.substr(0, colon), "user");
    url.password = PercentDecode(userInfo.substr(colon + 1), "password");
    if (url.password.empty()) Refuse("empty password after ':' (leave out \"[user]:@\" for none)");
  }
  if (hostPart.find_first_of("?#") != std::string_view::npos) {
    Refuse("redis:// takes no query or fragment (the database goes in the path: redis://HOST:PORT/DB)");
  }
  const std::size_t slash = hostPart.find('/');
  const std::string_view authority = hostPart.substr(0, slash);
  std::string_view portText;
  if (authority.starts_with('[')) {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) Refuse("unclosed '[' around an IPv6 host");
    url.host = std::string(authority.substr(1, close - 1));
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (!after.starts_with(':')) Refuse("expected ':PORT' after the bracketed host");
      portText = after.substr(1);
      if (portText.empty()) Refuse("empty port after ':'");
    }
  } else {
    const std::size_t colon = authority.find(':');
    if (colon != std::string_view::npos && authority.find(':', colon + 1) != std::string_view::npos) {
      Refuse("an IPv6 host goes in brackets: redis://[::1]:6379");
    }
    url.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = authority.substr(colon + 1);
      if (portText.empty()) Refuse("empty port after ':'");
    }
  }
  if (url.host.empty()) Refuse("no host (expected redis://HOST[:PORT][/DB])");
  if (url.host.find_first_of("[]@") != std::string::npos) Refuse("bad character in the host");
  if (!portText.empty()) url.port = ParseNumber(portText, 1, 65535, "port");
  if (slash != std::string_view::npos) {
    const std::string_view db = hostPart.substr(slash + 1);
    if (!db.empty()) url.db = ParseNumber(db, 0, INT_MAX, "database");
  }
  return url;
}

RedisUrl ParseUnix(std::string_view rest) {
  RedisUrl url;
  url.transport = RedisUrl::Transport::Unix;
  const std::size_t question = rest.find('?');
  const std::string_view path = rest.substr(0, question);
  if (!path.starts_with('/')) Refuse("unix:// takes an absolute socket path: unix:///path/to/redis.sock");
  if (path.size() < 2) Refuse("empty socket path (expected unix:///path/to/redis.sock)");
  if (path.find('#') != std::string_view::npos) Refuse("unix:// takes no fragment");
  url.socketPath = std::string(path);
  if (question == std::string_view::npos) return url;
  std::string_view query = rest.substr(question + 1);
  // Bounded by the query's length: each pass consumes at least one character.
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    const std::string_view name = pair.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos ? std::string_view{} : pair.substr(equals + 1);
    if (name == "db") {
      url.db = ParseNumber(value, 0, INT_MAX, "database");
    } else if (name == "password") {
      url.password = PercentDecode(value, "password");
      if (url.password.empty()) Refuse("empty password= parameter");
    } else if (name == "user") {
      url.user = PercentDecode(value, "user");
    } else {
      Refuse("unknown parameter \"" + std::string(name) + "\" (expected db, password or user)");
    }
  }
  if (!url.user.empty() && url.password.empty()) Refuse("user= needs a password= too");
  return url;
}

timeval ToTimeval(std::chrono::microseconds duration) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(duration.count() / 1'000'000);
  value.tv_usec = static_cast<suseconds_t>(duration.count() % 1'000'000);
  return value;
}

// The time left before `deadline`, at least a millisecond; none once it has passed.
std::optional<timeval> Remaining(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return std::nullopt;
  return ToTimeval(std::max(left, std::chrono::microseconds(1000)));
}

std::int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

RedisReply Copy(const redisReply& reply) {
  RedisReply out;
  switch (reply.type) {
    case REDIS_REPLY_STRING:
      out.type = RedisReply::Type::String;
      break;
    case REDIS_REPLY_STATUS:
      out.type = RedisReply::Type::Status;
      break;
    case REDIS_REPLY_ERROR:
      out.type = RedisReply::Type::Error;
      break;
    case REDIS_REPLY_INTEGER:
      out.type = RedisReply::Type::Integer;
      out.integer = reply.integer;
      break;
    case REDIS_REPLY_ARRAY:
      out.type = RedisReply::Type::Array;
      out.elements.reserve(reply.elements);
      for (std::size_t i = 0; i < reply.elements; ++i) out.elements.push_back(Copy(*reply.element[i]));
      break;
    default:
      out.type = RedisReply::Type::Nil;
      break;
  }
  if (out.type == RedisReply::Type::String || out.type == RedisReply::Type::Status ||
      out.type == RedisReply::Type::Error) {
    out.text.assign(reply.str, reply.len);
  }
  return out;
}

struct ReplyDeleter {
  void operator()(redisReply* reply) const noexcept { freeReplyObject(reply); }
};

// hiredis writes with write(), so a connection that Redis has reset raises SIGPIPE, which
// would end the process. The signal is blocked in this thread for the call and a SIGPIPE it
// raised is taken off again, which leaves the process's signal dispositions alone.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
  }
  ~SigpipeBlock() {
    if (!wasPending_) {
      sigset_t pending;
      sigemptyset(&pending);
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE) == 1) {
        const timespec zero{};
        while (sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
        }
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t pipe_{};
  sigset_t previous_{};
  bool wasPending_ = false;
};

}  // namespace

RedisUrl RedisUrl::Parse(std::string_view text) {
  if (text.find_first_of(" \t\r\n") != std::string_view::npos) Refuse("contains white space");
  if (text.starts_with("rediss://")) {
    throw std::runtime_error(
        "Redis URL: rediss:// (TLS) is not supported: this build's hiredis (0.14) has no TLS. Reach "
        "Redis through a local TLS tunnel (for example stunnel) and use redis://127.0.0.1:PORT");
  }
  for (const std::string_view scheme : {"unix://"sv, "redis+unix://"sv}) {
    if (text.starts_with(scheme)) return ParseUnix(text.substr(scheme.size()));
  }
  if (text.starts_with("redis://")) return ParseTcp(text.substr("redis://"sv.size()));
  const std::size_t separator = text.find("://");
  if (separator != std::string_view::npos) {
    Refuse("unknown scheme \"" + std::string(text.substr(0, separator)) + "\" (expected redis:// or unix://)");
  }
  Refuse("not a URL (expected redis://HOST[:PORT][/DB] or unix:///PATH)");
}

std::string RedisUrl::Describe() const {
  if (transport == Transport::Unix) {
    std::string text = "unix://" + socketPath + "?db=" + std::to_string(db);
    if (!user.empty()) text += "&user=" + user;
    if (!password.empty()) text += "&password=***";
    return text;
  }
  std::string text = "redis://";
  if (!password.empty()) text += user + ":***@";
  text += host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return text + ":" + std::to_string(port) + "/" + std::to_string(db);
}

void RedisClient::ContextDeleter::operator()(redisContext* context) const noexcept { redisFree(context); }

RedisClient::RedisClient(RedisUrl url, std::chrono::milliseconds timeout, std::chrono::milliseconds coolDown)
    : url_(std::move(url)), timeout_(timeout), coolDown_(coolDown) {
  if (timeout_.count() <= 0) throw std::invalid_argument("Redis timeout must be positive");
}

RedisClient::~RedisClient() = default;

namespace {

// One command on `context`, waiting at most until `deadline`. A failure says whether Redis
// had closed the connection (worth one more try on a new one) or did not answer in time.
struct Exchanged {
  std::optional<RedisReply> reply;
  std::string failure;
  bool closed = false;
};

Exchanged Exchange(redisContext& context, const std::vector<std::string>& args,
                   std::chrono::steady_clock::time_point deadline) {
  const std::optional<timeval> left = Remaining(deadline);
  if (!left) return {std::nullopt, "timed out", false};
  if (redisSetTimeout(&context, *left) != REDIS_OK) return {std::nullopt, "cannot set the socket timeout", false};
  std::vector<const char*> argv;
  std::vector<std::size_t> lengths;
  argv.reserve(args.size());
  lengths.reserve(args.size());
  for (const std::string& arg : args) {
    argv.push_back(arg.data());
    lengths.push_back(arg.size());
  }
  std::unique_ptr<redisReply, ReplyDeleter> reply;
  int error = 0;
  {
    const SigpipeBlock block;
    errno = 0;
    reply.reset(static_cast<redisReply*>(
        redisCommandArgv(&context, static_cast<int>(argv.size()), argv.data(), lengths.data())));
    error = errno;
  }
  if (reply) return {Copy(*reply), {}, false};
  if (context.err == REDIS_ERR_IO && (error == EAGAIN || error == EWOULDBLOCK)) {
    return {std::nullopt, "no answer within the timeout", false};
  }
  const bool closed = context.err == REDIS_ERR_EOF ||
                      (context.err == REDIS_ERR_IO &&
                       (error == ECONNRESET || error == EPIPE || error == ECONNABORTED || error == ENOTCONN));
  return {std::nullopt, std::string("connection failed: ") + context.errstr, closed};
}

}  // namespace

RedisClient::Outcome RedisClient::Connect(Connection& connection, Clock::time_point deadline) {
  const std::optional<timeval> left = Remaining(deadline);
  if (!left) return {std::nullopt, {"timed out before connecting", false}};
  Connection made(url_.transport == RedisUrl::Transport::Unix
                      ? redisConnectUnixWithTimeout(url_.socketPath.c_str(), *left)
                      : redisConnectWithTimeout(url_.host.c_str(), url_.port, *left));
  if (!made) return {std::nullopt, {"cannot allocate a connection", false}};
  if (made->err != 0) return {std::nullopt, {std::string("cannot connect: ") + made->errstr, false}};
  // A new connection's failures are never "stale": it has just been made.
  const auto setUp = [&](const std::vector<std::string>& args, std::string_view what) -> std::optional<Failure> {
    Exchanged result = Exchange(*made, args, deadline);
    if (!result.reply) return Failure{std::string(what) + ": " + result.failure, false};
    if (result.reply->type == RedisReply::Type::Error) {
      return Failure{std::string(what) + " refused: " + result.reply->text, false};
    }
    return std::nullopt;
  };
  if (!url_.password.empty()) {
    const std::vector<std::string> auth = url_.user.empty()
                                              ? std::vector<std::string>{"AUTH", url_.password}
                                              : std::vector<std::string>{"AUTH", url_.user, url_.password};
    if (auto failure = setUp(auth, "AUTH")) return {std::nullopt, std::move(*failure)};
  }
  if (url_.db != 0) {
    if (auto failure = setUp({"SELECT", std::to_string(url_.db)}, "SELECT")) return {std::nullopt, std::move(*failure)};
  }
  std::vector<std::vector<std::string>> onConnect;
  {
    const std::scoped_lock lock(mutex_);
    onConnect = onConnect_;
  }
  for (const auto& command : onConnect) {
    if (auto failure = setUp(command, "connection set-up")) return {std::nullopt, std::move(*failure)};
  }
  connection = std::move(made);
  return {RedisReply{RedisReply::Type::Status, 0, "OK", {}}, {}};
}

std::optional<RedisReply> RedisClient::Run(const Step& step, bool errorsAreReplies) {
  if (!Admit()) {
    LogFailure("not tried: Redis failed moments ago; trying again shortly");
    return std::nullopt;
  }
  const Clock::time_point deadline = Clock::now() + timeout_;
  Connection connection = TakeIdle();
  bool pooled = connection != nullptr;
  // Two passes at most: the second only when a pooled connection turned out closed.
  for (int pass = 0; pass < 2; ++pass) {
    if (!connection) {
      Outcome made = Connect(connection, deadline);
      if (!made.reply) {
        MarkDown();
        LogFailure(made.failure.message);
        return std::nullopt;
      }
      pooled = false;
    }
    Outcome outcome = step(*connection, deadline);
    if (outcome.reply) {
      MarkUp();
      Release(std::move(connection));
      if (outcome.reply->type == RedisReply::Type::Error && !errorsAreReplies) {
        LogFailure("Redis answered an error: " + outcome.reply->text);
        return std::nullopt;
      }
      return std::move(outcome.reply);
    }
    // A failed connection may still get a late reply: never reused.
    connection.reset();
    if (outcome.failure.stale && pooled) {
      // Redis closed this idle connection (it restarted, or dropped idle clients), and very
      // likely the other idle ones too: they go, and this call tries once on a new one.
      DropIdle();
      continue;
    }
    MarkDown();
    LogFailure(outcome.failure.message);
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<RedisReply> RedisClient::Command(const std::vector<std::string>& args) {
  return Run([&](redisContext& context, Clock::time_point deadline) -> Outcome {
    Exchanged result = Exchange(context, args, deadline);
    return {std::move(result.reply), {std::move(result.failure), result.closed}};
  });
}

std::optional<RedisReply> RedisClient::Query(const std::vector<std::string>& args) {
  return Run(
      [&](redisContext& context, Clock::time_point deadline) -> Outcome {
        Exchanged result = Exchange(context, args, deadline);
        return {std::move(result.reply), {std::move(result.failure), result.closed}};
      },
      true);
}

void RedisClient::RunOnConnect(std::vector<std::string> args) {
  const std::scoped_lock lock(mutex_);
  onConnect_.push_back(std::move(args));
}

std::optional<RedisReply> RedisClient::Eval(std::string_view script, const std::vector<std::string>& keys,
                                            const std::vector<std::string>& args) {
  return Run([&](redisContext& context, Clock::time_point deadline) -> Outcome {
    std::string sha = CachedSha(script);
    if (sha.empty()) {
      Exchanged loaded = Exchange(context, {"SCRIPT", "LOAD", std::string(script)}, deadline);
      if (!loaded.reply) return {std::nullopt, {std::move(loaded.failure), loaded.closed}};
      if (loaded.reply->type == RedisReply::Type::Error) return {std::move(loaded.reply), {}};
      if (loaded.reply->type != RedisReply::Type::String) {
        return {RedisReply{RedisReply::Type::Error, 0, "unexpected reply to SCRIPT LOAD", {}}, {}};
      }
      sha = loaded.reply->text;
      RememberSha(script, sha);
    }
    std::vector<std::string> call = {"EVALSHA", sha, std::to_string(keys.size())};
    call.insert(call.end(), keys.begin(), keys.end());
    call.insert(call.end(), args.begin(), args.end());
    Exchanged result = Exchange(context, call, deadline);
    if (result.reply && result.reply->type == RedisReply::Type::Error && result.reply->text.starts_with("NOSCRIPT")) {
      // Redis forgot the script (restarted, failed over, SCRIPT FLUSH): sent whole, which
      // also makes it known again for the next EVALSHA.
      call[0] = "EVAL";
      call[1] = std::string(script);
      result = Exchange(context, call, deadline);
    }
    return {std::move(result.reply), {std::move(result.failure), result.closed}};
  });
}

bool RedisClient::Ping() {
  const std::optional<RedisReply> reply = Command({"PING"});
  return reply && reply->type == RedisReply::Type::Status && reply->text == "PONG";
}

bool RedisClient::Admit() {
  std::int64_t until = downUntilNs_.load(std::memory_order_acquire);
  if (until == 0) return true;
  const std::int64_t now = SteadyNs();
  if (now < until) return false;
  // The cool-down is over: the one caller that moves the mark probes Redis; the others keep
  // failing at once until that probe has answered (or its own timeout has passed).
  const std::int64_t probeNs = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout_ + coolDown_).count();
  return downUntilNs_.compare_exchange_strong(until, now + probeNs, std::memory_order_acq_rel);
}

void RedisClient::MarkDown() {
  const std::int64_t coolNs = std::chrono::duration_cast<std::chrono::nanoseconds>(coolDown_).count();
  downUntilNs_.store(SteadyNs() + std::max<std::int64_t>(coolNs, 1), std::memory_order_release);
}

void RedisClient::MarkUp() {
  if (downUntilNs_.load(std::memory_order_relaxed) != 0) downUntilNs_.store(0, std::memory_order_release);
}

RedisClient::Connection RedisClient::TakeIdle() {
  const std::scoped_lock lock(mutex_);
  if (idle_.empty()) return nullptr;
  Connection connection = std::move(idle_.back());
  idle_.pop_back();
  return connection;
}

void RedisClient::Release(Connection connection) {
  const std::scoped_lock lock(mutex_);
  if (idle_.size() < kMaxIdle) idle_.push_back(std::move(connection));
}

void RedisClient::DropIdle() {
  std::vector<Connection> closing;
  {
    const std::scoped_lock lock(mutex_);
    closing.swap(idle_);
  }
}

std::string RedisClient::CachedSha(std::string_view script) {
  const std::scoped_lock lock(mutex_);
  const auto found = shas_.find(script);
  return found == shas_.end() ? std::string() : found->second;
}

void RedisClient::RememberSha(std::string_view script, std::string sha) {
  const std::scoped_lock lock(mutex_);
  shas_.insert_or_assign(std::string(script), std::move(sha));
}

void RedisClient::LogFailure(std::string_view message) {
  std::uint64_t suppressed = 0;
  if (!throttle_.Allow(suppressed)) return;
  nlohmann::json line = {{"event", "store_error"}, {"store", Describe()}, {"error", std::string(message)}};
  if (suppressed > 0) line["suppressed"] = suppressed;
  WriteLogLine(line);
}

}  // namespace quillgate::service
