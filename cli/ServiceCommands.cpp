// quillgate serve: the HTTP CAPTCHA service; quillgate token open: what a token holds.
#include "cli/Commands.h"

#include "Service/CaptchaService.h"
#include "Service/HttpServer.h"
#include "Service/KeyRing.h"
#include "Service/ReplayStore.h"
#include "Service/Token.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include <pthread.h>

namespace quillgate::cli {
namespace {

using namespace quillgate::service;

struct ServeOptions {
  std::string listen = "127.0.0.1:8080";
  int workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::string secretFile = "quillgate.keys";
  std::string store = "memory";
  std::int64_t ttl = 300;
  std::size_t memoryCapacity = 100'000;
  std::size_t maxConnections = 512;
  int headerTimeout = 10;
  int idleTimeout = 30;
  ImageSettings image;
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

void Serve(const ServeOptions& options) {
  // SIGINT and SIGTERM are taken by this thread alone (sigwait below), so the workers
  // started next never see them and shutting down is an ordinary call.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  ServiceOptions serviceOptions;
  serviceOptions.defaults = options.image;
  serviceOptions.defaults.format = NormalizeFormat(options.image.format);
  if (serviceOptions.defaults.format.empty()) {
    throw std::runtime_error("--format must be JPEG, PNG, GIF, BMP or TIFF");
  }
  serviceOptions.ttlSeconds = options.ttl;
  auto store = MakeReplayStore(options.store, options.memoryCapacity);
  const std::string storeName = store->Describe();
  if (options.store == "memory") {
    // This run cannot know which tokens an earlier run saw used.
    serviceOptions.refuseIssuedBeforeMs = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch()).count();
  }
  CaptchaService service(KeyRing::LoadOrCreate(options.secretFile), std::move(store), serviceOptions);

  ServerLimits limits;
  limits.maxConnections = options.maxConnections;
  limits.headerTimeout = std::chrono::seconds(options.headerTimeout);
  limits.idleTimeout = std::chrono::seconds(options.idleTimeout);
  const auto [host, port] = SplitListen(options.listen);
  HttpServer server(host, port, limits,
                    [&service](const Request& request) { return service.Handle(request); },
                    [&service] { service.GetMetrics().CountConnectionRefused(); });
  server.Start(options.workers);
  const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  std::printf("Listening on http://%s:%u (%d workers, store %s, secret file %s)\n", shownHost.c_str(),
              server.Port(), options.workers, storeName.c_str(), options.secretFile.c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  std::fprintf(stderr, "quillgate serve: stopping (signal %d)\n", received);
  server.Stop();
  server.Wait();
}

void OpenTokenCommand(const std::string& secretFile, const std::string& token) {
  const KeyRing keys = KeyRing::Load(secretFile);
  // Opened whatever its expiry: an admin wants to see old tokens too.
  const auto opened = OpenToken(keys, token, std::numeric_limits<std::int64_t>::min());
  if (const auto* error = std::get_if<TokenError>(&opened)) {
    throw std::runtime_error("the token cannot be opened: " + std::string(ErrorName(*error)));
  }
  const TokenClaims& claims = std::get<TokenClaims>(opened);
  const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::now().time_since_epoch()).count();
  char keyId[9];
  std::snprintf(keyId, sizeof keyId, "%08x", claims.keyId);
  const nlohmann::json out = {{"code", claims.code},     {"expires", claims.expires},
                              {"expired", now >= claims.expires}, {"issued_ms", claims.issuedMs},
                              {"id", Hex(claims.id)},    {"key_id", keyId}};
  std::printf("%s\n", out.dump().c_str());
}

}  // namespace

void AddServiceCommands(CLI::App& app) {
  auto options = std::make_shared<ServeOptions>();
  auto* serve = app.add_subcommand("serve", "Serve CAPTCHA challenges over HTTP with single-use tokens");
  serve->add_option("--listen", options->listen, "Address and port to listen on, ADDR:PORT (port 0: any free port)")
      ->capture_default_str();
  serve->add_option("--workers", options->workers, "Threads that answer requests and draw images")
      ->check(CLI::Range(1, 256))->capture_default_str();
  serve->add_option("--secret-file", options->secretFile,
                    "Token keys, one per line (the first seals, all open); created with mode 0600 when missing")
      ->capture_default_str();
  serve->add_option("--store", options->store, "Replay store: memory, or redis://HOST:PORT shared by several servers")
      ->capture_default_str();
  serve->add_option("--ttl", options->ttl, "Seconds a challenge stays valid")->check(CLI::Range(1, 86400))
      ->capture_default_str();
  serve->add_option("--memory-capacity", options->memoryCapacity,
                    "Live challenges the memory store keeps track of; more are refused with 503")
      ->check(CLI::Range(1, 100'000'000))->capture_default_str();
  serve->add_option("--max-connections", options->maxConnections, "Open connections at most; more are refused with 503")
      ->check(CLI::Range(1, 1'000'000))->capture_default_str();
  serve->add_option("--header-timeout", options->headerTimeout, "Seconds a client may take to send a request")
      ->check(CLI::Range(1, 3600))->capture_default_str();
  serve->add_option("--idle-timeout", options->idleTimeout, "Seconds a kept-alive connection may wait idle")
      ->check(CLI::Range(1, 3600))->capture_default_str();
  serve->add_option("--style", options->image.style, "Default text style, 0..49")->capture_default_str();
  serve->add_option("--width", options->image.width, "Default image width, 20..1000")->capture_default_str();
  serve->add_option("--height", options->image.height, "Default image height, 10..400")->capture_default_str();
  serve->add_option("--length", options->image.length, "Default code length, 1..16")->capture_default_str();
  serve->add_option("--type", options->image.type, "Default code type: 0 letters and digits, 1 letters, 2 digits")
      ->capture_default_str();
  serve->add_option("--format", options->image.format, "Default image format: JPEG, PNG, GIF, BMP or TIFF")
      ->capture_default_str();
  serve->callback([options] { Serve(*options); });

  auto* token = app.add_subcommand("token", "Inspect challenge tokens");
  token->require_subcommand(1);
  auto* open = token->add_subcommand("open", "Print what a token holds as JSON (code, expiry, ids)");
  auto secretFile = std::make_shared<std::string>();
  auto text = std::make_shared<std::string>();
  open->add_option("--secret-file", *secretFile, "The server's secret file")->required();
  open->add_option("token", *text, "The token")->required();
  open->callback([secretFile, text] { OpenTokenCommand(*secretFile, *text); });
}

}  // namespace quillgate::cli
