#include "Service/PrivateFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

namespace quillgate::service {
namespace {

// As the kernel's own limit on links followed in one lookup.
constexpr int kMaxLinks = 40;
// A file still changing after this many reads is refused rather than read half.
constexpr int kMaxReads = 5;

[[noreturn]] void Fail(std::string_view what, std::string_view problem, const std::filesystem::path& file) {
  throw std::runtime_error(std::string(problem) + " " + std::string(what) + " " + file.string() + ": " +
                           std::strerror(errno));
}

std::string UserName(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(4096);
  const std::string number = "uid " + std::to_string(uid);
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return number;
  return std::string(found->pw_name) + " (" + number + ")";
}

// Root may own what the server reads (a secret mounted by the system); any other user
// but the server's own could have planted it.
bool TrustedOwner(uid_t owner) { return owner == 0 || owner == ::geteuid(); }

std::string OwnersAllowed() {
  return ::geteuid() == 0 ? "only root's are trusted" : "only root's or " + UserName(::geteuid()) + "'s are trusted";
}

// The name with every symbolic link on the way, in any folder of it or at its end, replaced
// by what the link names, each link checked first: container secret mounts are chains of
// links that root owns (keys -> ..data/keys, ..data -> ..2026_12_09).
std::filesystem::path FollowTrustedLinks(const std::filesystem::path& file, const std::string& name) {
  std::deque<std::filesystem::path> rest(file.begin(), file.end());
  std::filesystem::path resolved;
  int links = 0;
  while (!rest.empty()) {
    const std::filesystem::path part = rest.front();
    rest.pop_front();
    if (part.empty() || part == ".") continue;
    // Everything in `resolved` is a real folder, so ".." is its parent as written.
    if (part == ".." && resolved.has_relative_path() && resolved.filename() != "..") {
      resolved = resolved.parent_path();
      continue;
    }
    const std::filesystem::path next = resolved / part;
    struct stat status {};
    if (::lstat(next.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      resolved = next;
      continue;
    }
    if (++links > kMaxLinks) throw std::runtime_error(name + ": too many symbolic links");
    if (!TrustedOwner(status.st_uid)) {
      throw std::runtime_error(name + ": the symbolic link " + next.string() + " is owned by " +
                               UserName(status.st_uid) + "; links are followed only when trusted users own them (" +
                               OwnersAllowed() + ")");
    }
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink(next.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
      throw std::runtime_error(name + ": cannot read the symbolic link " + next.string());
    }
    const std::filesystem::path named(std::string(target.data(), static_cast<std::size_t>(length)));
    if (named.is_absolute()) resolved = named.root_path();
    const std::filesystem::path inside = named.relative_path();
    rest.insert(rest.begin(), inside.begin(), inside.end());
  }
  return resolved;
}

void Check(const struct stat& status, const std::string& name, std::size_t maxBytes, FileSecrecy secrecy) {
  if (!S_ISREG(status.st_mode)) throw std::runtime_error(name + " is not a regular file");
  if (!TrustedOwner(status.st_uid)) {
    throw std::runtime_error(name + " is owned by " + UserName(status.st_uid) + " (" + OwnersAllowed() +
                             "); another user could have planted it");
  }
  if (secrecy == FileSecrecy::Secret && (status.st_mode & 077) != 0) {
    throw std::runtime_error(name + " can be read or written by others; allow only its owner (chmod 600)");
  }
  if (secrecy == FileSecrecy::Public && (status.st_mode & 022) != 0) {
    throw std::runtime_error(name + " can be written by others; allow only its owner to write (chmod go-w)");
  }
  if (static_cast<std::uint64_t>(status.st_size) > maxBytes) {
    throw std::runtime_error(name + " is over " + std::to_string(maxBytes) + " bytes");
  }
}

bool SameVersion(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The whole text, or nothing when the file changed while it was read.
std::optional<std::string> ReadOnce(const std::filesystem::path& file, std::string_view what,
                                    const std::string& name, std::size_t maxBytes, FileSecrecy secrecy) {
  const std::filesystem::path target = FollowTrustedLinks(file, name);
  // O_NOFOLLOW: a link swapped in after the check above is refused, never read through.
  const FileDescriptor fd(::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.Get() < 0) Fail(what, "cannot open", file);
  struct stat before {};
  if (::fstat(fd.Get(), &before) != 0) Fail(what, "cannot read", file);
  Check(before, name, maxBytes, secrecy);
  std::string text;
  std::array<char, 16 * 1024> chunk{};
  for (;;) {
    const ssize_t n = ::read(fd.Get(), chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(what, "cannot read", file);
    if (n == 0) break;
    text.append(chunk.data(), static_cast<std::size_t>(n));
    if (text.size() > maxBytes) throw std::runtime_error(name + " is over " + std::to_string(maxBytes) + " bytes");
  }
  // Rewritten in place meanwhile (an editor saving, a key appended): what was read may be
  // part old, part new. A file replaced by rename is a new inode and needs no retry.
  struct stat after {};
  if (::fstat(fd.Get(), &after) != 0) Fail(what, "cannot read", file);
  if (!SameVersion(before, after) || text.size() != static_cast<std::size_t>(after.st_size)) return std::nullopt;
  return text;
}

}  // namespace

std::string ReadPrivateFile(const std::filesystem::path& file, std::string_view what, std::size_t maxBytes,
                            FileSecrecy secrecy) {
  const std::string name = std::string(what) + " " + file.string();
  for (int attempt = 0; attempt < kMaxReads; ++attempt) {
    if (auto text = ReadOnce(file, what, name, maxBytes, secrecy)) return std::move(*text);
  }
  throw std::runtime_error(name + " kept changing while it was read; write a new file and rename it over the old");
}

void MakePrivateFolder(const std::filesystem::path& folder) {
  if (folder.empty()) return;
  struct stat status {};
  if (::lstat(folder.c_str(), &status) != 0) {
    if (errno != ENOENT) Fail("folder", "cannot reach the", folder);
    MakePrivateFolder(folder.parent_path());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Fail("folder", "cannot create the", folder);
    if (::lstat(folder.c_str(), &status) != 0) Fail("folder", "cannot reach the", folder);
  }
  const std::string name = "the folder " + folder.string();
  if (S_ISLNK(status.st_mode)) {
    if (!TrustedOwner(status.st_uid)) {
      throw std::runtime_error(name + " is a symbolic link owned by " + UserName(status.st_uid) + " (" +
                               OwnersAllowed() + ")");
    }
    if (::stat(folder.c_str(), &status) != 0) Fail("folder", "cannot reach the", folder);
  }
  if (!S_ISDIR(status.st_mode)) throw std::runtime_error(name + " is not a folder");
  if (!TrustedOwner(status.st_uid)) {
    throw std::runtime_error(name + " is owned by " + UserName(status.st_uid) + " (" + OwnersAllowed() + ")");
  }
  // A shared folder like /tmp is writable by all but sticky: no one may rename another's file.
  if ((status.st_mode & 022) != 0 && (status.st_mode & S_ISVTX) == 0) {
    throw std::runtime_error(name + " can be written by others; allow only its owner to write (chmod go-w)");
  }
}

}  // namespace quillgate::service
