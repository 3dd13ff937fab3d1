// Sealed challenge tokens and the key file they are sealed with.
#include "Service/KeyRing.h"
#include "Service/PrivateFile.h"
#include "Service/Token.h"
#include "tests/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <variant>

namespace quillgate::service {
namespace {

constexpr std::int64_t kNow = 1'800'000'000'000;  // Unix milliseconds

TokenClaims Claims(std::string code = "K3XQ9") {
  return {.code = std::move(code), .expiresMs = kNow + 300'000, .issuedMs = kNow, .id = NewTokenId(),
          .siteKey = "site-1", .hostname = "shop.example"};
}

// Every claim but the key id, which sealing sets.
auto Fields(const TokenClaims& c) {
  return std::tie(c.code, c.expiresMs, c.issuedMs, c.id, c.issuer, c.siteKey, c.hostname, c.style,
                  c.type, c.width, c.height);
}

TokenError ErrorOf(const std::variant<TokenClaims, TokenError>& opened) {
  EXPECT_TRUE(std::holds_alternative<TokenError>(opened)) << "a bad token was accepted";
  return std::holds_alternative<TokenError>(opened) ? std::get<TokenError>(opened) : TokenError::Malformed;
}

std::vector<unsigned char> Decode(const std::string& token) {
  std::vector<unsigned char> bytes(token.size());
  std::size_t length = 0;
  sodium_base642bin(bytes.data(), bytes.size(), token.data(), token.size(), nullptr, &length,
                    nullptr, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  bytes.resize(length);
  return bytes;
}

std::string Encode(const std::vector<unsigned char>& bytes) {
  std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  text.resize(std::strlen(text.c_str()));
  return text;
}

// Every byte value, so that no text is cut at a NUL or changed by a sign.
std::string AllBytes(std::size_t size, int start) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((start + i) & 0xFF);
  return text;
}

// Sealed, every claim comes back as it was, and none shows in the text.
TEST(Token, EveryClaimOpensToWhatWasSealedAndNoneShows) {
  const KeyRing keys = KeyRing::Generate();
  const TokenClaims longest{
      .code = AllBytes(255, 0), .expiresMs = std::numeric_limits<std::int64_t>::max(),
      .issuedMs = kNow, .id = NewTokenId(), .issuer = ~std::uint64_t{0},
      .siteKey = AllBytes(255, 85), .hostname = AllBytes(255, 170),
      .style = 255, .type = 254, .width = 65535, .height = 65534};
  // The key id is ignored: Seal sets the key that sealed it.
  const TokenClaims small{
      .code = "", .expiresMs = kNow + 300'000, .issuedMs = kNow, .id = NewTokenId(),
      .issuer = 0x0102030405060708, .siteKey = "site-1", .hostname = "shop.example",
      .style = 1, .type = 2, .width = 0x0304, .height = 0x0506, .keyId = 12345};
  for (const TokenClaims& claims : {longest, small}) {
    const auto opened = OpenToken(keys, SealToken(keys, claims), kNow);
    ASSERT_TRUE(std::holds_alternative<TokenClaims>(opened)) << claims.code.size();
    const auto& back = std::get<TokenClaims>(opened);
    EXPECT_EQ(Fields(back), Fields(claims));
    EXPECT_EQ(back.keyId, keys.Sealing().id);
  }
  const TokenClaims claims = Claims("ZZZZZZZZ");
  const std::string a = SealToken(keys, claims);
  EXPECT_NE(a, SealToken(keys, claims)) << "a fresh nonce each time";
  EXPECT_EQ(a.find("ZZZZ"), std::string::npos);
  // A text longer than its length byte is refused, never cut.
  for (std::string TokenClaims::*text : {&TokenClaims::code, &TokenClaims::siteKey, &TokenClaims::hostname}) {
    TokenClaims tooLong = Claims();
    tooLong.*text = std::string(256, 'A');
    EXPECT_THROW((void)SealToken(keys, tooLong), std::invalid_argument);
  }
}

TEST(Token, EveryFlippedByteIsRefused) {
  const KeyRing keys = KeyRing::Generate();
  const std::string token = SealToken(keys, Claims());
  const std::vector<unsigned char> bytes = Decode(token);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    for (const unsigned char mask : {0x01, 0x80, 0xFF}) {
      std::vector<unsigned char> changed = bytes;
      changed[i] ^= mask;
      const TokenError error = ErrorOf(OpenToken(keys, Encode(changed), kNow));
      // The version byte makes it no token of ours; the key id names a key we lack;
      // anything after them fails authentication.
      const TokenError expected = i == 0 ? TokenError::Malformed
                                  : i < 5 ? TokenError::UnknownKey
                                          : TokenError::Tampered;
      EXPECT_EQ(error, expected) << "byte " << i << " mask " << int(mask);
    }
  }
}

TEST(Token, MalformedTextsAreTold) {
  const KeyRing keys = KeyRing::Generate();
  const std::string token = SealToken(keys, Claims());
  const std::string cases[] = {"", "x", "not base64!", token + "=", token.substr(0, 20),
                               std::string(5000, 'A'), token + " "};
  for (const std::string& text : cases) {
    EXPECT_EQ(ErrorOf(OpenToken(keys, text, kNow)), TokenError::Malformed) << text.substr(0, 40);
  }
  // Cut at the end: still ours, but the tag no longer matches.
  std::vector<unsigned char> bytes = Decode(token);
  bytes.pop_back();
  EXPECT_EQ(ErrorOf(OpenToken(keys, Encode(bytes), kNow)), TokenError::Tampered);
  // A token of the first format (seconds, no site) is refused before any key is tried.
  bytes = Decode(token);
  bytes[0] = 1;
  EXPECT_EQ(ErrorOf(OpenToken(keys, Encode(bytes), kNow)), TokenError::Malformed);
}

TEST(Token, ExpiresAtItsMillisecond) {
  const KeyRing keys = KeyRing::Generate();
  TokenClaims claims = Claims();
  claims.expiresMs = kNow + 1'234;  // not a whole second: milliseconds all the way
  const std::string token = SealToken(keys, claims);
  EXPECT_TRUE(std::holds_alternative<TokenClaims>(OpenToken(keys, token, claims.expiresMs - 1)));
  EXPECT_EQ(ErrorOf(OpenToken(keys, token, claims.expiresMs)), TokenError::Expired);
}

TEST(Token, AnotherServersKeyIsUnknownAndRotationKeepsOldTokens) {
  const KeyRing oldKeys = KeyRing::Generate();
  const std::string oldToken = SealToken(oldKeys, Claims());

  // Rotation: a new key on top seals; the old one, second, still opens live tokens.
  const KeyRing rotated({KeyRing::NewKey(), oldKeys.Sealing()});
  EXPECT_TRUE(std::holds_alternative<TokenClaims>(OpenToken(rotated, oldToken, kNow)));
  const std::string newToken = SealToken(rotated, Claims());
  EXPECT_EQ(ErrorOf(OpenToken(oldKeys, newToken, kNow)), TokenError::UnknownKey);

  // A key whose id another key shares cannot pass for it: the tag decides.
  SealingKey impostor = KeyRing::NewKey();
  impostor.id = oldKeys.Sealing().id;
  EXPECT_EQ(ErrorOf(OpenToken(KeyRing({impostor}), oldToken, kNow)), TokenError::Tampered);
}

class SecretFile : public ::testing::Test {
 protected:
  const quillgate::testing::TemporaryFolder folder_{"keys"};
  const std::filesystem::path& dir_ = folder_.Path();
};

TEST_F(SecretFile, IsCreatedPrivateOnceAndThenReused) {
  const auto file = dir_ / "keys";
  const KeyRing first = KeyRing::LoadOrCreate(file);
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(KeyRing::LoadOrCreate(file).Sealing().id, first.Sealing().id);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1) << "no temporary left";
}

