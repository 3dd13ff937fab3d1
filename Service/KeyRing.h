#pragma once
// The keys that seal and open challenge tokens, kept in a secret file: one key per line as
// 64 hexadecimal digits (32 bytes); blank lines and lines starting with # are ignored. The
// first key seals new tokens and every key opens them, so a key is rotated by putting a new
// line on top and dropping the old line once the longest token lifetime has passed.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::service {

struct SealingKey {
  std::array<unsigned char, 32> bytes{};
  // Derived from the key (first bytes of its BLAKE2b hash), carried in every token so the
  // right key is tried without guessing. Says nothing about the key itself.
  std::uint32_t id = 0;
};

class KeyRing {
 public:
  // Parses the text of a secret file. Throws std::runtime_error naming the bad line.
  static KeyRing Parse(std::string_view text);
  // Reads `file`, refusing anything but a regular file, owned by root or the server's
  // user, that only its owner can read or write (mode 0600 or stricter); see ReadPrivateFile.
  static KeyRing Load(const std::filesystem::path& file);
  // As Load; when `file` does not exist, first creates it, mode 0600, with one new random
  // key (all or nothing: a partly written file never appears under the name).
  static KeyRing LoadOrCreate(const std::filesystem::path& file);
  // A ring of one new random key, held only in memory.
  static KeyRing Generate();

  explicit KeyRing(std::vector<SealingKey> keys);

  [[nodiscard]] const SealingKey& Sealing() const { return keys_.front(); }
  // The key with `id`, or null when this ring does not hold it.
  [[nodiscard]] const SealingKey* Find(std::uint32_t id) const;
  [[nodiscard]] std::size_t Size() const { return keys_.size(); }

  // The secret file line of a key: its 64 hexadecimal digits.
  [[nodiscard]] static std::string Line(const SealingKey& key);
  [[nodiscard]] static SealingKey NewKey();

 private:
  std::vector<SealingKey> keys_;
};

// Where a server keeps its key file when none is named, from its environment: systemd's
// $STATE_DIRECTORY; for root, /var/lib/quillgate; else $XDG_STATE_HOME/quillgate or
// ~/.local/state/quillgate. Never the working folder, which may be a shared one where
// another user has put a key file of their own.
struct StateFolders {
  std::string stateDirectory;  // $STATE_DIRECTORY: a colon-separated list, the first is used
  std::string xdgStateHome;
  std::string home;
  bool root = false;

  static StateFolders OfProcess();
};
// Throws std::runtime_error when the environment names no absolute folder to use.
[[nodiscard]] std::filesystem::path DefaultKeyFile(const StateFolders& where);

// Prepares libsodium once per process; throws when it cannot start.
void InitializeSodium();

}  // namespace quillgate::service
