// quillgate site new: a new site with a fresh site key and secret, printed as a sites file
// that `serve --sites` takes, and added to an existing sites file when asked.
#include "cli/Commands.h"

#include "CommonUtilities/FileReplacement.h"
#include "Service/PrivateFile.h"
#include "Service/Sites.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::cli {
namespace {

using namespace quillgate::service;

std::span<const unsigned char> AsBytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// `fileText` with `site` added, checked by the server's own reading of a sites file. What
// that refuses came from the command line (a name, an origin, a name already in the file),
// so it is a usage error; `place` says where, for a file that already exists.
std::string WithSiteChecked(std::string_view fileText, const nlohmann::ordered_json& site, const std::string& place) {
  try {
    return WithSiteAdded(fileText, site);
  } catch (const std::runtime_error& error) {
    throw CLI::ValidationError(place + error.what());
  }
}

// Adds `site` to the sites file `file`, all or nothing, and returns how many sites the file
// then lists. A missing file is made holding `alone`, mode 0600 whatever the umask. An
// existing one is read as the server reads it (a file that others may read or change is
// refused) and must already be a sites file the server takes; it is then replaced whole
// through a temporary, never rewritten in place, so a failure leaves it as it was.
std::size_t AddToFile(const std::filesystem::path& file, const nlohmann::ordered_json& site, const std::string& alone) {
  if (CreateNewFile(file, AsBytes(alone), 0600)) return 1;
  const std::string text = ReadPrivateFile(file, "the sites file", kMaxSitesFileBytes);
  std::size_t count = 0;
  try {
    count = Sites::Parse(text).All().size();
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("the sites file " + file.string() + ": " + error.what());
  }
  const std::string updated = WithSiteChecked(text, site, "the sites file " + file.string() + ": ");
  ReplaceOptions options;
  options.writeThroughOtherFiles = false;
  options.rewriteInPlaceWhenNeeded = false;
  ReplaceFileContents(file, AsBytes(updated), options);
  return count + 1;
}

struct NewSiteRequest {
  std::optional<std::string> name;
  std::vector<std::string> origins;
  std::optional<std::string> addTo;
};

void NewSite(const NewSiteRequest& request) {
  nlohmann::ordered_json site = nlohmann::ordered_json::object();
  if (request.name) site["name"] = *request.name;
  site["sitekey"] = NewSiteKey();
  site["secret"] = NewSiteSecret();
  site["origins"] = request.origins;
  // Everything is checked before anything is printed or written. The origins are then
  // given in the form the server compares them in (scheme and host lowercased, no default
  // port), so the file says what the server will match.
  site["origins"] = Sites::Parse(WithSiteChecked({}, site, "")).All().front().origins;
  const std::string alone = WithSiteChecked({}, site, "");
  if (request.addTo) {
    const std::size_t count = AddToFile(*request.addTo, site, alone);
    const std::string shown = request.name.value_or(site["sitekey"].get<std::string>());
    std::fprintf(stderr, "Added the site %s to %s, which now lists %zu site%s; send the server SIGHUP to load it\n",
                 shown.c_str(), request.addTo->c_str(), count, count == 1 ? "" : "s");
  }
  std::fputs(alone.c_str(), stdout);
}

}  // namespace

void AddSiteCommands(CLI::App& app) {
  auto* site = app.add_subcommand("site", "Make sites for a sites file");
  site->require_subcommand(1);
  auto* newSite = site->add_subcommand(
      "new", "Print a new site (fresh sitekey and secret) as a sites file that serve --sites takes, "
             "or add it to one");
  auto request = std::make_shared<NewSiteRequest>();
  newSite->add_option("--name", request->name, "A name for the server's logs (default: the site key)");
  newSite->add_option("--origin", request->origins,
                      "A page origin that may use the site: http:// or https://, a host, an optional :PORT and "
                      "no path; or * alone for any page (repeatable)")
      ->required();
  newSite->add_option("--add-to", request->addTo,
                      "Also add the site to this sites file, keeping what it holds (created with mode 0600 "
                      "when missing)")
      ->check(CLI::Validator(
          [](const std::string& file) { return file.empty() ? std::string("the file name is empty") : std::string(); },
          ""));
  newSite->callback([request] { NewSite(*request); });
}

}  // namespace quillgate::cli
