#include "Service/ClientAddress.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace quillgate::service {

namespace ip = boost::asio::ip;

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// A bare IPv4 or IPv6 address, nothing around it. Scoped IPv6 ("fe80::1%eth0") is refused:
// a scope names an interface of the sender's machine, which means nothing here.
std::optional<ip::address> ParseAddress(std::string_view text) {
  if (text.empty() || text.find('%') != std::string_view::npos) return std::nullopt;
  boost::system::error_code ec;
  const ip::address address = ip::make_address(std::string(text), ec);
  if (ec) return std::nullopt;
  return address;
}

// The first `prefix` bits of `bytes` kept, the rest cleared.
template <std::size_t N>
std::array<unsigned char, N> Masked(std::array<unsigned char, N> bytes, unsigned prefix) {
  for (std::size_t i = 0; i < N; ++i) {
    const unsigned bitsBefore = static_cast<unsigned>(i * 8);
    if (prefix >= bitsBefore + 8) continue;
    const unsigned keep = prefix > bitsBefore ? prefix - bitsBefore : 0;
    bytes[i] = static_cast<unsigned char>(bytes[i] & (keep == 0 ? 0u : (0xFFu << (8 - keep)) & 0xFFu));
  }
  return bytes;
}

// IPv4 stays IPv4; an IPv4-mapped IPv6 address (what a dual-stack socket reports for an
// IPv4 client) becomes the IPv4 address it carries, so both spellings are one client.
ip::address Unmapped(const ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return ip::make_address_v4(ip::v4_mapped, address.to_v6());
  }
  return address;
}

}  // namespace

Network Network::Parse(std::string_view text) {
  const auto fail = [&]() -> Network {
    throw std::runtime_error("not an IP address or network (ADDRESS or ADDRESS/PREFIX): \"" +
                             std::string(text) + "\"");
  };
  const std::string_view trimmed = Trim(text);
  const auto slash = trimmed.find('/');
  const auto address = ParseAddress(trimmed.substr(0, slash));
  if (!address) return fail();
  const unsigned width = address->is_v4() ? 32 : 128;
  unsigned prefix = width;
  if (slash != std::string_view::npos) {
    const std::string_view digits = trimmed.substr(slash + 1);
    // Digits only: from_chars would take "+8" or stop quietly before "8x".
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return fail();
    }
    std::from_chars(digits.data(), digits.data() + digits.size(), prefix);
    if (prefix > width) return fail();
  }
  Network network;
  network.prefix = prefix;
  // Kept as the network address itself, so 10.1.2.3/8 and 10.0.0.0/8 are the same network.
  if (address->is_v4()) {
    network.base = ip::address_v4(Masked(address->to_v4().to_bytes(), prefix));
  } else {
    network.base = ip::address_v6(Masked(address->to_v6().to_bytes(), prefix));
  }
  return network;
}

bool Network::Contains(const ip::address& address) const {
  if (base.is_v4()) {
    const ip::address plain = Unmapped(address);
    if (!plain.is_v4()) return false;
    return Masked(plain.to_v4().to_bytes(), prefix) == base.to_v4().to_bytes();
  }
  // An IPv6 network (say ::ffff:0:0/96) is compared with the IPv6 form of an IPv4 address.
  const ip::address_v6 v6 =
      address.is_v4() ? ip::make_address_v6(ip::v4_mapped, address.to_v4()) : address.to_v6();
  return Masked(v6.to_bytes(), prefix) == base.to_v6().to_bytes();
}

std::string ClientKey(const ip::address& address) {
  const ip::address plain = Unmapped(address);
  if (plain.is_v4()) return plain.to_v4().to_string();
  // Built from the bytes alone: the scope id of a link-local address is not part of the key.
  return ip::address_v6(Masked(plain.to_v6().to_bytes(), 64)).to_string() + "/64";
}

std::string NetworkKey(const ip::address& address) {
  const ip::address plain = Unmapped(address);
  if (plain.is_v4()) {
    ip::address_v4::bytes_type bytes = plain.to_v4().to_bytes();
    bytes[3] = 0;
    return ip::address_v4(bytes).to_string() + "/24";
  }
  return ip::address_v6(Masked(plain.to_v6().to_bytes(), 48)).to_string() + "/48";
}

bool IsTrusted(const std::vector<Network>& proxies, const ip::address& address) {
  return std::any_of(proxies.begin(), proxies.end(),
                     [&](const Network& network) { return network.Contains(address); });
}

ip::address ClientAddress(const std::vector<Network>& proxies, const ip::address& peer,
                          std::string_view forwardedFor) {
  if (!IsTrusted(proxies, peer)) return peer;
  // From the right: each trusted hop appended the address it received the request from, so
  // the first untrusted address is the client; everything further left came from the client
  // and may be made up.
  ip::address lastTrusted = peer;
  std::string_view rest = forwardedFor;
  while (!rest.empty()) {
    const auto comma = rest.rfind(',');
    const std::string_view entry =
        Trim(comma == std::string_view::npos ? rest : rest.substr(comma + 1));
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(0, comma);
    std::optional<ip::address> address;
    if (entry.size() > 2 && entry.front() == '[' && entry.back() == ']') {
      address = ParseAddress(entry.substr(1, entry.size() - 2));
      if (address && !address->is_v6()) address.reset();  // brackets are for IPv6 only
    } else {
      address = ParseAddress(entry);
    }
    // Ports, names, "unknown", empty entries: not something a trusted hop would write, so
    // no one further left can be believed either.
    if (!address) return lastTrusted;
    if (!IsTrusted(proxies, *address)) return *address;
    lastTrusted = *address;
  }
  return lastTrusted;
}

}  // namespace quillgate::service
