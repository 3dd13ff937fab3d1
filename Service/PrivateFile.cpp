#include "Service/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace quillgate::service {
namespace {

[[noreturn]] void Fail(std::string_view what, std::string_view problem, const std::filesystem::path& file) {
  throw std::runtime_error(std::string(problem) + " " + std::string(what) + " " + file.string() + ": " +
                           std::strerror(errno));
}

}  // namespace

std::string ReadPrivateFile(const std::filesystem::path& file, std::string_view what, std::size_t maxBytes) {
  const std::string name = std::string(what) + " " + file.string();
  // O_NOFOLLOW: a link planted under the name is refused, never read through.
  const FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.Get() < 0) Fail(what, "cannot open", file);
  struct stat status {};
  if (::fstat(fd.Get(), &status) != 0) Fail(what, "cannot read", file);
  if (!S_ISREG(status.st_mode)) throw std::runtime_error(name + " is not a regular file");
  if ((status.st_mode & 077) != 0) {
    throw std::runtime_error(name + " can be read or written by others; allow only its owner (chmod 600)");
  }
  if (static_cast<std::uint64_t>(status.st_size) > maxBytes) {
    throw std::runtime_error(name + " is over " + std::to_string(maxBytes) + " bytes");
  }
  std::string text(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::read(fd.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(what, "cannot read", file);
    done += static_cast<std::size_t>(n);
  }
  return text;
}

}  // namespace quillgate::service
