#include "Service/RedisRateLimiter.h"

#include <array>
#include <charconv>
#include <stdexcept>

namespace quillgate::service {
namespace {

// KEYS[1] the bucket; ARGV now ms, per minute, burst. Answers {1, 0, tokens left} when a
// token was taken, {0, retry after ms, tokens left} when the bucket is empty. Line for line TakeFromBucket:
// a new bucket starts full, time never runs backwards, and the numbers are doubles in
// both, stored with 17 significant digits so that nothing is lost between takes.
constexpr std::string_view kTakeScript = R"lua(
local now = tonumber(ARGV[1])
local perMinute = tonumber(ARGV[2])
local burst = tonumber(ARGV[3])
local state = redis.call('HMGET', KEYS[1], 'tokens', 'lastMs')
local tokens = tonumber(state[1])
local last = tonumber(state[2])
if tokens == nil or last == nil then
  tokens = burst
  last = now
end
local elapsed = now - last
if elapsed < 0 then
  elapsed = 0
end
tokens = math.min(burst, tokens + elapsed * perMinute / 60000.0)
if now > last then
  last = now
end
local allowed = 0
local retry = 0
if tokens >= 1 then
  tokens = tokens - 1
  allowed = 1
else
  retry = math.ceil((1 - tokens) * 60000.0 / perMinute)
end
redis.call('HSET', KEYS[1], 'tokens', string.format('%.17g', tokens), 'lastMs', string.format('%d', last))
-- Gone once it would be full again (and a second more): a full bucket is what a new one is.
local refill = math.ceil((burst - tokens) * 60000.0 / perMinute)
if refill < 0 then
  refill = 0
end
redis.call('PEXPIRE', KEYS[1], string.format('%d', refill + 1000))
return {allowed, retry, math.floor(tokens)}
)lua";

// Shortest text that reads back as the same double, independent of the locale.
std::string ExactText(double value) {
  std::array<char, 64> text{};
  const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{}) throw std::logic_error("cannot format a bucket rule");
  return std::string(text.data(), end);
}

}  // namespace

RedisRateLimiter::RedisRateLimiter(std::shared_ptr<RedisClient> client) : client_(std::move(client)) {
  if (!client_) throw std::invalid_argument("RedisRateLimiter needs a client");
}

RateDecision RedisRateLimiter::Take(std::string_view key, const BucketRule& rule, std::int64_t nowMs) {
  // A bucket that is off never refuses: no need to ask Redis (nor to fail when it is away).
  if (rule.perMinute <= 0) return {};
  const std::optional<RedisReply> reply =
      client_->Eval(kTakeScript, {"quillgate:bucket:" + std::string(key)},
                    {std::to_string(nowMs), ExactText(rule.perMinute), ExactText(rule.burst)});
  RateDecision decision;
  if (!reply || reply->type != RedisReply::Type::Array || reply->elements.size() != 3 ||
      reply->elements[0].type != RedisReply::Type::Integer || reply->elements[1].type != RedisReply::Type::Integer ||
      reply->elements[2].type != RedisReply::Type::Integer) {
    decision.verdict = RateDecision::Verdict::Unavailable;
    return decision;
  }
  decision.tokensLeft = reply->elements[2].integer;
  if (reply->elements[0].integer == 1) return decision;
  decision.verdict = RateDecision::Verdict::Limited;
  decision.retryAfterMs = reply->elements[1].integer;
  return decision;
}

}  // namespace quillgate::service
