// What a client or an operator hands the service as text: a siteverify form body, a
// challenge request checked against the default policy, a token, an X-Forwarded-For chain
// and a sites file. Whatever the bytes, each parser either gives a value or a clear refusal;
// a token or a proof-of-work puzzle opens only when it is genuine (none of these inputs is).
#include "Service/ClientAddress.h"
#include "Service/FormBody.h"
#include "Service/KeyRing.h"
#include "Service/Policy.h"
#include "Service/ProofOfWork.h"
#include "Service/Sites.h"
#include "Service/Token.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

using namespace quillgate::service;

namespace {

std::int32_t LastIndex(std::int32_t n) { return n - 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const KeyRing keys = KeyRing::Generate();
  static const std::vector<Network> proxies = {Network::Parse("127.0.0.0/8"), Network::Parse("fd00::/8")};
  FuzzedDataProvider input(data, size);
  const std::string text = input.ConsumeRandomLengthString(4096);
  switch (input.ConsumeIntegralInRange(0, 5)) {
    case 0:
      (void)ParseForm(text);
      break;
    case 1: {
      const nlohmann::json request = nlohmann::json::parse(text, nullptr, false);
      if (request.is_discarded()) break;
      // Every member open, so that each wish is read; and closed, so that none is taken.
      static const Policy open = [] {
        Policy policy = Policy::Default();
        policy.clientChoice = {.style = true, .size = true, .length = true, .type = true, .format = true};
        return policy;
      }();
      const auto chosen = ChooseSettings(open, request, &LastIndex);
      if (const auto* settings = std::get_if<ImageSettings>(&chosen)) {
        // Whatever was accepted lies inside the policy.
        if (!open.length.Contains(settings->length) || !open.width.Contains(settings->width) ||
            !open.height.Contains(settings->height)) {
          std::abort();
        }
      }
      const auto closed = ChooseSettings(Policy::Default(), request, &LastIndex);
      if (const auto* settings = std::get_if<ImageSettings>(&closed)) {
        // Nothing may be chosen: the policy's own size, length, type and format.
        const Policy policy = Policy::Default();
        if (settings->width != policy.width.fallback || settings->height != policy.height.fallback ||
            settings->length != policy.length.fallback || settings->type != policy.type ||
            settings->format != policy.format) {
          std::abort();
        }
      }
      break;
    }
    case 2:
      if (std::holds_alternative<TokenClaims>(OpenToken(keys, text, 0))) std::abort();
      break;
    case 4:
      if (std::holds_alternative<Puzzle>(OpenPuzzle(keys, text, 0))) std::abort();
      try {
        (void)OfferFromJson(nlohmann::json::parse(text, nullptr, false));
      } catch (const std::runtime_error&) {
      }
      break;
    case 3:
      (void)ClientKey(ClientAddress(proxies, boost::asio::ip::make_address("127.0.0.1"), text));
      break;
    default:
      try {
        (void)Sites::Parse(text);
      } catch (const std::runtime_error&) {
      }
  }
  return 0;
}
