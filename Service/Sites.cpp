#include "Service/Sites.h"

#include "Service/KeyRing.h"
#include "Service/PrivateFile.h"

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <stdexcept>

namespace quillgate::service {
namespace {

using nlohmann::json;

constexpr std::size_t kMinKeyLength = 8, kMaxKeyLength = 64;
constexpr std::size_t kMinSecretLength = 32, kMaxSecretLength = 128;
constexpr std::size_t kMaxNameLength = 100;

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
  throw std::runtime_error(path + ": " + problem);
}

bool IsTokenCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// An origin taken apart: scheme and host lowercased, the host of an IPv6 literal without
// its brackets, the port as written (when it is not the scheme's default).
struct OriginFields {
  std::string scheme;
  std::string host;
  bool ipv6 = false;
  std::optional<std::uint32_t> port;
};

// Host names as browsers put them in Origin headers: ASCII labels of letters, digits and
// hyphens (international names arrive in punycode), or an IPv6 literal in brackets.
bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  std::size_t labelLength = 0;
  for (std::size_t i = 0; i < host.size(); ++i) {
    const char c = host[i];
    if (c == '.') {
      if (labelLength == 0 || host[i - 1] == '-') return false;
      labelLength = 0;
    } else if (IsLetter(c) || IsDigit(c) || (c == '-' && labelLength > 0)) {
      if (++labelLength > 63) return false;
    } else {
      return false;
    }
  }
  return labelLength > 0 && host.back() != '-';
}

bool IsIpv6Literal(std::string_view host) {
  if (host.size() < 2) return false;
  return std::all_of(host.begin(), host.end(), [](char c) { return IsHex(c) || c == ':' || c == '.'; }) &&
         host.find(':') != std::string_view::npos;
}

// scheme://host[:port] and nothing more: no user, path, query or trailing slash, which a
// browser never puts in an Origin header.
std::optional<OriginFields> ParseOrigin(std::string_view origin) {
  const std::size_t separator = origin.find("://");
  if (separator == std::string_view::npos || separator == 0) return std::nullopt;
  OriginFields fields;
  fields.scheme = Lowered(origin.substr(0, separator));
  if (!IsLetter(fields.scheme.front()) ||
      !std::all_of(fields.scheme.begin(), fields.scheme.end(),
                   [](char c) { return IsLetter(c) || IsDigit(c) || c == '+' || c == '-' || c == '.'; })) {
    return std::nullopt;
  }
  std::string_view rest = origin.substr(separator + 3);
  std::string_view host;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = rest.substr(1, close - 1);
    if (!IsIpv6Literal(host)) return std::nullopt;
    fields.ipv6 = true;
    rest.remove_prefix(close + 1);
  } else {
    const std::size_t colon = rest.find(':');
    host = rest.substr(0, colon);
    if (!IsHostName(host)) return std::nullopt;
    rest.remove_prefix(host.size());
  }
  fields.host = Lowered(host);
  if (!rest.empty()) {
    if (rest.front() != ':') return std::nullopt;
    rest.remove_prefix(1);
    if (rest.empty() || rest.size() > 5 || !std::all_of(rest.begin(), rest.end(), IsDigit)) return std::nullopt;
    std::uint32_t port = 0;
    for (const char c : rest) port = port * 10 + static_cast<std::uint32_t>(c - '0');
    if (port == 0 || port > 65535) return std::nullopt;
    const bool isDefault = (fields.scheme == "http" && port == 80) || (fields.scheme == "https" && port == 443);
    if (!isDefault) fields.port = port;
  }
  return fields;
}

std::string Serialized(const OriginFields& fields) {
  std::string out = fields.scheme + "://";
  out += fields.ipv6 ? "[" + fields.host + "]" : fields.host;
  if (fields.port) out += ":" + std::to_string(*fields.port);
  return out;
}

// The origin in the one form both the sites file and the Origin header are compared in.
std::optional<std::string> NormalizedOrigin(std::string_view origin) {
  const auto fields = ParseOrigin(origin);
  if (!fields) return std::nullopt;
  return Serialized(*fields);
}

