#include "Platform/Com/Registry.h"

#include "CommonUtilities/FileReplacement.h"
#include "CommonUtilities/StringConversion.h"

#include <dirent.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

namespace quillgate::com::registry {
namespace {

using quillgate::FileDescriptor;
using quillgate::FileLocation;
using quillgate::FileWriteError;

constexpr std::string_view kHeader = "QUILLGATE REGISTRY 1";


// ---- names ------------------------------------------------------------------------------

void CheckName(std::string_view name, std::string_view what) {
  if (name.empty()) throw RegistryError(std::string("a ") + std::string(what) + " name is empty");
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      throw RegistryError(std::string("a ") + std::string(what) +
                          " name contains a control character");
    }
  }
}

// ---- the file form ------------------------------------------------------------------------

const char kHex[] = "0123456789ABCDEF";

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

// Every key below `root` in depth-first order, each as its section, without recursion.
void SerializeTree(const Key& root, std::string& out) {
  struct Pending {
    std::string path;
    const Key* key;
    std::size_t depth;
  };
  std::vector<Pending> stack;
  const auto pushChildren = [&](const std::string& parent, const Key& key, std::size_t depth) {
    const auto& subkeys = key.Subkeys();
    for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it) {
      stack.push_back({parent.empty() ? it->first : parent + '\\' + it->first, &it->second, depth + 1});
    }
  };
  pushChildren({}, root, 0);
  while (!stack.empty()) {
    const Pending item = std::move(stack.back());
    stack.pop_back();
    if (item.depth > kMaxKeyDepth) {
      throw RegistryError("keys are nested more than " + std::to_string(kMaxKeyDepth) + " deep");
    }
    const Key& key = *item.key;
    // A key with neither values nor a default but with subkeys is implied by their
    // sections (reading one creates every key on its path). Writing it too would make a
    // chain of keys cost the square of its length in the file.
    const bool implied = !key.defaultValue && key.values.empty() && !key.Subkeys().empty();
    if (implied) {
      pushChildren(item.path, key, item.depth);
      continue;
    }
    out += '\n';
    out += '[';
    out += item.path;
    out += "]\n";
    if (key.defaultValue) out += "@=" + Quote(*key.defaultValue) + '\n';
    for (const auto& [name, value] : key.values) out += Quote(name) + '=' + Quote(value) + '\n';
    pushChildren(item.path, key, item.depth);
  }
}

class LineParser {
 public:
  LineParser(std::string_view line, std::string_view origin, std::size_t number)
      : line_(line), origin_(origin), number_(number) {}

  [[noreturn]] void Fail(std::string_view reason) const {
    throw RegistryError(std::string(origin_) + ": line " + std::to_string(number_) + ": " +
                        std::string(reason));
  }

  // A double-quoted text at the current position, escapes resolved.
  std::string Quoted() {
    if (at_ >= line_.size() || line_[at_] != '"') Fail("a quoted text was expected");
    ++at_;
    std::string text;
    while (true) {
      if (at_ >= line_.size()) Fail("a quoted text is not closed");
      const char c = line_[at_++];
      if (c == '"') return text;
      if (c != '\\') {
        text += c;
        continue;
      }
      if (at_ >= line_.size()) Fail("a quoted text ends inside an escape");
      const char e = line_[at_++];
      if (e == '"' || e == '\\') {
        text += e;
      } else if (e == 'x' && at_ + 2 <= line_.size()) {
        const auto nibble = [&](char h) {
          const char* p = std::strchr(kHex, h >= 'a' && h <= 'f' ? static_cast<char>(h - 32) : h);
          if (h == '\0' || p == nullptr) Fail("a \\x escape needs two hexadecimal digits");
          return static_cast<int>(p - kHex);
        };
        text += static_cast<char>(nibble(line_[at_]) << 4 | nibble(line_[at_ + 1]));
        at_ += 2;
      } else {
        Fail("unknown escape in a quoted text");
      }
    }
  }
  void Expect(char c) {
    if (at_ >= line_.size() || line_[at_] != c) Fail(std::string("'") + c + "' was expected");
    ++at_;
  }
  [[nodiscard]] bool AtEnd() const { return at_ == line_.size(); }
  [[nodiscard]] char Peek() const { return at_ < line_.size() ? line_[at_] : '\0'; }
  void Skip() { ++at_; }

