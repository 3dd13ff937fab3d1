#include "Service/Metrics.h"

#include <algorithm>
#include <charconv>

namespace quillgate::service {
namespace {

std::string Number(double value) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc{} ? std::string(buffer, end) : std::string("0");
}

void Line(std::string& out, std::string_view name, std::string_view labels, std::uint64_t value) {
  out.append(name);
  if (!labels.empty()) out.append("{").append(labels).append("}");
  out.append(" ").append(std::to_string(value)).append("\n");
}

}  // namespace

std::string_view Metrics::Name(VerifyOutcome outcome) {
  switch (outcome) {
    case VerifyOutcome::Success: return "success";
    case VerifyOutcome::WrongAnswer: return "wrong_answer";
    case VerifyOutcome::Used: return "used";
    case VerifyOutcome::Expired: return "expired";
    case VerifyOutcome::Tampered: return "tampered";
    case VerifyOutcome::UnknownKey: return "unknown_key";
    case VerifyOutcome::Malformed: return "malformed";
    case VerifyOutcome::StoreUnavailable: return "store_unavailable";
    case VerifyOutcome::BadSecret: return "bad_secret";
    case VerifyOutcome::OtherSite: return "other_site";
    case VerifyOutcome::NotAllowed: return "not_allowed";
    case VerifyOutcome::kCount: break;
  }
  return "unknown";
}

std::string_view Metrics::Name(Endpoint endpoint) {
  switch (endpoint) {
    case Endpoint::Challenge: return "challenge";
    case Endpoint::Verify: return "verify";
    case Endpoint::SiteVerify: return "siteverify";
    case Endpoint::Ready: return "readyz";
    case Endpoint::Audio: return "audio";
    case Endpoint::Puzzle: return "puzzle";
    case Endpoint::Page: return "page";
    case Endpoint::Health: return "healthz";
    case Endpoint::Metrics: return "metrics";
    case Endpoint::Other: return "other";
    case Endpoint::kCount: break;
  }
  return "other";
}

std::string_view Metrics::Name(RefusalReason reason) {
  switch (reason) {
    case RefusalReason::RateLimited: return "rate_limited";
    case RefusalReason::Policy: return "policy";
    case RefusalReason::Origin: return "origin";
    case RefusalReason::Work: return "proof_of_work";
    case RefusalReason::PoolFull: return "render_pool_full";
    case RefusalReason::ClientConnections: return "client_connections";
    case RefusalReason::NetworkConnections: return "network_connections";
    case RefusalReason::Connections: return "connections";
    case RefusalReason::Evicted: return "evicted_waiting_for_head";
    case RefusalReason::kCount: break;
  }
  return "other";
}

void Metrics::CountVerify(VerifyOutcome outcome) {
  verifies_[static_cast<std::size_t>(outcome)].fetch_add(1, std::memory_order_relaxed);
}

void Metrics::ObserveLatency(Endpoint endpoint, std::chrono::nanoseconds elapsed) {
  Histogram& h = latency_[static_cast<std::size_t>(endpoint)];
  const double seconds = std::chrono::duration<double>(elapsed).count();
  for (std::size_t i = 0; i < kBuckets.size(); ++i) {
    if (seconds <= kBuckets[i]) {
      h.buckets[i].fetch_add(1, std::memory_order_relaxed);
      break;
    }
  }
  h.count.fetch_add(1, std::memory_order_relaxed);
  h.sumNanoseconds.fetch_add(static_cast<std::uint64_t>(elapsed.count()), std::memory_order_relaxed);
}

std::string Metrics::Render(const MetricGauges& gauges) const {
  std::string out;
  if (gauges.storeEntries && gauges.storeCapacity) {
    out += "# HELP quillgate_replay_store_entries Used tokens and audio counts the memory store holds; from 90 % "
           "of its capacity /readyz says not ready.\n# TYPE quillgate_replay_store_entries gauge\n";
    Line(out, "quillgate_replay_store_entries", "", *gauges.storeEntries);
    out += "# HELP quillgate_replay_store_capacity Entries the memory store may hold.\n"
           "# TYPE quillgate_replay_store_capacity gauge\n";
    Line(out, "quillgate_replay_store_capacity", "", *gauges.storeCapacity);
  }
  out += "# HELP quillgate_render_waiting Challenges and recordings waiting to be drawn.\n"
         "# TYPE quillgate_render_waiting gauge\n";
  Line(out, "quillgate_render_waiting", "", gauges.renderWaiting);
  out += "# HELP quillgate_challenges_total Challenges issued.\n# TYPE quillgate_challenges_total counter\n";
  Line(out, "quillgate_challenges_total", "", challenges_.load(std::memory_order_relaxed));
  out += "# HELP quillgate_refused_total Requests and connections turned away before their work, by reason.\n"
         "# TYPE quillgate_refused_total counter\n";
  for (std::size_t i = 0; i < refusals_.size(); ++i) {
    Line(out, "quillgate_refused_total", "reason=\"" + std::string(Name(static_cast<RefusalReason>(i))) + "\"",
         refusals_[i].load(std::memory_order_relaxed));
  }
  out += "# HELP quillgate_verifies_total Verifications by outcome.\n# TYPE quillgate_verifies_total counter\n";
  for (std::size_t i = 0; i < verifies_.size(); ++i) {
    Line(out, "quillgate_verifies_total",
         "outcome=\"" + std::string(Name(static_cast<VerifyOutcome>(i))) + "\"",
         verifies_[i].load(std::memory_order_relaxed));
  }
  out += "# HELP quillgate_store_errors_total Store failures (each refused a request).\n"
         "# TYPE quillgate_store_errors_total counter\n";
  Line(out, "quillgate_store_errors_total", "", storeErrors_.load(std::memory_order_relaxed));
  out += "# HELP quillgate_request_duration_seconds Time to answer a request, by endpoint.\n"
         "# TYPE quillgate_request_duration_seconds histogram\n";
  for (std::size_t e = 0; e < latency_.size(); ++e) {
    const Histogram& h = latency_[e];
    const std::string endpoint = "endpoint=\"" + std::string(Name(static_cast<Endpoint>(e))) + "\"";
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < kBuckets.size(); ++i) {
      cumulative += h.buckets[i].load(std::memory_order_relaxed);
      Line(out, "quillgate_request_duration_seconds_bucket",
           endpoint + ",le=\"" + Number(kBuckets[i]) + "\"", cumulative);
    }
    const std::uint64_t count = h.count.load(std::memory_order_relaxed);
    // Buckets are bumped before the count, so a request in flight may show in them first.
    Line(out, "quillgate_request_duration_seconds_bucket", endpoint + ",le=\"+Inf\"",
         std::max(count, cumulative));
    out += "quillgate_request_duration_seconds_sum{" + endpoint + "} " +
           Number(static_cast<double>(h.sumNanoseconds.load(std::memory_order_relaxed)) / 1e9) + "\n";
    Line(out, "quillgate_request_duration_seconds_count", endpoint, count);
  }
  return out;
}

}  // namespace quillgate::service
