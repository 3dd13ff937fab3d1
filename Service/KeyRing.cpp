#include "Service/KeyRing.h"

#include "Service/PrivateFile.h"
#include "CommonUtilities/FileReplacement.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quillgate::service {
namespace {

std::uint32_t KeyId(const std::array<unsigned char, 32>& key) {
  std::array<unsigned char, 16> digest{};
  crypto_generichash(digest.data(), digest.size(), key.data(), key.size(), nullptr, 0);
  return (std::uint32_t{digest[0]} << 24) | (std::uint32_t{digest[1]} << 16) |
         (std::uint32_t{digest[2]} << 8) | std::uint32_t{digest[3]};
}

SealingKey FromBytes(const std::array<unsigned char, 32>& bytes) {
  SealingKey key;
  key.bytes = bytes;
  key.id = KeyId(bytes);
  return key;
}

std::string_view Trim(std::string_view line) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!line.empty() && isSpace(line.front())) line.remove_prefix(1);
  while (!line.empty() && isSpace(line.back())) line.remove_suffix(1);
  return line;
}

[[noreturn]] void FailErrno(const std::string& what, const std::filesystem::path& file) {
  throw std::runtime_error(what + " " + file.string() + ": " + std::strerror(errno));
}

}  // namespace

void InitializeSodium() {
  static const int status = sodium_init();
  if (status < 0) throw std::runtime_error("libsodium could not be initialised");
}

KeyRing::KeyRing(std::vector<SealingKey> keys) : keys_(std::move(keys)) {
  if (keys_.empty()) throw std::runtime_error("a secret file must hold at least one key");
}

KeyRing KeyRing::Parse(std::string_view text) {
  InitializeSodium();
  std::vector<SealingKey> keys;
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++lineNumber;
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;
    std::array<unsigned char, 32> bytes{};
    std::size_t length = 0;
    const char* endOfHex = nullptr;
    if (line.size() != 64 ||
        sodium_hex2bin(bytes.data(), bytes.size(), line.data(), line.size(), nullptr, &length,
                       &endOfHex) != 0 ||
        length != bytes.size()) {
      throw std::runtime_error("secret file line " + std::to_string(lineNumber) +
                               ": a key is 64 hexadecimal digits");
    }
    const SealingKey key = FromBytes(bytes);
    sodium_memzero(bytes.data(), bytes.size());
    for (const SealingKey& other : keys) {
      if (other.id == key.id) {
        throw std::runtime_error("secret file line " + std::to_string(lineNumber) +
                                 ": the same key (or one with the same id) appears twice");
      }
    }
    keys.push_back(key);
  }
  if (keys.empty()) throw std::runtime_error("the secret file holds no key");
  return KeyRing(std::move(keys));
}

KeyRing KeyRing::Load(const std::filesystem::path& file) {
  std::string text = ReadPrivateFile(file, "the secret file", 64 * 1024);
  KeyRing ring = Parse(text);
  sodium_memzero(text.data(), text.size());
  return ring;
}

KeyRing KeyRing::LoadOrCreate(const std::filesystem::path& file) {
  InitializeSodium();
  struct stat status {};
  if (::lstat(file.c_str(), &status) == 0 || errno != ENOENT) return Load(file);

  // Created whole or not at all, and never over anything: a file that appeared meanwhile
  // (another server starting at once) wins and is read instead, and a planted link is
  // never followed.
  std::string text = "# Quillgate token keys: the first seals, all open. Keep private.\n" + Line(NewKey()) + "\n";
  try {
    (void)CreateNewFile(file, std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()), 0600);
  } catch (const FileWriteError& e) {
    sodium_memzero(text.data(), text.size());
    errno = e.Error();
    FailErrno("cannot create the secret file", file);
  }
  sodium_memzero(text.data(), text.size());
  return Load(file);
}

StateFolders StateFolders::OfProcess() {
  const auto variable = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr ? value : "");
  };
  return StateFolders{variable("STATE_DIRECTORY"), variable("XDG_STATE_HOME"), variable("HOME"), ::geteuid() == 0};
}

std::filesystem::path DefaultKeyFile(const StateFolders& where) {
  // Relative values are ignored, as the XDG rules say, so the working folder never counts.
  const auto absolute = [](const std::string& text) { return !text.empty() && text.front() == '/'; };
  const std::string systemd = where.stateDirectory.substr(0, where.stateDirectory.find(':'));
  if (absolute(systemd)) return std::filesystem::path(systemd) / "keys";
  if (where.root) return "/var/lib/quillgate/keys";
  if (absolute(where.xdgStateHome)) return std::filesystem::path(where.xdgStateHome) / "quillgate" / "keys";
  if (absolute(where.home)) return std::filesystem::path(where.home) / ".local" / "state" / "quillgate" / "keys";
  throw std::runtime_error("no folder for the secret file: neither $STATE_DIRECTORY, $XDG_STATE_HOME nor $HOME "
                           "is set; name one with --secret-file");
}

KeyRing KeyRing::Generate() { return KeyRing({NewKey()}); }

const SealingKey* KeyRing::Find(std::uint32_t id) const {
  for (const SealingKey& key : keys_) {
    if (key.id == id) return &key;
  }
  return nullptr;
}

std::string KeyRing::Line(const SealingKey& key) {
  std::string hex(key.bytes.size() * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), key.bytes.data(), key.bytes.size());
  hex.pop_back();
  return hex;
}

SealingKey KeyRing::NewKey() {
  InitializeSodium();
  std::array<unsigned char, 32> bytes{};
  crypto_aead_xchacha20poly1305_ietf_keygen(bytes.data());
  return FromBytes(bytes);
}

}  // namespace quillgate::service