 private:
  std::string_view line_;
  std::string_view origin_;
  std::size_t number_;
  std::size_t at_ = 0;
};

// ---- location -----------------------------------------------------------------------------

std::mutex& PathMutex() {
  static std::mutex mutex;
  return mutex;
}
std::filesystem::path& PathOverride() {
  static std::filesystem::path path;
  return path;
}

// ---- files --------------------------------------------------------------------------------

[[noreturn]] void FailSystem(const std::string& what, const std::filesystem::path& path) {
  throw RegistryFileError("cannot " + what + " " + path.string() + ": " + std::strerror(errno));
}

std::optional<std::string> ReadFile(const std::filesystem::path& path) {
  // Non-blocking, so that a FIFO at the registry's path is refused at once instead of
  // waiting forever for a writer; a link to a regular file is read as that file.
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.Get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    FailSystem("open the registry", path);
  }
  struct stat status {};
  if (::fstat(fd.Get(), &status) != 0) FailSystem("examine the registry", path);
  if (!S_ISREG(status.st_mode)) {
    throw RegistryFileError("the registry " + path.string() + " is " + quillgate::KindOfFile(status.st_mode) +
                        "; it must be a regular file (or a link to one)");
  }
  std::string text;
  char buffer[16384];
  while (true) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      FailSystem("read the registry", path);
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

// Writers' temporaries: ".registry.tmp-" and random characters, beside the registry.
std::string TemporaryPrefix(const std::string& name) { return "." + name + ".tmp-"; }

// Replaces the registry's content all or nothing: readers see the old registry or the new
// one, never a mixture. A registry reached through a link is written at the link's target,
// keeping the link; a rewritten registry keeps its mode and, when root writes, its owner.
void ReplaceFile(const FileLocation& location, const std::filesystem::path& path, std::string_view text) {
  ReplaceOptions options;
  options.newFileMode = 0644;
  // Root registering in a user's folder leaves a file that user can still change.
  options.newFileTakesFolderOwner = true;
  options.writeThroughOtherFiles = false;
  // Readers take no lock, so the registry is never rewritten in place.
  options.rewriteInPlaceWhenNeeded = false;
  options.temporaryPrefix = TemporaryPrefix(location.name);
  try {
    ReplaceFileContents(location, path.string(),
                        std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()), options);
  } catch (const FileWriteError& e) {
    throw RegistryFileError("cannot replace the registry" + e.PathAndCause());
  }
}

}  // namespace

bool NameLess::operator()(std::string_view a, std::string_view b) const noexcept {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char x = AsciiLower(a[i]);
    const char y = AsciiLower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  return a.size() < b.size();
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  while (true) {
    const std::size_t slash = path.find('\\');
    const std::string_view part = path.substr(0, slash);
    CheckName(part, "key");
    parts.emplace_back(part);
    if (slash == std::string_view::npos) return parts;
    path.remove_prefix(slash + 1);
  }
}

Key::Key(const Key& other) : defaultValue(other.defaultValue), values(other.values) {
  // Level by level: each copied key's children are queued, never copied by recursion.
  std::vector<std::pair<const Key*, Key*>> pending{{&other, this}};
  while (!pending.empty()) {
    const auto [source, target] = pending.back();
    pending.pop_back();
    for (const auto& [name, child] : source->subkeys_) {
      Key shallow;
      shallow.defaultValue = child.defaultValue;
      shallow.values = child.values;
      Key& made = target->subkeys_.emplace_hint(target->subkeys_.end(), name, std::move(shallow))->second;
      pending.emplace_back(&child, &made);
    }
  }
}

Key& Key::operator=(const Key& other) {
  if (this != &other) *this = Key(other);
  return *this;
}

Key::~Key() {
  if (subkeys_.empty()) return;
  // Detach every level before it is destroyed, so that each destructor below meets a key
  // without subkeys.
  std::vector<std::map<std::string, Key, NameLess>> pending;
  pending.push_back(std::move(subkeys_));
  while (!pending.empty()) {
    std::map<std::string, Key, NameLess> level = std::move(pending.back());
    pending.pop_back();
    for (auto& [name, child] : level) {
      if (!child.subkeys_.empty()) pending.push_back(std::move(child.subkeys_));
    }
  }
}