std::string ReadString(const json& value, const std::string& path) {
  if (!value.is_string()) Fail(path, "must be a string");
  return value.get<std::string>();
}

// Site keys and secrets: characters that need no escaping in a URL, a header or a form.
std::string ReadToken(const json& value, const std::string& path, std::size_t minLength, std::size_t maxLength) {
  std::string token = ReadString(value, path);
  if (token.size() < minLength) Fail(path, "at least " + std::to_string(minLength) + " characters");
  if (token.size() > maxLength) Fail(path, "at most " + std::to_string(maxLength) + " characters");
  if (!std::all_of(token.begin(), token.end(), IsTokenCharacter)) {
    Fail(path, "only letters, digits, '_' and '-' (A-Z a-z 0-9 _ -)");
  }
  return token;
}

std::vector<std::string> ReadOrigins(const json& value, const std::string& path) {
  if (!value.is_array()) Fail(path, "must be an array of origins");
  if (value.empty()) Fail(path, "must name at least one origin, or \"*\" for any");
  std::vector<std::string> origins;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const std::string entryPath = path + "[" + std::to_string(i) + "]";
    const std::string text = ReadString(value[i], entryPath);
    std::string origin;
    if (text == "*") {
      origin = text;
    } else {
      const auto fields = ParseOrigin(text);
      if (!fields || (fields->scheme != "http" && fields->scheme != "https")) {
        Fail(entryPath, "\"" + text + "\" is not an origin (http:// or https://, a host, an optional :port, no path)");
      }
      origin = Serialized(*fields);
    }
    if (std::find(origins.begin(), origins.end(), origin) != origins.end()) {
      Fail(entryPath, origin + " appears twice");
    }
    origins.push_back(std::move(origin));
  }
  if (origins.size() > 1 && std::find(origins.begin(), origins.end(), "*") != origins.end()) {
    Fail(path, "\"*\" allows every origin; list it alone");
  }
  return origins;
}

// Policy errors name their member from "policy"; here they are placed in the file.
Policy ReadPolicy(const json& value, const std::string& path, const Policy& over) {
  try {
    return Policy::FromJson(value, over);
  } catch (const std::runtime_error& error) {
    const std::string_view message = error.what();
    throw std::runtime_error(path + std::string(message.substr(std::string_view("policy").size())));
  }
}

Site ReadSite(const json& value, const std::string& path, const Policy& defaults) {
  if (!value.is_object()) Fail(path, "must be a JSON object");
  Site site;
  site.policy = defaults;
  bool hasKey = false, hasSecret = false, hasOrigins = false;
  for (const auto& [key, member] : value.items()) {
    const std::string memberPath = path + "." + key;
    if (key == "name") {
      site.name = ReadString(member, memberPath);
      // The name goes into log lines: printable ASCII keeps them one line each.
      if (site.name.empty() || site.name.size() > kMaxNameLength ||
          !std::all_of(site.name.begin(), site.name.end(), [](char c) { return c >= ' ' && c <= '~'; })) {
        Fail(memberPath, "1 to " + std::to_string(kMaxNameLength) + " printable ASCII characters");
      }
    } else if (key == "sitekey") {
      site.siteKey = ReadToken(member, memberPath, kMinKeyLength, kMaxKeyLength);
      hasKey = true;
    } else if (key == "secret") {
      site.secret = ReadToken(member, memberPath, kMinSecretLength, kMaxSecretLength);
      hasSecret = true;
    } else if (key == "origins") {
      site.origins = ReadOrigins(member, memberPath);
      hasOrigins = true;
    } else if (key == "policy") {
      site.policy = ReadPolicy(member, memberPath, defaults);
    } else {
      Fail(memberPath, "unknown member (known: name, sitekey, secret, origins, policy)");
    }
  }
  if (!hasKey) Fail(path + ".sitekey", "missing");
  if (!hasSecret) Fail(path + ".secret", "missing");
  if (!hasOrigins) Fail(path + ".origins", "missing");
  if (site.name.empty()) site.name = site.siteKey;
  return site;
}

