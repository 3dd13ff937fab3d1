// The sites file: which sites a server serves, their origins, secrets and policies.
#include "Service/Sites.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace quillgate::service {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

const std::string kShopKey = "qg_pk_shop0001";
const std::string kShopSecret = "qg_sk_" + std::string(40, 'a');
const std::string kBlogKey = "qg_pk_blog0002";
const std::string kBlogSecret = "qg_sk_" + std::string(40, 'b');

json GoodFile() {
  return json{
      {"policy", {{"length", {{"min", 6}, {"max", 8}, {"default", 6}}}}},
      {"sites",
       {{{"name", "shop"},
         {"sitekey", kShopKey},
         {"secret", kShopSecret},
         {"origins",
          {"HTTPS://Shop.Example.org:443", "http://localhost:8080", "https://[::1]:8443",
           "http://plain.example.org:80"}}},
        {{"sitekey", kBlogKey},
         {"secret", kBlogSecret},
         {"origins", {"*"}},
         {"policy", {{"styles", {31}}, {"verify_api", true}}}}}},
  };
}

// What reading the sites refuses with, or "" when it accepts them.
std::string RefusalOf(const std::string& text) {
  return test::RefusalOf([&] { return Sites::Parse(text); });
}
std::string LoadRefusal(const fs::path& file) {
  return test::RefusalOf([&] { return Sites::Load(file); });
}

fs::path WriteFile(const fs::path& file, const std::string& text,
                   fs::perms mode = fs::perms::owner_read | fs::perms::owner_write) {
  std::ofstream(file, std::ios::binary) << text;
  fs::permissions(file, mode);
  return file;
}

TEST(Sites, ParsesAFileAndFindsASiteByItsKeyOrExactSecret) {
  const Sites sites = Sites::Parse(GoodFile().dump());
  const Site* shop = sites.ByKey(kShopKey);
  ASSERT_NE(shop, nullptr);
  EXPECT_EQ(shop->name, "shop");
  EXPECT_EQ(shop->policy.length.min, 6);  // the file's policy

  const Site* blog = sites.ByKey(kBlogKey);
  ASSERT_NE(blog, nullptr);
  EXPECT_EQ(blog->name, kBlogKey);  // no name: the key stands for it
  EXPECT_EQ(blog->policy.styles, (std::vector<std::int32_t>{31}));
  EXPECT_EQ(blog->policy.length.min, 6);  // its own policy lies over the file's

  EXPECT_EQ(sites.BySecret(kShopSecret), shop);
  std::string oneOff = kShopSecret;
  oneOff.back() = 'b';
  for (const std::string& wrong :
       {oneOff, kShopSecret.substr(0, kShopSecret.size() - 1), kShopSecret + "a", std::string(), kShopKey,
        std::string("qg_sk_") + std::string(40, 'c')}) {
    EXPECT_EQ(sites.BySecret(wrong), nullptr) << wrong;
  }
}

TEST(Sites, RefusesEachWrongMemberByName) {
  using Change = std::function<void(json&)>;
  const auto site = [](json& file) -> json& { return file["sites"][0]; };
  const auto origins = [](json value) {
    return Change([value](json& file) { file["sites"][0]["origins"] = value; });
  };
  struct Case { Change change; const char* message; };
  const Case cases[] = {
      {[](json& f) { f = json::array(); }, "the sites file must hold a JSON object"},
      {[](json& f) { f["site"] = 1; }, "site: unknown member"},
      {[](json& f) { f.erase("sites"); }, "sites: missing"},
      {[](json& f) { f["sites"] = json::object(); }, "sites: must be an array"},
      {[](json& f) { f["sites"] = json::array(); }, "sites: must list at least one site"},
      {[](json& f) { f["policy"] = {{"width", {{"max", 1001}}}}; }, "policy.width.max: at most 1000"},
      {[&](json& f) { site(f) = "qg_pk_shop0001"; }, "sites[0]: must be a JSON object"},
      {[&](json& f) { site(f)["secrets"] = "x"; }, "sites[0].secrets: unknown member"},
      {[&](json& f) { site(f).erase("sitekey"); }, "sites[0].sitekey: missing"},
      {[&](json& f) { site(f)["sitekey"] = "qg_pk_1"; }, "sites[0].sitekey: at least 8 characters"},
      {[&](json& f) { site(f)["sitekey"] = std::string(65, 'k'); }, "sites[0].sitekey: at most 64 characters"},
      {[&](json& f) { site(f)["sitekey"] = "qg_pk_sh\xc3\xb6p"; }, "sites[0].sitekey: only letters, digits"},
      {[&](json& f) { site(f)["sitekey"] = 12345678; }, "sites[0].sitekey: must be a string"},
      {origins(json::array()), "sites[0].origins: must name at least one origin"},
      {origins("https://shop.example.org"), "sites[0].origins: must be an array"},
      {origins({"https://shop.example.org/"}), "sites[0].origins[0]: \"https://shop.example.org/\" is not an origin"},
      {origins({"https://shop.example.org", "https://SHOP.example.org:443"}),
       "sites[0].origins[1]: https://shop.example.org appears twice"},
      {origins({"*", "https://shop.example.org"}), "sites[0].origins: \"*\" allows every origin; list it alone"},
      {[&](json& f) { site(f)["name"] = "shop\nforged log line"; }, "sites[0].name: 1 to 100 printable"},
      {[&](json& f) { site(f)["policy"] = {{"length", {{"min", 3}}}}; }, "sites[0].policy.length.min: at least 4"},
      {[](json& f) { f["sites"][1]["sitekey"] = kShopKey; }, "the site key qg_pk_shop0001 appears twice"},
      {[](json& f) { f["sites"][1]["secret"] = kShopSecret; },
       "sites[1].secret: the same secret as sites[0]; each site needs its own"},
  };
  for (const auto& c : cases) {
    json file = GoodFile();
    c.change(file);
    const std::string message = RefusalOf(file.dump());
    EXPECT_NE(message.find(c.message), std::string::npos) << file.dump() << "\ngave: " << message;
    // Refusals never carry a secret into logs.
    EXPECT_EQ(message.find(kShopSecret), std::string::npos) << message;
  }
}

