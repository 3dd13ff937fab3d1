#include "CommonUtilities/SecureRandom.h"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>
#include <system_error>

namespace quillgate {
namespace {

std::uint32_t SecureWord() {
  std::uint32_t word = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&word);
  std::size_t filled = 0;
  while (filled < sizeof word) {
    // Blocks only until the kernel's pool is first initialised, never afterwards.
    const ssize_t got = ::getrandom(bytes + filled, sizeof word - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      // No fallback to anything guessable: a code nobody can predict, or none.
      throw std::system_error(errno, std::generic_category(),
                              "no cryptographic random source for the code");
    }
    filled += static_cast<std::size_t>(got);
  }
  return word;
}

}  // namespace

std::uint32_t SecureRandomBelow(std::uint32_t n) { return UniformBelow(n, SecureWord); }

}  // namespace quillgate