// "line L, column C" of the 1-based byte offset where the parser stopped.
std::string PlaceOf(std::string_view text, std::size_t byte) {
  const std::string_view read = text.substr(0, byte == 0 ? 0 : std::min(byte - 1, text.size()));
  const std::size_t lineStart = read.rfind('\n');
  const auto line = 1 + std::count(read.begin(), read.end(), '\n');
  const std::size_t column = lineStart == std::string_view::npos ? read.size() + 1 : read.size() - lineStart;
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// nlohmann keeps the last of two equal keys without a word; in a file of secrets and
// policies a silently dropped member is refused instead.
json ParseRefusingRepeatedKeys(std::string_view text) {
  std::vector<std::set<std::string>> open;
  std::string repeated;
  const json::parser_callback_t callback = [&](int, json::parse_event_t event, json& parsed) {
    if (event == json::parse_event_t::object_start) {
      open.emplace_back();
    } else if (event == json::parse_event_t::object_end) {
      if (!open.empty()) open.pop_back();
    } else if (event == json::parse_event_t::key && !open.empty()) {
      const auto key = parsed.get<std::string>();
      if (!open.back().insert(key).second && repeated.empty()) repeated = key;
    }
    return true;
  };
  json document;
  try {
    document = json::parse(text.begin(), text.end(), callback);
  } catch (const json::parse_error& error) {
    // The parser's own message quotes the text it last read, which may be a secret: only
    // the place is told.
    throw std::runtime_error("the sites file is not valid JSON: " + PlaceOf(text, error.byte));
  } catch (const json::exception&) {
    // A number too large for any type is no syntax error to the parser, but refused alike.
    throw std::runtime_error("the sites file is not valid JSON: a number out of range");
  }
  if (!repeated.empty()) throw std::runtime_error("the member \"" + repeated + "\" appears twice in one object");
  return document;
}

using SecretHash = std::array<unsigned char, crypto_generichash_BYTES>;

// Secrets are compared by a fixed-size hash, so the comparison takes the same time
// whatever the lengths of the secret offered and of the secrets held.
SecretHash HashOf(std::string_view secret) {
  SecretHash hash{};
  crypto_generichash(hash.data(), hash.size(), reinterpret_cast<const unsigned char*>(secret.data()),
                     secret.size(), nullptr, 0);
  return hash;
}

std::string RandomToken(std::string_view prefix, std::size_t bytes) {
  InitializeSodium();
  std::vector<unsigned char> random(bytes);
  randombytes_buf(random.data(), random.size());
  const int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
  std::string text(sodium_base64_ENCODED_LEN(bytes, variant), '\0');
  sodium_bin2base64(text.data(), text.size(), random.data(), random.size(), variant);
  text.resize(text.find('\0'));
  sodium_memzero(random.data(), random.size());
  return std::string(prefix) + text;
}

}  // namespace

bool Site::AllowsOrigin(std::string_view origin) const {
  if (origin.empty()) return true;
  if (std::find(origins.begin(), origins.end(), "*") != origins.end()) return true;
  const auto normalized = NormalizedOrigin(origin);
  return normalized && std::find(origins.begin(), origins.end(), *normalized) != origins.end();
}

std::string HostnameOf(std::string_view origin) {
  const auto fields = ParseOrigin(origin);
  return fields ? fields->host : std::string();
}

Sites Sites::Implicit(Policy policy) {
  Site site;
  site.name = "default";
  site.siteKey = "default";
  site.origins = {"*"};
  site.policy = std::move(policy);
  site.policy.verifyApi = true;
  Sites sites;
  sites.sites_.push_back(std::move(site));
  sites.implicit_ = true;
  return sites;
}