TEST_F(SecretFile, RefusesFilesAnyoneElseCanReadOrWrite) {
  const auto file = dir_ / "keys";
  (void)KeyRing::LoadOrCreate(file);
  // Whoever may read the secrets can forge tokens, and whoever may write them can swap them.
  using std::filesystem::perms;
  for (const perms open : {perms::others_read, perms::others_write, perms::group_read, perms::group_write}) {
    std::filesystem::permissions(file, perms::owner_read | perms::owner_write | open);
    EXPECT_THROW((void)KeyRing::LoadOrCreate(file), std::runtime_error) << static_cast<int>(open);
  }
  std::filesystem::permissions(file, perms::owner_read | perms::owner_write);
  const auto dangling = dir_ / "dangling";
  std::filesystem::create_symlink(dir_ / "planted", dangling);
  EXPECT_THROW((void)KeyRing::LoadOrCreate(dangling), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "planted")) << "nothing written through a link";
}

// Another user plants a 0600 key file, or a link to one, in a shared folder the server is
// started from: the planter would know every key. Chowning needs root, as the attack does.
TEST_F(SecretFile, RefusesWhatAnotherUserOwnsAndFollowsOnlyTrustedLinks) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting a file of another user needs root";
  constexpr uid_t kOther = 65534;
  const auto file = dir_ / "keys";
  const KeyRing mine = KeyRing::LoadOrCreate(file);
  const auto refusal = [](const std::filesystem::path& path) {
    try {
      (void)KeyRing::Load(path);
    } catch (const std::runtime_error& error) {
      return std::string(error.what());
    }
    return std::string();
  };

  // A container's secret mount: keys -> ..data/keys, ..data -> ..2026_12_09: root's links.
  std::filesystem::create_directory(dir_ / "..2026_12_09");
  std::filesystem::rename(file, dir_ / "..2026_12_09" / "keys");
  std::filesystem::create_directory_symlink("..2026_12_09", dir_ / "..data");
  std::filesystem::create_symlink("..data/keys", file);
  EXPECT_EQ(KeyRing::Load(file).Sealing().id, mine.Sealing().id) << refusal(file);

  ASSERT_EQ(::lchown((dir_ / "..data").c_str(), kOther, kOther), 0);
  EXPECT_NE(refusal(file).find("symbolic link " + (dir_ / "..data").string() + " is owned by"), std::string::npos)
      << refusal(file);
  EXPECT_NE(refusal(file).find("65534"), std::string::npos) << refusal(file);
  ASSERT_EQ(::lchown((dir_ / "..data").c_str(), 0, 0), 0);

  ASSERT_EQ(::chown((dir_ / "..2026_12_09" / "keys").c_str(), kOther, kOther), 0);
  for (const auto& path : {file, dir_ / "..2026_12_09" / "keys"}) {
    EXPECT_NE(refusal(path).find("is owned by"), std::string::npos) << refusal(path);
    EXPECT_NE(refusal(path).find("another user could have planted it"), std::string::npos) << refusal(path);
    EXPECT_THROW((void)KeyRing::LoadOrCreate(path), std::runtime_error);
  }
}

