#pragma once
// An open file descriptor that closes itself: the one owner of every descriptor the
// project opens, so none leaks on an early return or an exception.

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quillgate {

class FileDescriptor {
 public:
  FileDescriptor() noexcept = default;
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.Release();
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }

  [[nodiscard]] int Get() const noexcept { return fd_; }
  [[nodiscard]] bool IsOpen() const noexcept { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int Release() noexcept { return std::exchange(fd_, -1); }
  // Closes now, so that a late write error that close reports is not lost: 0 or an errno.
  int Close() noexcept { return ::close(Release()) == 0 ? 0 : errno; }

 private:
  int fd_ = -1;
};

}  // namespace quillgate
