// Writing a command's result: all or nothing for regular files, straight through for
// everything else.
//
// A regular file (or a name that does not exist yet) is written to a temporary file beside
// it, flushed to disk and renamed over it, so a reader sees the old file or the new one and
// a failure leaves nothing behind. The temporary is created exclusively, never through a
// link, under a name nobody can guess, so a planted link cannot redirect the write.
//
// Everything else is written where it stands: a device such as /dev/null must stay a
// device, a FIFO must be fed, and a symbolic link is written through to the file it names
// rather than replaced. Two kinds of regular file are written in place too, because a
// rename would do harm: a file with several hard links (the rename would split them) and a
// file whose directory cannot be written (the rename is impossible, the file is writable).
#include "cli/Commands.h"

#include "CommonUtilities/SecureRandom.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace quillgate::cli {
namespace {

[[noreturn]] void Fail(const std::string& path, int error) {
  throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
}

// An open file descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int Get() const { return fd_; }
  // Closes now, so that a late write error reported by close is not lost; 0 or an errno.
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// Writes all bytes from the descriptor's current position; 0 or an errno.
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

// A device, FIFO, or whatever a symbolic link names: opened as it is (following links,
// creating the file a dangling link names) and written from its start.
void WriteThrough(const std::string& path, std::span<const unsigned char> bytes) {
  Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666));
  if (file.Get() < 0) Fail(path, errno);
  if (const int error = WriteAll(file.Get(), bytes); error != 0) Fail(path, error);
  if (const int error = file.Close(); error != 0) Fail(path, error);
}

// An existing regular file rewritten where it stands. Space is reserved before the old
// bytes are touched, so a full disk is found while the old content is still whole.
void WriteInPlace(const std::string& path, const struct stat& old, std::span<const unsigned char> bytes) {
  Descriptor file(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (file.Get() < 0) Fail(path, errno);
  if (!bytes.empty()) {
    const int reserved = ::posix_fallocate(file.Get(), 0, static_cast<off_t>(bytes.size()));
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
      (void)::ftruncate(file.Get(), old.st_size);  // give back what the reservation added
      Fail(path, reserved);
    }
  }
  if (const int error = WriteAll(file.Get(), bytes); error != 0) Fail(path, error);
  if (::ftruncate(file.Get(), static_cast<off_t>(bytes.size())) != 0 || ::fsync(file.Get()) != 0) {
    Fail(path, errno);
  }
  if (const int error = file.Close(); error != 0) Fail(path, error);
}

// A name in `directory` that no one can predict: a fixed short prefix and 16 random
// characters, far below any file-name limit whatever the target's own name.
std::filesystem::path TemporaryName(const std::filesystem::path& directory) {
  static constexpr char kCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".quillgate-";
  for (int i = 0; i < 16; ++i) name += kCharacters[SecureRandomBelow(sizeof kCharacters - 1)];
  return directory / name;
}

// The temporary file, removed again unless it has been renamed into place.
class Temporary {
 public:
  explicit Temporary(const std::filesystem::path& directory, mode_t mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = TemporaryName(directory);
      // O_EXCL creates or fails, and with O_CREAT never follows a link; O_NOFOLLOW says so
      // twice.
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
      if (fd_ >= 0 || errno != EEXIST) break;
    }
    error_ = fd_ < 0 ? errno : 0;
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (fd_ >= 0) ::close(fd_);
    if (!renamed_) ::unlink(path_.c_str());
  }

  [[nodiscard]] int OpenError() const { return error_; }
  [[nodiscard]] int Fd() const { return fd_; }
  [[nodiscard]] const std::filesystem::path& Path() const { return path_; }
  void Closed() { fd_ = -1; }
  void Renamed() { renamed_ = true; }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  int error_ = 0;
  bool renamed_ = false;
};

// Returns false, having written nothing, when the directory does not let a temporary be
// made there and the caller may write in place instead.
bool ReplaceAtomically(const std::string& path, const std::optional<struct stat>& old,
                       std::span<const unsigned char> bytes) {
  const std::filesystem::path target(path);
  const std::filesystem::path directory =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  // A new file gets the mode any new file gets (0666 less the umask); a replaced one
  // keeps its own, set before any byte is written.
  Temporary temporary(directory, old ? 0600 : 0666);
  if (temporary.Fd() < 0) {
    const int error = temporary.OpenError();
    if (old && (error == EACCES || error == EPERM || error == EROFS)) return false;
    Fail(path, error);
  }
  const int fd = temporary.Fd();
  if (old) {
    (void)::fchown(fd, old->st_uid, old->st_gid);  // only a privileged caller can; harmless otherwise
    if (::fchmod(fd, old->st_mode & 07777) != 0) Fail(path, errno);
  }
  if (const int error = WriteAll(fd, bytes); error != 0) Fail(path, error);
  if (::fsync(fd) != 0) Fail(path, errno);
  temporary.Closed();
  if (::close(fd) != 0) Fail(path, errno);
  if (::rename(temporary.Path().c_str(), path.c_str()) != 0) Fail(path, errno);
  temporary.Renamed();
  // Make the rename itself durable; a directory that cannot be synced is not an error.
  Descriptor folder(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() >= 0) (void)::fsync(folder.Get());
  return true;
}

void WriteStandardOutput(std::span<const unsigned char> bytes) {
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
      std::fflush(stdout) != 0) {
    const int error = errno;
    std::clearerr(stdout);  // reported here, once
    throw std::runtime_error(std::string("cannot write to standard output: ") +
                             (error != 0 ? std::strerror(error) : "write error"));
  }
}

}  // namespace

void WriteOutput(const std::string& path, std::span<const unsigned char> bytes) {
  if (path == "-") {
    WriteStandardOutput(bytes);
    return;
  }
  if (path.empty()) throw std::runtime_error("cannot write an output file with an empty name");
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno != ENOENT) Fail(path, errno);
    ReplaceAtomically(path, std::nullopt, bytes);
    return;
  }
  if (S_ISDIR(status.st_mode)) Fail(path, EISDIR);
  if (!S_ISREG(status.st_mode)) {
    WriteThrough(path, bytes);  // device, FIFO, socket, symbolic link
    return;
  }
  if (status.st_nlink > 1 || !ReplaceAtomically(path, status, bytes)) {
    WriteInPlace(path, status, bytes);
  }
}

}  // namespace quillgate::cli
