#include "CommonUtilities/FileReplacement.h"

#include "CommonUtilities/SecureRandom.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

namespace quillgate {

FileWriteError::FileWriteError(const std::string& path, int error)
    : FileWriteError(path, error, std::strerror(error)) {}

FileWriteError::FileWriteError(const std::string& path, int error, const std::string& cause)
    : std::runtime_error("cannot write " + path + ": " + cause), error_(error), pathAndCause_(" " + path + ": " + cause) {}

const char* KindOfFile(mode_t mode) noexcept {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "not a regular file";
}

namespace {

constexpr int kMaxLinksFollowed = 40;  // as the kernel allows in one path

// The names of a path, in the order they are walked; "." and empty names say nothing.
void PushNames(std::string_view text, std::vector<std::string>& pending) {
  // `pending` is a stack: the next name to walk is at its back.
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t slash = std::min(text.find('/', at), text.size());
    const std::string_view name = text.substr(at, slash - at);
    if (!name.empty() && name != ".") names.emplace_back(name);
    at = slash + 1;
  }
  pending.insert(pending.end(), names.rbegin(), names.rend());
}

FileDescriptor OpenFolder(int at, const char* name) {
  return FileDescriptor(::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::string Joined(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder == ".") return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Writes all bytes from the descriptor's position: 0 or an errno.
int WriteAll(int fd, std::span<const unsigned char> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return 0;
}

// A name in the folder that no one can predict: the prefix and 16 random characters, far
// below any file-name limit whatever the target's own name.
std::string TemporaryName(const std::string& prefix) {
  static constexpr char kCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = prefix;
  for (int i = 0; i < 16; ++i) name += kCharacters[SecureRandomBelow(sizeof kCharacters - 1)];
  return name;
}

bool UnnamedUnsupported(int error) {
  // Older kernels answer EISDIR; file systems without support, EOPNOTSUPP or EINVAL.
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Gives an unnamed temporary a name in `folder`: 0 or an errno.
int LinkUnnamed(int fd, int folder, const std::string& name) {
  if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  if (errno == EEXIST) return EEXIST;
  // AT_EMPTY_PATH asks for a privilege that /proc's view of the descriptor does not.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// The file being written: unnamed where possible, else named; a named one is removed again
// unless it has been put in place.
class Temporary {
 public:
  Temporary(int folder, const std::string& prefix, mode_t mode, bool unnamed) : folder_(folder), prefix_(prefix) {
    if (unnamed) {
      fd_ = FileDescriptor(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
      if (fd_.IsOpen() || !UnnamedUnsupported(errno)) {
        error_ = fd_.IsOpen() ? 0 : errno;
        return;
      }
    }
    OpenNamed(mode);
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (!name_.empty()) ::unlinkat(folder_, name_.c_str(), 0);
  }

  [[nodiscard]] int OpenError() const { return error_; }
  [[nodiscard]] int Fd() const { return fd_.Get(); }
  [[nodiscard]] bool Unnamed() const { return unnamed_; }

  // Closes the file: 0 or an errno.
  int Close() { return fd_.Close(); }

  // Puts the finished file at `name`, replacing what is there (a link included, which is
  // never followed): 0 or an errno. `exclusive` instead leaves a taken name alone (EEXIST).
  int Publish(const std::string& name, bool exclusive) {
    if (unnamed_ && exclusive) return LinkUnnamed(fd_.Get(), folder_, name);
    if (unnamed_) {
      // Rename cannot take an unnamed file, so it gets a name for this instant only.
      int error = EEXIST;
      for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        name_ = TemporaryName(prefix_);
        error = LinkUnnamed(fd_.Get(), folder_, name_);
      }
      if (error != 0) {
        name_.clear();
        return error;
      }
    }
    const int result = exclusive ? ::linkat(folder_, name_.c_str(), folder_, name.c_str(), 0)
                                 : ::renameat(folder_, name_.c_str(), folder_, name.c_str());
    const int error = result == 0 ? 0 : errno;
    if (result == 0 && !exclusive) name_.clear();  // the name is the target's now
    return error;
  }

 private:
  void OpenNamed(mode_t mode) {
    unnamed_ = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
      name_ = TemporaryName(prefix_);
      // O_EXCL creates or fails, and with O_CREAT never follows a link.
      fd_ = FileDescriptor(
          ::openat(folder_, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
      if (fd_.IsOpen() || errno != EEXIST) break;
    }
    if (!fd_.IsOpen()) {
      error_ = errno;
      name_.clear();
    }
  }

  int folder_;
  std::string prefix_;
  FileDescriptor fd_;
  std::string name_;  // while a named file of ours stands in the folder
  bool unnamed_ = true;
  int error_ = 0;
};

void SyncFolder(int folder) {
  // Makes a rename durable; a folder that cannot be synced is not an error.
  const FileDescriptor readable(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (readable.IsOpen()) (void)::fsync(readable.Get());
}

// A device, FIFO or socket, opened as it stands and written from its start.
void WriteThrough(const FileLocation& at, const std::string& shown, std::span<const unsigned char> bytes) {
  FileDescriptor file(::openat(at.folder.Get(), at.name.c_str(),
                               O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (!file.IsOpen()) throw FileWriteError(shown, errno);
  if (const int error = WriteAll(file.Get(), bytes); error != 0) throw FileWriteError(shown, error);
  if (const int error = file.Close(); error != 0) throw FileWriteError(shown, error);
}

// An existing regular file rewritten where it stands, its space reserved before the old
// bytes are touched.
void WriteInPlace(const FileLocation& at, const std::string& shown, std::span<const unsigned char> bytes) {
  FileDescriptor file(::openat(at.folder.Get(), at.name.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (!file.IsOpen()) throw FileWriteError(shown, errno);
  if (!bytes.empty()) {
    const int reserved = ::posix_fallocate(file.Get(), 0, static_cast<off_t>(bytes.size()));
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
      (void)::ftruncate(file.Get(), at.existing->st_size);  // give back what the reservation added
      throw FileWriteError(shown, reserved);
    }
  }
  if (const int error = WriteAll(file.Get(), bytes); error != 0) throw FileWriteError(shown, error);
  if (::ftruncate(file.Get(), static_cast<off_t>(bytes.size())) != 0 || ::fsync(file.Get()) != 0) {
    throw FileWriteError(shown, errno);
  }
  if (const int error = file.Close(); error != 0) throw FileWriteError(shown, error);
}

enum class Outcome { kDone, kFolderNotWritable, kUnnamedUnusable };

Outcome ReplaceThroughTemporary(const FileLocation& at, const std::string& shown,
                                std::span<const unsigned char> bytes, const ReplaceOptions& options,
                                bool unnamed) {
  const int folder = at.folder.Get();
  // A replaced file's mode is set before any byte is written; a new one gets the usual.
  Temporary temporary(folder, options.temporaryPrefix, at.existing ? 0600 : options.newFileMode, unnamed);
  if (temporary.Fd() < 0) {
    const int error = temporary.OpenError();
    const bool inPlacePossible = at.existing && options.rewriteInPlaceWhenNeeded;
    if (inPlacePossible && (error == EACCES || error == EPERM || error == EROFS)) {
      return Outcome::kFolderNotWritable;
    }
    throw FileWriteError(shown, error);
  }
  const int fd = temporary.Fd();
  if (at.existing) {
    // Only a privileged caller can give the file away; for others this keeps what it may.
    (void)::fchown(fd, at.existing->st_uid, at.existing->st_gid);
    if (::fchmod(fd, at.existing->st_mode & 07777) != 0) throw FileWriteError(shown, errno);
  } else if (options.newFileTakesFolderOwner && ::geteuid() == 0) {
    if (::fchown(fd, at.folderStatus.st_uid, at.folderStatus.st_gid) != 0) throw FileWriteError(shown, errno);
  }
  if (const int error = WriteAll(fd, bytes); error != 0) throw FileWriteError(shown, error);
  if (::fsync(fd) != 0) throw FileWriteError(shown, errno);
  if (!temporary.Unnamed()) {
    if (const int error = temporary.Close(); error != 0) throw FileWriteError(shown, error);
  }
  if (const int error = temporary.Publish(at.name, false); error != 0) {
    // Without /proc, an unnamed file may have no way to get a name: write a named one.
    if (temporary.Unnamed() && error != ENOSPC && error != EDQUOT && error != EROFS) {
      return Outcome::kUnnamedUnusable;
    }
    throw FileWriteError(shown, error);
  }
  SyncFolder(folder);
  return Outcome::kDone;
}

}  // namespace

FileLocation LocateForWriting(const std::filesystem::path& path) {
  const std::string shown = path.string();
  if (shown.empty()) throw FileWriteError("''", ENOENT, "the name is empty");
  if (shown.back() == '/') throw FileWriteError(shown, EISDIR);

  FileLocation at;
  std::string folderText = path.is_absolute() ? "/" : ".";  // where `at.folder` is, for messages
  at.folder = OpenFolder(AT_FDCWD, folderText.c_str());
  if (!at.folder.IsOpen()) throw FileWriteError(shown, errno);
  std::vector<std::string> pending;
  PushNames(shown, pending);
  int linksFollowed = 0;
  while (true) {
    if (pending.empty()) throw FileWriteError(shown, EISDIR);  // "/", "." or a folder's link
    std::string name = std::move(pending.back());
    pending.pop_back();
    if (::fstat(at.folder.Get(), &at.folderStatus) != 0) throw FileWriteError(shown, errno);
    struct stat status {};
    if (::fstatat(at.folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT && pending.empty()) {
        at.name = std::move(name);
        at.existing.reset();
        return at;
      }
      throw FileWriteError(shown, errno);
    }
    if (S_ISLNK(status.st_mode)) {
      if (++linksFollowed > kMaxLinksFollowed) throw FileWriteError(shown, ELOOP);
      const mode_t folderMode = at.folderStatus.st_mode;
      const bool openToAll = (folderMode & S_ISVTX) != 0 && (folderMode & S_IWOTH) != 0;
      if (openToAll && status.st_uid != ::geteuid() && status.st_uid != at.folderStatus.st_uid) {
        throw FileWriteError(shown, EACCES,
                             Joined(folderText, name) +
                                 " is a symbolic link that another user made in a sticky folder "
                                 "everyone may write; such a link is not followed");
      }
      std::vector<char> target(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : PATH_MAX) + 1);
      const ssize_t length = ::readlinkat(at.folder.Get(), name.c_str(), target.data(), target.size());
      if (length < 0) throw FileWriteError(shown, errno);
      if (static_cast<std::size_t>(length) >= target.size()) throw FileWriteError(shown, ENAMETOOLONG);
      const std::string_view text(target.data(), static_cast<std::size_t>(length));
      if (text.empty()) throw FileWriteError(shown, ENOENT);
      if (text.front() == '/') {
        folderText = "/";
        at.folder = OpenFolder(AT_FDCWD, "/");
        if (!at.folder.IsOpen()) throw FileWriteError(shown, errno);
      }
      // A link to a folder ("out/") still ends in a name to write, or in the folder itself.
      PushNames(text, pending);
      continue;
    }
    if (pending.empty()) {
      at.name = std::move(name);
      at.existing = status;
      return at;
    }
    if (!S_ISDIR(status.st_mode)) throw FileWriteError(shown, ENOTDIR);
    FileDescriptor next = OpenFolder(at.folder.Get(), name.c_str());
    if (!next.IsOpen()) throw FileWriteError(shown, errno);
    at.folder = std::move(next);
    folderText = Joined(folderText, name);
  }
}

void ReplaceFileContents(const std::filesystem::path& path, std::span<const unsigned char> bytes,
                         const ReplaceOptions& options) {
  ReplaceFileContents(LocateForWriting(path), path.string(), bytes, options);
}

void ReplaceFileContents(const FileLocation& at, const std::string& shown, std::span<const unsigned char> bytes,
                         const ReplaceOptions& options) {
  if (at.existing) {
    const mode_t mode = at.existing->st_mode;
    if (S_ISDIR(mode)) throw FileWriteError(shown, EISDIR);
    if (!S_ISREG(mode)) {
      if (!options.writeThroughOtherFiles) {
        throw FileWriteError(shown, EINVAL, std::string("it is ") + KindOfFile(mode) + ", not a regular file");
      }
      WriteThrough(at, shown, bytes);
      return;
    }
    // A rename would split a file's hard links apart.
    if (at.existing->st_nlink > 1 && options.rewriteInPlaceWhenNeeded) {
      WriteInPlace(at, shown, bytes);
      return;
    }
  }
  Outcome outcome = ReplaceThroughTemporary(at, shown, bytes, options, options.unnamedTemporaries);
  if (outcome == Outcome::kUnnamedUnusable) outcome = ReplaceThroughTemporary(at, shown, bytes, options, false);
  // The rename is impossible, yet the file itself may be writable.
  if (outcome == Outcome::kFolderNotWritable) WriteInPlace(at, shown, bytes);
}

bool CreateNewFile(const std::filesystem::path& path, std::span<const unsigned char> bytes, mode_t mode) {
  const std::string shown = path.string();
  const std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : ".";
  const FileDescriptor folder(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.IsOpen()) throw FileWriteError(shown, errno);
  const std::string name = path.filename().string();
  for (const bool unnamed : {true, false}) {
    Temporary temporary(folder.Get(), "." + name + ".", mode, unnamed);
    if (temporary.Fd() < 0) throw FileWriteError(shown, temporary.OpenError());
    if (::fchmod(temporary.Fd(), mode) != 0) throw FileWriteError(shown, errno);  // whatever the umask
    if (const int error = WriteAll(temporary.Fd(), bytes); error != 0) throw FileWriteError(shown, error);
    if (::fsync(temporary.Fd()) != 0) throw FileWriteError(shown, errno);
    const int error = temporary.Publish(name, true);
    if (error == EEXIST) return false;
    if (error == 0) {
      SyncFolder(folder.Get());
      return true;
    }
    if (!temporary.Unnamed() || error == ENOSPC || error == EDQUOT || error == EROFS) {
      throw FileWriteError(shown, error);
    }
  }
  return false;  // not reached: the named attempt returns or throws
}

}  // namespace quillgate