Sites Sites::Parse(std::string_view text) {
  const json document = ParseRefusingRepeatedKeys(text);
  if (!document.is_object()) throw std::runtime_error("the sites file must hold a JSON object");
  Policy defaults = Policy::Default();
  const json* siteList = nullptr;
  for (const auto& [key, member] : document.items()) {
    if (key == "policy") {
      defaults = ReadPolicy(member, "policy", Policy::Default());
    } else if (key == "sites") {
      siteList = &member;
    } else {
      Fail(key, "unknown member (known: policy, sites)");
    }
  }
  if (siteList == nullptr) Fail("sites", "missing");
  if (!siteList->is_array()) Fail("sites", "must be an array");
  if (siteList->empty()) Fail("sites", "must list at least one site");

  Sites sites;
  std::vector<SecretHash> hashes;
  for (std::size_t i = 0; i < siteList->size(); ++i) {
    const std::string path = "sites[" + std::to_string(i) + "]";
    Site site = ReadSite((*siteList)[i], path, defaults);
    if (sites.ByKey(site.siteKey) != nullptr) {
      throw std::runtime_error("the site key " + site.siteKey + " appears twice");
    }
    // Two sites sharing a secret could verify each other's tokens. The secret itself is
    // never put in the message.
    const SecretHash hash = HashOf(site.secret);
    for (std::size_t j = 0; j < hashes.size(); ++j) {
      if (sodium_memcmp(hash.data(), hashes[j].data(), hash.size()) == 0) {
        Fail(path + ".secret", "the same secret as sites[" + std::to_string(j) + "]; each site needs its own");
      }
    }
    hashes.push_back(hash);
    sites.sites_.push_back(std::move(site));
  }
  return sites;
}

Sites Sites::Load(const std::filesystem::path& file) {
  const std::string text = ReadPrivateFile(file, "the sites file", kMaxSitesFileBytes);
  try {
    return Parse(text);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("the sites file " + file.string() + ": " + error.what());
  }
}

const Site* Sites::ByKey(std::string_view siteKey) const {
  const auto found =
      std::find_if(sites_.begin(), sites_.end(), [&](const Site& site) { return site.siteKey == siteKey; });
  return found == sites_.end() ? nullptr : &*found;
}

const Site* Sites::BySecret(std::string_view secret) const {
  InitializeSodium();
  if (secret.empty()) return nullptr;  // the implicit site has no secret, and no site has an empty one
  const SecretHash offered = HashOf(secret);
  const Site* match = nullptr;
  // Every site is compared, matched or not, so the time taken says nothing of which one
  // (or how much of a secret) was right.
  for (const Site& site : sites_) {
    const SecretHash held = HashOf(site.secret);
    const bool same = sodium_memcmp(offered.data(), held.data(), offered.size()) == 0;
    if (same && !site.secret.empty()) match = &site;
  }
  return match;
}

std::string NewSiteKey() { return RandomToken("qg_pk_", 16); }
std::string NewSiteSecret() { return RandomToken("qg_sk_", 32); }

std::string WithSiteAdded(std::string_view fileText, const nlohmann::ordered_json& site) {
  using ordered = nlohmann::ordered_json;
  ordered document = {{"sites", ordered::array()}};
  if (!fileText.empty()) {
    const Sites existing = Sites::Parse(fileText);
    // Read again to keep the members as they stand, in their order; Parse has refused
    // anything this could read differently (a repeated key, a number out of range).
    document = ordered::parse(fileText.begin(), fileText.end());
    const std::string path = "sites[" + std::to_string(existing.All().size()) + "].name";
    if (const auto name = site.find("name"); name != site.end() && name->is_string()) {
      for (std::size_t i = 0; i < existing.All().size(); ++i) {
        if (existing.All()[i].name == name->get<std::string>()) {
          Fail(path, "\"" + existing.All()[i].name + "\" is already the name of sites[" + std::to_string(i) + "]");
        }
      }
    }
  }
  document["sites"].push_back(site);
  std::string text = document.dump(2) + "\n";
  (void)Sites::Parse(text);
  if (text.size() > kMaxSitesFileBytes) {
    throw std::runtime_error("the sites file would be more than " + std::to_string(kMaxSitesFileBytes) + " bytes");
  }
  return text;
}

}  // namespace quillgate::service