bool operator==(const Key& a, const Key& b) {
  std::vector<std::pair<const Key*, const Key*>> pending{{&a, &b}};
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    if (x->defaultValue != y->defaultValue || x->values != y->values ||
        x->subkeys_.size() != y->subkeys_.size()) {
      return false;
    }
    for (auto i = x->subkeys_.begin(), j = y->subkeys_.begin(); i != x->subkeys_.end(); ++i, ++j) {
      if (i->first != j->first) return false;
      pending.emplace_back(&i->second, &j->second);
    }
  }
  return true;
}

const Key* Key::Find(std::string_view path) const {
  const Key* key = this;
  for (const std::string& part : SplitPath(path)) {
    const auto found = key->subkeys_.find(part);
    if (found == key->subkeys_.end()) return nullptr;
    key = &found->second;
  }
  return key;
}

Key* Key::Find(std::string_view path) {
  return const_cast<Key*>(static_cast<const Key*>(this)->Find(path));
}

Key& Key::Create(std::string_view path) {
  const std::vector<std::string> parts = SplitPath(path);
  if (parts.size() > kMaxKeyDepth) {
    throw RegistryError("a key path has more than " + std::to_string(kMaxKeyDepth) + " parts");
  }
  Key* key = this;
  for (const std::string& part : parts) {
    auto found = key->subkeys_.find(part);
    if (found == key->subkeys_.end()) found = key->subkeys_.emplace(part, Key{}).first;
    key = &found->second;
  }
  return *key;
}

bool Key::Remove(std::string_view path) {
  const std::vector<std::string> parts = SplitPath(path);
  Key* parent = this;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const auto found = parent->subkeys_.find(parts[i]);
    if (found == parent->subkeys_.end()) return false;
    parent = &found->second;
  }
  return parent->subkeys_.erase(parts.back()) > 0;
}

std::string Serialize(const Key& root) {
  std::string out(kHeader);
  out += "\n; HKEY_CLASSES_ROOT: one section per key, @ is the key's default value.\n";
  SerializeTree(root, out);
  return out;
}

Key Parse(std::string_view text, std::string_view origin) {
  Key root;
  if (text.empty()) return root;  // a file created but never written
  Key* current = nullptr;
  std::size_t number = 0;
  bool sawHeader = false;
  std::set<std::string, NameLess> seenKeys;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    LineParser parser(line, origin, number);
    if (!sawHeader) {
      if (line != kHeader) parser.Fail("this is not a Quillgate registry file");
      sawHeader = true;
      continue;
    }
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') parser.Fail("a key line must end with ']'");
      const std::string_view path = line.substr(1, line.size() - 2);
      std::size_t depth = 0;
      try {
        depth = SplitPath(path).size();
      } catch (const RegistryError& e) {
        parser.Fail(e.what());
      }
      if (depth > kMaxKeyDepth) {
        parser.Fail("keys are nested more than " + std::to_string(kMaxKeyDepth) + " deep");
      }
      if (!seenKeys.emplace(path).second) parser.Fail("the key appears twice");
      current = &root.Create(path);
      continue;
    }
    if (current == nullptr) parser.Fail("a value appears before any key");
    if (parser.Peek() == '@') {
      parser.Skip();
      parser.Expect('=');
      if (current->defaultValue) parser.Fail("the default value appears twice");
      current->defaultValue = parser.Quoted();
    } else {
      std::string name = parser.Quoted();
      if (name.empty()) parser.Fail("a value name is empty");
      parser.Expect('=');
      std::string value = parser.Quoted();
      if (!current->values.emplace(std::move(name), std::move(value)).second) {
        parser.Fail("a value appears twice");
      }
    }
    if (!parser.AtEnd()) parser.Fail("unexpected text after a value");
  }
  if (!sawHeader) LineParser({}, origin, 1).Fail("this is not a Quillgate registry file");
  return root;
}

std::filesystem::path RegistryPath() {
  {
    const std::scoped_lock lock(PathMutex());
    if (!PathOverride().empty()) return PathOverride();
  }
  if (const char* env = std::getenv("QUILLGATE_REGISTRY"); env != nullptr && *env != '\0') {
    return env;
  }
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::filesystem::path(home) / ".config";
  } else {
    throw RegistryError("no registry location: set QUILLGATE_REGISTRY or HOME");
  }
  return base / "quillgate" / "registry";
}

void SetRegistryPath(std::filesystem::path path) {
  const std::scoped_lock lock(PathMutex());
  PathOverride() = std::move(path);
}

