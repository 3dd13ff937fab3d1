// quillgate serve: the HTTP CAPTCHA service; quillgate token open: what a token holds.
#include "cli/Commands.h"

#include "Service/CaptchaService.h"
#include "Service/HttpServer.h"
#include "Service/KeyRing.h"
#include "Service/Log.h"
#include "Service/PrivateFile.h"
#include "Service/Sites.h"
#include "Service/Stores.h"
#include "Service/Token.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <filesystem>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sys/resource.h>

namespace quillgate::cli {
namespace {

using namespace quillgate::service;

struct ServeOptions {
  std::string listen = "127.0.0.1:8080";
  std::string metricsListen;  // empty: /metrics on the main listener
  int workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  int renderThreads = 0;  // 0: as many as workers
  std::size_t renderQueue = 64;
  std::size_t renderPerClient = 8;
  std::size_t renderPerNetwork = 16;
  std::string secretFile;  // empty: DefaultKeyFile() in the state folder
  std::string sitesFile;
  std::string policyFile;
  std::string store = "memory";
  int redisTimeoutMs = 250;
  std::size_t memoryCapacity = 1'000'000;
  bool redisNoevictionChecked = false;
  int clockSkewMs = 3000;
  std::size_t maxConnections = 0;  // 0: DefaultMaxConnections() once the open-file limit is raised
  std::size_t maxClientConnections = 32;
  std::size_t maxNetworkConnections = 256;
  std::vector<std::string> trustedProxies;
  int headerTimeout = 10;
  int idleTimeout = 30;
  int grace = 10;
  bool quiet = false;
};

// "ADDR:PORT", the address possibly in brackets (IPv6).
std::pair<std::string, unsigned short> SplitListen(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) throw std::runtime_error("--listen: expected ADDR:PORT, got " + text);
  std::string host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string digits = text.substr(colon + 1);
  unsigned port = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (error != std::errc{} || end != digits.data() + digits.size() || port > 65535 || digits.empty()) {
    throw std::runtime_error("--listen: bad port in " + text);
  }
  return {host, static_cast<unsigned short>(port)};
}

// A check made of a parser that throws std::runtime_error: its message, as CLI11 wants it.
template <typename Parse>
CLI::Validator Parses(Parse parse) {
  return CLI::Validator(
      [parse](std::string& text) -> std::string {
        try {
          parse(text);
          return {};
        } catch (const std::runtime_error& error) {
          return error.what();
        }
      },
      "");
}

// The check of --listen and --metrics-listen.
CLI::Validator ListenAddress() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        try {
          SplitListen(text);
          return {};
        } catch (const std::runtime_error& error) {
          return std::string(error.what()).substr(std::string("--listen: ").size());
        }
      },
      "");
}

// A server holding thousands of connections needs as many open files: the soft limit
// (often 1,024) goes up to the hard one, as servers do at start.
void RaiseOpenFileLimit() {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= files.rlim_max) return;
  files.rlim_cur = files.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &files);
}

RefusalReason ReasonOf(Refusal refusal) {
  switch (refusal) {
    case Refusal::TooManyClientConnections: return RefusalReason::ClientConnections;
    case Refusal::TooManyNetworkConnections: return RefusalReason::NetworkConnections;
    case Refusal::Evicted: return RefusalReason::Evicted;
    case Refusal::TooManyConnections: break;
  }
  return RefusalReason::Connections;
}

// The sites as the files say now (at start, and again on SIGHUP).
Sites ReadSites(const ServeOptions& options) {
  if (!options.sitesFile.empty()) return Sites::Load(options.sitesFile);
  Policy policy = Policy::Default();
  if (!options.policyFile.empty()) {
    const std::string text = ReadPrivateFile(options.policyFile, "the policy file", 1 << 20, FileSecrecy::Public);
    const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
    if (value.is_discarded()) throw std::runtime_error("the policy file " + options.policyFile + " is not JSON");
    policy = Policy::FromJson(value, Policy::Default());
  }
  return Sites::Implicit(std::move(policy));
}

std::string DescribeSites(const ServeOptions& options, const Sites& sites) {
  if (sites.IsImplicit()) {
    return "no sites file: one implicit site (sitekey \"default\") for any origin, /api/verify open, " +
           std::string(options.policyFile.empty() ? "the default policy" : "the policy of " + options.policyFile);
  }
  return "sites file " + options.sitesFile + " (" + std::to_string(sites.All().size()) + " sites)";
}

