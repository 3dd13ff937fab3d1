#pragma once
// Who a client is, for limits: its IPv4 address, or the /64 network of its IPv6 address (one
// subscriber usually holds a whole /64, so counting single IPv6 addresses would give each
// of them 2^64 clients). A proxy's own address is replaced by the client it names in
// X-Forwarded-For only when the proxy is one the operator trusts (--trust-proxy).

#include <boost/asio/ip/address.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace quillgate::service {

// An address with a prefix length: 10.0.0.0/8, 2001:db8::/32, or a single address.
struct Network {
  boost::asio::ip::address base;
  unsigned prefix = 0;

  // Throws std::runtime_error for text that is not ADDRESS or ADDRESS/PREFIX.
  static Network Parse(std::string_view text);
  [[nodiscard]] bool Contains(const boost::asio::ip::address& address) const;
};

// "192.0.2.7" for IPv4 (also when mapped into IPv6), "2001:db8:1:2::/64" for IPv6.
[[nodiscard]] std::string ClientKey(const boost::asio::ip::address& address);

// The network a client is in, for limits above a client's own: its IPv4 /24 or IPv6 /48
// ("192.0.2.0/24", "2001:db8:1::/48"). Rented addresses come in blocks, so a bot holding
// many of them in a few networks is held to a few networks' shares.
[[nodiscard]] std::string NetworkKey(const boost::asio::ip::address& address);

[[nodiscard]] bool IsTrusted(const std::vector<Network>& proxies, const boost::asio::ip::address& address);

// The client's address: `peer` itself unless `peer` is a trusted proxy; then, walking the
// X-Forwarded-For list (`forwardedFor`, all such headers joined by commas) from its right
// end, the first address that is not a trusted proxy. A malformed entry stops the walk at
// the last trusted hop, never at a value the client could have written.
[[nodiscard]] boost::asio::ip::address ClientAddress(const std::vector<Network>& proxies,
                                                     const boost::asio::ip::address& peer,
                                                     std::string_view forwardedFor);

}  // namespace quillgate::service
