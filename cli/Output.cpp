// Writing a command's result: to standard output for "-", else to the named file, all or
// nothing, through links only where following them is safe (see FileReplacement.h).
#include "cli/Commands.h"

#include "CommonUtilities/FileReplacement.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quillgate::cli {
namespace {

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
  ReplaceFileContents(path, bytes);
}

}  // namespace quillgate::cli
