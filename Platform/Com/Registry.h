#pragma once
// HKEY_CLASSES_ROOT of our runtime: a tree of keys, each with an optional default value, named
// string values and subkeys, kept in one human-readable text file.
//
// Location: the path given to SetRegistryPath, else the environment variable
// QUILLGATE_REGISTRY, else $XDG_CONFIG_HOME/quillgate/registry (~/.config/... without it).
// Readers read the file as it stands; writers take an exclusive lock on a companion
// ".lock" file (registry.lock beside the file), read, change, write a temporary file beside
// the registry and rename it over the registry, so a reader or a crash never sees half a
// change. A damaged file is reported
// as a RegistryError naming the file and line; it is never overwritten.
//
// Key and value names compare without regard to ASCII case, as on Windows, and keep the
// spelling they were created with.

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::com::registry {

class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The registry's file could not be opened, read or written, or is not a regular file: its
// content is not at fault, so the remedy is the file system's, not an edit.
class RegistryFileError : public RegistryError {
 public:
  using RegistryError::RegistryError;
};

struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// Keys nest at most this deep: deeper keys are refused when a file is read and when one is
// written, and cannot be created by one path. Windows allows 512; a registration here nests
// five deep, and each section names its whole path, so a low bound keeps files small.
inline constexpr std::size_t kMaxKeyDepth = 64;

// Copying, comparing and destroying a key visit its tree without recursion, so a tree of
// any depth (one being built, or a damaged file's) cannot exhaust the stack.
class Key {
 public:
  Key() = default;
  Key(const Key& other);
  Key(Key&&) noexcept = default;
  Key& operator=(const Key& other);
  Key& operator=(Key&&) noexcept = default;
  ~Key();

  // The key's default value; nullopt when it has none (an empty text is a value).
  std::optional<std::string> defaultValue;
  std::map<std::string, std::string, NameLess> values;

  [[nodiscard]] const Key* Find(std::string_view path) const;
  Key* Find(std::string_view path);
  // Opens the key at `path` (backslash-separated), creating every missing key on the way.
  // Throws RegistryError for an empty or otherwise invalid name, or a path of more than
  // kMaxKeyDepth parts.
  Key& Create(std::string_view path);
  // Removes the subkey at `path` with everything below it; false when there is none.
  bool Remove(std::string_view path);

  [[nodiscard]] const std::map<std::string, Key, NameLess>& Subkeys() const noexcept { return subkeys_; }
  [[nodiscard]] bool Empty() const noexcept {
    return !defaultValue && values.empty() && subkeys_.empty();
  }

  friend bool operator==(const Key& a, const Key& b);

 private:
  std::map<std::string, Key, NameLess> subkeys_;
};

// Splits a path at its backslashes; throws RegistryError for an empty part.
std::vector<std::string> SplitPath(std::string_view path);

// The file form and back. Parse throws RegistryError("<origin>: line N: reason");
// Serialize throws RegistryError for a tree nested deeper than kMaxKeyDepth.
std::string Serialize(const Key& root);
Key Parse(std::string_view text, std::string_view origin);

// Where the registry lives for this process now.
std::filesystem::path RegistryPath();
// Overrides the location for this process (empty: back to the environment and default).
void SetRegistryPath(std::filesystem::path path);

// HKEY_CLASSES_ROOT as the file holds it now (empty when there is no file yet); inside a
// transaction on this thread, as the transaction has it.
// Throws RegistryError when the file cannot be read or is damaged.
Key Read();
// Applies `change` to the current contents under the writers' lock and writes the result
// atomically. If `change` throws, nothing is written and the exception propagates.
// Inside a transaction on this thread, the change goes to the transaction's copy.
// Throws RegistryError when the file is damaged or cannot be written.
void Update(const std::function<void(Key& root)>& change);

// Runs `work` as one change of the file: under the writers' lock for its whole length,
// every Read and Update of this thread inside it sees and changes one in-memory copy, which
// is written once (atomically) when `work` returns true; when it returns false or throws,
// nothing is written. So readers and other writers see all of it or none of it. A
// transaction begun inside another joins it (its changes are kept or dropped with the
// inner result). Temporaries that a writer killed mid-write left beside the file are
// removed. Throws RegistryError when the file is damaged or cannot be written.
void Transaction(const std::function<bool()>& work);

}  // namespace quillgate::com::registry