namespace {

// The transaction open on this thread, if any: Read and Update work on its copy.
struct OpenTransaction {
  Key root;
};
thread_local OpenTransaction* openTransaction = nullptr;

// Where the registry is written: the folder and name that its path leads to.
FileLocation Locate(const std::filesystem::path& path) {
  try {
    return LocateForWriting(path);
  } catch (const FileWriteError& e) {
    throw RegistryFileError("cannot replace the registry" + e.PathAndCause());
  }
}

// Called under the writers' lock: every writer makes its temporary under that lock, so one
// found now was left by a writer that died before renaming it.
void RemoveStaleTemporaries(const FileLocation& location) {
  const int listing = ::openat(location.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return;
  DIR* const folder = ::fdopendir(listing);
  if (folder == nullptr) {
    ::close(listing);
    return;
  }
  const std::string prefix = TemporaryPrefix(location.name);
  while (const dirent* entry = ::readdir(folder)) {
    if (std::string_view(entry->d_name).starts_with(prefix)) ::unlinkat(location.folder.Get(), entry->d_name, 0);
  }
  ::closedir(folder);
}

// Creates the registry's directory and takes the writers' lock beside the file the path
// leads to; it is held while the descriptor lives.
FileDescriptor LockForWriting(const std::filesystem::path& path) {
  if (!path.parent_path().empty()) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
      throw RegistryFileError("cannot create " + path.parent_path().string() + ": " + error.message());
    }
  }
  // The registry file itself is replaced by every write, so writers meet on a lock file
  // that stays put. It belongs to whoever owns the registry (or its folder), so that a
  // registration by root does not lock that user out of their own registry later; a lock
  // file someone else owns is still usable read-only, which is all flock needs.
  const FileLocation location = Locate(path);
  const std::filesystem::path lockPath = path.parent_path() / (location.name + ".lock");
  const std::string lockName = location.name + ".lock";
  FileDescriptor lock(::openat(location.folder.Get(), lockName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!lock.IsOpen() && errno == EACCES) {
    lock = FileDescriptor(::openat(location.folder.Get(), lockName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!lock.IsOpen()) FailSystem("open the lock file", lockPath);
  if (::geteuid() == 0) {
    const struct stat& owner = location.existing ? *location.existing : location.folderStatus;
    struct stat status {};
    if (::fstat(lock.Get(), &status) == 0 && (status.st_uid != owner.st_uid || status.st_gid != owner.st_gid)) {
      (void)::fchown(lock.Get(), owner.st_uid, owner.st_gid);
    }
  }
  while (::flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) FailSystem("lock", lockPath);
  }
  return lock;
}

}  // namespace

Key Read() {
  if (openTransaction != nullptr) return openTransaction->root;
  const std::filesystem::path path = RegistryPath();
  const std::optional<std::string> text = ReadFile(path);
  return text ? Parse(*text, path.string()) : Key{};
}

void Update(const std::function<void(Key& root)>& change) {
  if (openTransaction == nullptr) {
    Transaction([&] {
      Update(change);
      return true;
    });
    return;
  }
  Key after = openTransaction->root;
  change(after);
  openTransaction->root = std::move(after);
}

void Transaction(const std::function<bool()>& work) {
  if (openTransaction != nullptr) {
    // Joined: the inner part's changes go or stay with its own result.
    Key before = openTransaction->root;
    bool keep = false;
    try {
      keep = work();
    } catch (...) {
      openTransaction->root = std::move(before);
      throw;
    }
    if (!keep) openTransaction->root = std::move(before);
    return;
  }
  const std::filesystem::path path = RegistryPath();
  const FileDescriptor lock = LockForWriting(path);
  // Found again under the lock: another writer may have replaced the file meanwhile.
  const FileLocation location = Locate(path);
  RemoveStaleTemporaries(location);
  const std::optional<std::string> text = ReadFile(path);
  const Key before = text ? Parse(*text, path.string()) : Key{};
  OpenTransaction state{before};
  openTransaction = &state;
  bool keep = false;
  try {
    keep = work();
  } catch (...) {
    openTransaction = nullptr;
    throw;
  }
  openTransaction = nullptr;
  if (!keep || (text && state.root == before)) return;
  ReplaceFile(location, path, Serialize(state.root));
}  // the lock goes with its descriptor

}  // namespace quillgate::com::registry