// The key file named, or the one in the server's state folder, made private when new.
std::filesystem::path KeyFileOf(const std::string& named) {
  if (!named.empty()) return named;
  const std::filesystem::path file = DefaultKeyFile(StateFolders::OfProcess());
  MakePrivateFolder(file.parent_path());
  return file;
}

void Serve(const ServeOptions& options) {
  // The signals are taken by this thread alone (sigwait below), so the workers started
  // next never see them and stopping or reloading is an ordinary call.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  // Everything that can fail is checked before anything is written: a mistyped option
  // must not leave a new secret file behind.
  InitializeSodium();
  RaiseOpenFileLimit();
  ServerLimits limits;
  for (const std::string& proxy : options.trustedProxies) limits.trustedProxies.push_back(Network::Parse(proxy));
  limits.maxConnections = options.maxConnections > 0 ? options.maxConnections : DefaultMaxConnections();
  limits.maxConnectionsPerClient = options.maxClientConnections;
  limits.maxConnectionsPerNetwork = options.maxNetworkConnections;
  limits.headerTimeout = std::chrono::seconds(options.headerTimeout);
  limits.idleTimeout = std::chrono::seconds(options.idleTimeout);
  const auto [host, port] = SplitListen(options.listen);
  Sites sites = ReadSites(options);
  Stores stores = MakeStores(options.store, options.memoryCapacity, std::chrono::milliseconds(options.redisTimeoutMs),
                             RedisStoreOptions{options.clockSkewMs, options.redisNoevictionChecked});
  const std::string storeName = stores.replay->Describe();
  const std::string sitesLine = DescribeSites(options, sites);
  const std::filesystem::path keyFile = KeyFileOf(options.secretFile);

  // The server binds here, before the service exists; it calls the handlers only once
  // started, by which time the service is in place.
  std::unique_ptr<CaptchaService> service;
  HttpServer server(
      host, port, limits,
      [&service](Request&& request, const Peer& peer, Responder respond) {
        service->Handle(std::move(request), peer, std::move(respond));
      },
      [&service](Refusal refusal) { service->GetMetrics().CountRefusal(ReasonOf(refusal)); });

  ServiceOptions serviceOptions;
  serviceOptions.renderThreads = options.renderThreads > 0 ? options.renderThreads : options.workers;
  serviceOptions.renderQueue = options.renderQueue;
  serviceOptions.renderPerClient = options.renderPerClient;
  serviceOptions.renderPerNetwork = options.renderPerNetwork;
  serviceOptions.logRequests = !options.quiet;
  serviceOptions.metricsOnMainListener = options.metricsListen.empty();
  serviceOptions.connectionLoad = [&server, most = static_cast<double>(limits.maxConnections)] {
    return static_cast<double>(server.Connections()) / most;
  };
  // /metrics on an address of its own, kept private by the operator (a loopback or an
  // internal network); bound before anything is written, like the main listener.
  std::optional<HttpServer> metricsServer;
  if (!options.metricsListen.empty()) {
    const auto [metricsHost, metricsPort] = SplitListen(options.metricsListen);
    ServerLimits metricsLimits;
    metricsLimits.maxConnections = 64;
    metricsLimits.headerTimeout = limits.headerTimeout;
    metricsLimits.idleTimeout = limits.idleTimeout;
    metricsServer.emplace(metricsHost, metricsPort, metricsLimits,
                          [&service](Request&& request, const Peer& peer, Responder respond) {
                            service->HandleMetrics(std::move(request), peer, std::move(respond));
                          });
  }
  service = std::make_unique<CaptchaService>(
      std::make_shared<const ServiceConfig>(ServiceConfig{KeyRing::LoadOrCreate(keyFile), std::move(sites)}),
      std::move(stores), serviceOptions);
  server.Start(options.workers);
  if (metricsServer) metricsServer->Start(1);
  const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  std::printf("Listening on http://%s:%u (%d workers, %d render threads, %zu connections at most, store %s, "
              "secret file %s; %s)\n",
              shownHost.c_str(), server.Port(), options.workers, serviceOptions.renderThreads, limits.maxConnections,
              storeName.c_str(), keyFile.c_str(), sitesLine.c_str());
  if (metricsServer) {
    const std::string metricsHost = SplitListen(options.metricsListen).first;
    std::printf("Metrics on http://%s:%u/metrics\n",
                (metricsHost.find(':') != std::string::npos ? "[" + metricsHost + "]" : metricsHost).c_str(),
                metricsServer->Port());
  }
  std::fflush(stdout);

  for (;;) {
    int received = 0;
    sigwait(&signals, &received);
    if (received != SIGHUP) {
      WriteLogLine({{"event", "stopping"}, {"signal", received}, {"grace_s", options.grace}});
      break;
    }
    // A file that no longer reads leaves the running configuration as it was.
    try {
      auto fresh = std::make_shared<const ServiceConfig>(
          ServiceConfig{KeyRing::Load(keyFile), ReadSites(options)});
      const std::string line = DescribeSites(options, fresh->sites);
      service->Reload(std::move(fresh));
      WriteLogLine({{"event", "reloaded"}, {"sites", line}});
    } catch (const std::exception& error) {
      WriteLogLine({{"event", "reload_failed"}, {"error", error.what()}});
    }
  }
  // New connections are no longer taken; requests in flight get their answers.
  if (metricsServer) metricsServer->Drain(std::chrono::seconds(0));
  server.Drain(std::chrono::seconds(options.grace));
  server.Wait();
  if (metricsServer) metricsServer->Wait();
}