TEST_F(SecretFile, APolicyMayBeReadByAllButWrittenOnlyByItsOwner) {
  const auto file = dir_ / "policy.json";
  std::ofstream(file) << "{}";
  using std::filesystem::perms;
  std::filesystem::permissions(file, perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
  EXPECT_EQ(ReadPrivateFile(file, "the policy file", 100, FileSecrecy::Public), "{}");
  EXPECT_THROW((void)ReadPrivateFile(file, "the secret file", 100), std::runtime_error);
  std::filesystem::permissions(file, perms::group_write, std::filesystem::perm_options::add);
  EXPECT_THROW((void)ReadPrivateFile(file, "the policy file", 100, FileSecrecy::Public), std::runtime_error);
}

TEST(KeyFolder, IsTheStateFolderNeverTheWorkingOne) {
  EXPECT_EQ(DefaultKeyFile({"/run/state/qg:/other", "/x", "/home/u", true}), "/run/state/qg/keys");
  EXPECT_EQ(DefaultKeyFile({"", "/x", "/root", true}), "/var/lib/quillgate/keys");
  EXPECT_EQ(DefaultKeyFile({"", "/home/u/.state", "/home/u", false}), "/home/u/.state/quillgate/keys");
  EXPECT_EQ(DefaultKeyFile({"relative", "relative", "/home/u", false}), "/home/u/.local/state/quillgate/keys");
  EXPECT_THROW((void)DefaultKeyFile({"", "", "", false}), std::runtime_error);
}

TEST_F(SecretFile, FolderIsMadePrivateAndAnOpenOneRefused) {
  const auto folder = dir_ / "state" / "quillgate";
  MakePrivateFolder(folder);
  for (const auto& made : {dir_ / "state", folder}) {
    struct stat status {};
    ASSERT_EQ(::stat(made.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u) << made;
  }
  MakePrivateFolder(folder);  // as it is: accepted again
  std::filesystem::permissions(folder, std::filesystem::perms::others_write, std::filesystem::perm_options::add);
  EXPECT_THROW(MakePrivateFolder(folder), std::runtime_error) << "others could swap the key file";
  if (::geteuid() == 0) {
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    EXPECT_THROW(MakePrivateFolder(folder), std::runtime_error) << "another user's folder";
  }
}

TEST(KeyRingText, ParsesKeysAndRefusesBadLines) {
  const std::string a(64, 'a');
  const std::string b = "0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789abcdef";
  const KeyRing ring = KeyRing::Parse("# comment\n\n  " + a + "  \r\n" + b + "\n");
  EXPECT_EQ(ring.Size(), 2u);
  EXPECT_EQ(KeyRing::Line(ring.Sealing()), a);
  for (const std::string& bad : {std::string(""), std::string("# only a comment\n"), std::string(63, 'a'),
                                std::string(65, 'a'), std::string(64, 'g'), a + "\n" + a}) {
    EXPECT_THROW((void)KeyRing::Parse(bad), std::runtime_error) << bad;
  }
}

}  // namespace
}  // namespace quillgate::service
