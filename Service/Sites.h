#pragma once
// The sites a server serves, read from a sites file (JSON, mode 0600 like the key file,
// read again on SIGHUP):
//
//   {"policy": { ...defaults for every site, see Policy.h... },
//    "sites": [
//      {"name": "shop", "sitekey": "qg_pk_...", "secret": "qg_sk_...",
//       "origins": ["https://shop.example.org", "https://www.shop.example.org"],
//       "policy": { ...this site's own members... }}]}
//
// A site key is public (it sits in the site's pages); the secret stays on the site's
// server and is what /siteverify checks. Origins are the pages that may ask for challenges
// ("*": any page). With no sites file the server has one implicit site: any origin, the
// default policy with /api/verify open, so a first trial needs no configuration.

#include "Service/Policy.h"

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::service {

// The largest sites file a server reads, and so the largest a tool may write.
inline constexpr std::size_t kMaxSitesFileBytes = 1 << 20;

struct Site {
  std::string name;                  // for logs; the site key when the file names none
  std::string siteKey;               // [A-Za-z0-9_-], 8 to 64 characters
  std::string secret;                // at least 32 characters of [A-Za-z0-9_-]
  std::vector<std::string> origins;  // "scheme://host[:port]" lowercased, or "*"
  Policy policy;

  // True when a request with this Origin header may ask for this site's challenges. An
  // empty `origin` (a request from no page: curl, a server) is allowed; its token then
  // carries no hostname, which /siteverify reports so the site can refuse it.
  [[nodiscard]] bool AllowsOrigin(std::string_view origin) const;
};

// The host of an origin ("https://Shop.Example.org:8443" -> "shop.example.org"); empty when
// `origin` is not of the form scheme://host[:port].
[[nodiscard]] std::string HostnameOf(std::string_view origin);

class Sites {
 public:
  // The implicit site of a server without a sites file: site key "default", no secret
  // (/siteverify refuses every secret), any origin, `policy` with /api/verify open.
  [[nodiscard]] static Sites Implicit(Policy policy);
  // Parses a sites file's text. Throws std::runtime_error naming what is wrong ("sites[1]
  // .secret: at least 32 characters", "the site key qg_pk_x appears twice").
  [[nodiscard]] static Sites Parse(std::string_view text);
  // Reads `file` as the key file is read: a regular file, not a link, readable and
  // writable by its owner only (mode 0600 or stricter).
  [[nodiscard]] static Sites Load(const std::filesystem::path& file);

  [[nodiscard]] const Site* ByKey(std::string_view siteKey) const;
  // Compared in constant time against every site's secret.
  [[nodiscard]] const Site* BySecret(std::string_view secret) const;
  [[nodiscard]] bool IsImplicit() const { return implicit_; }
  [[nodiscard]] const std::vector<Site>& All() const { return sites_; }

 private:
  std::vector<Site> sites_;
  bool implicit_ = false;
};

// A new random site key ("qg_pk_" and 22 base64url characters) and secret ("qg_sk_" and 43).
[[nodiscard]] std::string NewSiteKey();
[[nodiscard]] std::string NewSiteSecret();

// The text of a sites file that is `fileText` (empty: no file yet) with `site`, one entry as
// the file's "sites" list holds them, added at the end; the rest of the file is kept, its
// members in their order. The result is checked as Parse checks a file, so what a tool
// writes is what a server takes: Parse's messages name what is wrong ("sites[2].origins[0]:
// ..."). A name already in the file is refused as well: a server would take both, but its
// logs could not tell them apart, and the likelier cause is the same command run twice.
[[nodiscard]] std::string WithSiteAdded(std::string_view fileText, const nlohmann::ordered_json& site);

}  // namespace quillgate::service