void OpenTokenCommand(const std::string& secretFile, const std::string& token) {
  const KeyRing keys = KeyRing::Load(secretFile.empty() ? DefaultKeyFile(StateFolders::OfProcess()) : std::filesystem::path(secretFile));
  // Opened whatever its expiry: an admin wants to see old tokens too.
  const auto opened = OpenToken(keys, token, std::numeric_limits<std::int64_t>::min());
  if (const auto* error = std::get_if<TokenError>(&opened)) {
    throw std::runtime_error("the token cannot be opened: " + std::string(ErrorName(*error)));
  }
  const TokenClaims& claims = std::get<TokenClaims>(opened);
  const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch()).count();
  char keyId[9];
  std::snprintf(keyId, sizeof keyId, "%08x", claims.keyId);
  char issuer[17];
  std::snprintf(issuer, sizeof issuer, "%016llx", static_cast<unsigned long long>(claims.issuer));
  const nlohmann::json out = {{"code", claims.code},         {"expires_ms", claims.expiresMs},
                              {"expired", nowMs >= claims.expiresMs}, {"issued_ms", claims.issuedMs},
                              {"id", Hex(claims.id)},       {"key_id", keyId},
                              {"issuer", issuer},           {"sitekey", claims.siteKey},
                              {"hostname", claims.hostname}, {"style", claims.style},
                              {"type", claims.type},        {"width", claims.width},
                              {"height", claims.height}};
  std::printf("%s\n", out.dump().c_str());
}

}  // namespace