TEST(Sites, RefusesTextThatIsNotOneJsonObject) {
  EXPECT_NE(RefusalOf("{").find("the sites file is not valid JSON"), std::string::npos);
  // A number beyond any type is no syntax error to the parser, but it is refused the same way.
  EXPECT_NE(RefusalOf(R"({"policy": {"ttl_seconds": 6E2222222}})").find("the sites file is not valid JSON"),
            std::string::npos);
  // The parser's own message quotes what it read last: here, a secret and a control character.
  const std::string broken = "{\"sites\": [{\n  \"secret\": \"" + kShopSecret + "\x01\"}]}";
  EXPECT_EQ(RefusalOf(broken), "the sites file is not valid JSON: line 2, column 60");
  // nlohmann would keep the second "secret" silently; a repeated member is refused instead.
  const std::string repeated = R"({"sites": [{"sitekey": "qg_pk_shop0001", "secret": ")" + kShopSecret +
                               R"(", "origins": ["*"], "secret": ")" + kBlogSecret + R"("}]})";
  EXPECT_NE(RefusalOf(repeated).find("the member \"secret\" appears twice in one object"), std::string::npos)
      << RefusalOf(repeated);
}

// The one parser of origins, for the sites file and the Origin header alike: the host each
// names ("" for anything that is not an origin), and whether the shop's list allows it.
TEST(Site, AllowsOnlyItsOwnOrigins) {
  const Sites sites = Sites::Parse(GoodFile().dump());
  const Site& shop = *sites.ByKey(kShopKey);
  struct Case { const char* origin; const char* host; bool allowed; };
  const Case cases[] = {
      {"", "", true},  // no page at all; the token then carries no hostname
      {"https://shop.example.org", "shop.example.org", true},
      {"https://shop.example.org:443", "shop.example.org", true},
      {"HTTPS://Shop.EXAMPLE.org", "shop.example.org", true},
      {"http://localhost:8080", "localhost", true},
      {"https://[::1]:8443", "::1", true},
      // Listed with its default port, which is the same origin.
      {"http://plain.example.org", "plain.example.org", true},
      {"http://shop.example.org", "shop.example.org", false},
      {"https://shop.example.org:8443", "shop.example.org", false},
      {"https://www.shop.example.org", "www.shop.example.org", false},
      {"https://shop.example.org.evil.com", "shop.example.org.evil.com", false},
      {"https://[2001:DB8::1]", "2001:db8::1", false},
      {"https://shop.example.org@evil.com", "", false},
      {"null", "", false},
      {"https://", "", false},
      {"https://shop.example.org/path", "", false},
      {"https://shop.example.org:99999", "", false},
      {"https://[::1", "", false},
      {"https://[evil.com]", "", false},
      {"https://shop.example.org.", "", false},
      {"https://shop.example.org:443x", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE('"' + std::string(c.origin) + '"');
    EXPECT_EQ(HostnameOf(c.origin), c.host);
    EXPECT_EQ(shop.AllowsOrigin(c.origin), c.allowed);
  }
  const Site& any = *sites.ByKey(kBlogKey);
  for (const char* origin : {"", "https://evil.example.com", "null"}) {
    EXPECT_TRUE(any.AllowsOrigin(origin)) << origin;
  }
}

TEST(Sites, LoadsOnlyAPrivateRegularFile) {
  const quillgate::testing::TemporaryFolder directory("sites");
  const fs::path file = WriteFile(directory / "sites.json", GoodFile().dump());
  EXPECT_EQ(Sites::Load(file).All().size(), 2u);
  // Links and missing files are refused by the reader the secret file shares (see its tests).
  const fs::path shared =
      WriteFile(directory / "shared.json", GoodFile().dump(),
                fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_NE(LoadRefusal(shared).find("chmod 600"), std::string::npos) << LoadRefusal(shared);
  const fs::path huge = WriteFile(directory / "huge.json", std::string((1 << 20) + 1, ' '));
  EXPECT_NE(LoadRefusal(huge).find("over 1048576 bytes"), std::string::npos) << LoadRefusal(huge);

  json bad = GoodFile();
  bad["sites"][0]["secret"] = "short";
  const fs::path wrong = WriteFile(directory / "wrong.json", bad.dump());
  const std::string message = LoadRefusal(wrong);
  EXPECT_NE(message.find(wrong.string()), std::string::npos) << message;
  EXPECT_NE(message.find("sites[0].secret: at least 32 characters"), std::string::npos) << message;
}

TEST(Sites, NewKeysAndSecretsAreRandomAndFitTheFile) {
  const std::string key = NewSiteKey();
  const std::string secret = NewSiteSecret();
  EXPECT_EQ(key.rfind("qg_pk_", 0), 0u);
  EXPECT_EQ(secret.rfind("qg_sk_", 0), 0u);
  EXPECT_NE(NewSiteKey(), key);
  EXPECT_NE(NewSiteSecret(), secret);
  json file = GoodFile();
  file["sites"][0]["sitekey"] = key;
  file["sites"][0]["secret"] = secret;
  const Sites sites = Sites::Parse(file.dump());
  // Both lookups must find the site: two misses would compare equal too.
  ASSERT_NE(sites.ByKey(key), nullptr);
  EXPECT_EQ(sites.BySecret(secret), sites.ByKey(key));
}

}  // namespace
}  // namespace quillgate::service
