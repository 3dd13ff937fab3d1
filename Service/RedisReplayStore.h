#pragma once
// The shared replay store: one Redis for several `quillgate serve` processes that share a
// secret file. Each verify is one SET key NX EX ttl, which Redis performs atomically, so
// between them the servers accept each token once. Whenever Redis cannot answer, the
// verify is refused (fail closed) and a line is logged.

#include "Service/ReplayStore.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

struct redisContext;

namespace quillgate::service {

class RedisReplayStore final : public ReplayStore {
 public:
  RedisReplayStore(std::string host, int port,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
  ~RedisReplayStore() override;

  // Redis drops each key itself when its token expires: nothing to bound here.
  bool Admit(std::int64_t expires, std::int64_t now) override;
  Redemption Redeem(const TokenId& id, std::int64_t expires, std::int64_t now) override;
  [[nodiscard]] std::string Describe() const override;

 private:
  struct ContextDeleter {
    void operator()(redisContext* context) const noexcept;
  };
  using Connection = std::unique_ptr<redisContext, ContextDeleter>;

  // A connection of the pool, or a new one; null (and a log line) when none can be had.
  Connection Acquire();
  void Release(Connection connection);

  const std::string host_;
  const int port_;
  const std::chrono::milliseconds timeout_;
  std::mutex mutex_;
  std::vector<Connection> idle_;
};

}  // namespace quillgate::service