void AddServiceCommands(CLI::App& app) {
  auto options = std::make_shared<ServeOptions>();
  auto* serve = app.add_subcommand("serve", "Serve CAPTCHA challenges over HTTP with single-use tokens");
  serve->add_option("--listen", options->listen, "Address and port to listen on, ADDR:PORT (port 0: any free port)")
      ->check(ListenAddress())
      ->capture_default_str();
  serve->add_option("--metrics-listen", options->metricsListen,
                    "Serve /metrics on this ADDR:PORT only, not on --listen; keep it private (loopback or an "
                    "internal network)")
      ->check(ListenAddress());
  serve->add_option("--workers", options->workers, "Threads that read and answer requests")
      ->check(CLI::Range(1, 256))->capture_default_str();
  serve->add_option("--render-threads", options->renderThreads, "Threads that draw challenges (0: as many as --workers)")
      ->check(CLI::Range(0, 256))->capture_default_str();
  serve->add_option("--render-queue", options->renderQueue, "Challenges waiting to be drawn at most; more are refused with 503")
      ->check(CLI::Range(1, 100'000))->capture_default_str();
  serve->add_option("--render-per-client", options->renderPerClient,
                    "Challenges one client may have waiting or being drawn; more are refused with 429")
      ->check(CLI::Range(1, 100'000))->capture_default_str();
  serve->add_option("--render-per-network", options->renderPerNetwork,
                    "Challenges the clients of one network (IPv4 /24, IPv6 /48) may have waiting or being drawn; "
                    "more are refused with 429")
      ->check(CLI::Range(1, 100'000))->capture_default_str();
  serve->add_option("--secret-file", options->secretFile,
                    "Token keys, one per line (the first seals, all open); created with mode 0600 when missing. "
                    "Default: keys in the state folder ($STATE_DIRECTORY; /var/lib/quillgate for root; else "
                    "$XDG_STATE_HOME/quillgate or ~/.local/state/quillgate)");
  serve->add_option("--sites", options->sitesFile,
                    "Sites file (JSON, mode 0600): site keys, secrets, origins and policies; reread on SIGHUP");
  serve->add_option("--policy", options->policyFile,
                    "Without --sites: a file holding a JSON policy for the one implicit site instead of the default "
                    "(no one but its owner may write it)");
  serve->add_option("--store", options->store,
                    "Used tokens and rate limits: memory, or a Redis URL (redis://[:PASSWORD@]HOST[:PORT][/DB], "
                    "unix:///PATH[?db=N&password=P]) shared by several servers")
      ->check(Parses([](const std::string& text) { CheckStoreSpec(text); }))
      ->capture_default_str();
  serve->add_option("--redis-timeout-ms", options->redisTimeoutMs, "Milliseconds any Redis call may take")
      ->check(CLI::Range(10, 10'000))->capture_default_str();
  serve->add_option("--memory-capacity", options->memoryCapacity,
                    "Used tokens the memory store remembers at once; verifies beyond it are refused with 503")
      ->check(CLI::Range(1, 100'000'000))->capture_default_str();
  serve->add_flag("--redis-noeviction-checked", options->redisNoevictionChecked,
                  "The Redis refuses CONFIG, and you have checked that its maxmemory-policy is noeviction");
  serve->add_option("--clock-skew-ms", options->clockSkewMs,
                    "How far apart the servers' clocks may be: after Redis lost its data, tokens issued up to this "
                    "long after it noticed are refused too")
      ->check(CLI::Range(0, 600'000))->capture_default_str();
  serve->add_option("--max-connections", options->maxConnections,
                    "Open connections at most (0: sized by memory and the open-file limit); when full, the connection "
                    "waiting longest for its request is closed to make room")
      ->check(CLI::Range(0, 1'000'000))->capture_default_str();
  serve->add_option("--max-client-connections", options->maxClientConnections,
                    "Open connections at most from one client (IPv4 address or IPv6 /64); more are refused with 429")
      ->check(CLI::Range(1, 1'000'000))->capture_default_str();
  serve->add_option("--max-network-connections", options->maxNetworkConnections,
                    "Open connections at most from one network (IPv4 /24, IPv6 /48); more are refused with 429")
      ->check(CLI::Range(1, 1'000'000))->capture_default_str();
  serve->add_option("--trust-proxy", options->trustedProxies,
                    "A proxy (ADDRESS or NETWORK/PREFIX) whose X-Forwarded-For names the client; repeatable")
      ->check(Parses([](const std::string& text) { (void)Network::Parse(text); }));
  serve->add_option("--header-timeout", options->headerTimeout, "Seconds a client may take to send a request")
      ->check(CLI::Range(1, 3600))->capture_default_str();
  serve->add_option("--idle-timeout", options->idleTimeout, "Seconds a kept-alive connection may wait idle")
      ->check(CLI::Range(1, 3600))->capture_default_str();
  serve->add_option("--grace", options->grace, "Seconds that requests in flight get to finish on SIGTERM")
      ->check(CLI::Range(0, 3600))->capture_default_str();
  serve->add_flag("--quiet", options->quiet, "No log line per request (events are still logged)");
  serve->callback([options] { Serve(*options); });

  auto* token = app.add_subcommand("token", "Inspect challenge tokens");
  token->require_subcommand(1);
  auto* open = token->add_subcommand("open", "Print what a token holds as JSON (code, expiry, ids)");
  auto secretFile = std::make_shared<std::string>();
  auto text = std::make_shared<std::string>();
  open->add_option("--secret-file", *secretFile, "The server's secret file (default: as serve's)");
  open->add_option("token", *text, "The token")->required();
  open->callback([secretFile, text] { OpenTokenCommand(*secretFile, *text); });
}

}  // namespace quillgate::cli
