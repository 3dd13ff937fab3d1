// quillgate site new: what it prints and what it writes are sites files that the server's
// own reader takes, and what that reader would refuse is refused before anything is written.
#include "tests/cli/CommandTest.h"

#include "Service/Sites.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using quillgate::service::Site;
using quillgate::service::Sites;
using quillgate::testing::FileText;
using Result = quillgate::testing::CommandResult;
using SiteCli = quillgate::testing::CommandTest;

TEST_F(SiteCli, PrintsASitesFileTheServerTakes) {
  const Result r = Run("site new --name shop --origin HTTPS://Shop.Example:443 --origin 'http://[::1]:8080'");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Sites sites = Sites::Parse(r.out);
  ASSERT_EQ(sites.All().size(), 1u);
  const Site& shop = sites.All().front();
  EXPECT_EQ(shop.name, "shop");
  EXPECT_EQ(shop.origins, (std::vector<std::string>{"https://shop.example", "http://[::1]:8080"}));
  EXPECT_NE(r.out.find("\"https://shop.example\""), std::string::npos) << "printed as the server compares it";
  // Every site its own key and secret; without --name the key names it, as in the server.
  const Sites other = Sites::Parse(Run("site new --origin '*'").out);
  EXPECT_NE(other.All().front().siteKey, shop.siteKey);
  EXPECT_NE(other.All().front().secret, shop.secret);
  EXPECT_EQ(other.All().front().name, other.All().front().siteKey);
}

TEST_F(SiteCli, RefusesWhatTheServerWouldRefuseAndPrintsNothing) {
  const std::pair<std::string, std::string> refused[] = {
      {"--origin 'javascript:alert(1)'", "sites[0].origins[0]: \"javascript:alert(1)\" is not an origin"},
      {"--origin https://a.example/path", "sites[0].origins[0]: \"https://a.example/path\" is not an origin"},
      {"--name $'shop\\nforged' --origin https://a.example", "sites[0].name: 1 to 100 printable ASCII"},
      {"--origin https://a.example --origin '*'", "sites[0].origins: \"*\" allows every origin; list it alone"},
  };
  for (const auto& [arguments, message] : refused) {
    const Result r = Run("site new " + arguments);
    EXPECT_EQ(r.exitCode, 64) << arguments;
    EXPECT_EQ(r.out, "") << arguments;
    EXPECT_NE(r.err.find(message), std::string::npos) << arguments << ": " << r.err;
  }
}

TEST_F(SiteCli, AddToMakesAPrivateFileOrAddsToOneKeepingItsContentAllOrNothing) {
  const Result first = Script("umask 0; \"$Q\" site new --name shop --origin https://shop.example --add-to sites.json");
  ASSERT_EQ(first.exitCode, 0) << first.err;
  struct stat status {};
  ASSERT_EQ(::stat(Work("sites.json").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u) << "whatever the umask";
  const std::string shopKey = Sites::Parse(first.out).All().front().siteKey;
  EXPECT_EQ(Sites::Load(Work("sites.json")).All().front().siteKey, shopKey) << "the printed site is the one added";

  // The operator's own additions to the file stay when a second site is added.
  nlohmann::json edited = nlohmann::json::parse(FileText(Work("sites.json")));
  edited["policy"] = {{"styles", {3, 7}}, {"length", {{"min", 6}, {"max", 8}, {"default", 6}}}};
  std::ofstream(Work("sites.json")) << edited.dump();
  const Result second = Run("site new --name blog --origin https://blog.example --add-to sites.json");
  ASSERT_EQ(second.exitCode, 0) << second.err;
  const Sites both = Sites::Load(Work("sites.json"));
  ASSERT_EQ(both.All().size(), 2u);
  EXPECT_EQ(both.All()[0].siteKey, shopKey);
  EXPECT_EQ(both.All()[1].name, "blog");
  EXPECT_EQ(nlohmann::json::parse(FileText(Work("sites.json")))["policy"], edited["policy"]);

  // A failed addition prints nothing and leaves the file as it was: a name in use, an origin
  // the server refuses, a file that others may read (read as the server reads it).
  const std::string before = FileText(Work("sites.json"));
  struct Failure {
    std::string arguments;
    int status;
    std::string message;
  };
  const Failure failures[] = {
      {"--name shop --origin https://x.example", 64, "sites[2].name: \"shop\" is already the name of sites[0]"},
      {"--origin ftp://x.example", 64, "\"ftp://x.example\" is not an origin"},
      {"--origin https://x.example", 2, "can be read or written by others"},
  };
  for (const Failure& f : failures) {
    if (f.status == 2) ::chmod(Work("sites.json").c_str(), 0644);
    const Result r = Run("site new " + f.arguments + " --add-to sites.json");
    EXPECT_EQ(r.exitCode, f.status) << f.arguments << ": " << r.err;
    EXPECT_NE(r.err.find(f.message), std::string::npos) << f.arguments << ": " << r.err;
    EXPECT_EQ(r.out, "") << f.arguments;
    EXPECT_EQ(FileText(Work("sites.json")), before) << f.arguments;
  }
  EXPECT_EQ(Names(), std::set<std::string>{"sites.json"}) << "no temporary left behind";
}

}  // namespace
