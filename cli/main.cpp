// quillgate: makes CAPTCHA codes, images and spoken codes from the command line, and checks
// answers against hash values.
#include "cli/Commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

// Whatever a command printed must have reached standard output: a full disk or a closed
// descriptor there is a failure, not a silent loss.
int CheckStandardOutput(int exitCode) {
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return exitCode;
  const int error = errno;
  std::fprintf(stderr, "quillgate: cannot write to standard output: %s\n",
               error != 0 ? std::strerror(error) : "write error");
  return exitCode > 2 ? exitCode : 2;
}

// A standard descriptor the caller closed is filled with a read-only /dev/null: writes to
// it then fail as they should, and no file the command opens can take its number and
// receive the command's printed lines.
void PlugClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int plug = ::open("/dev/null", O_RDONLY);
      if (plug >= 0 && plug != fd) ::close(plug);
    }
  }
}

int Run(int argc, char** argv) {
  PlugClosedStandardDescriptors();
  CLI::App app{"Quillgate: CAPTCHA images, spoken codes and stateless answer checks"};
  app.require_subcommand(1);
  // One line per failure; set before the subcommands exist, which copy it.
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "quillgate: " + std::string(e.what()) + " (run with --help for usage)\n";
  });
  quillgate::cli::AddCodeCommands(app);
  quillgate::cli::AddSoundCommand(app);
  quillgate::cli::AddImageCommands(app);
  quillgate::cli::AddComponentCommands(app);
  quillgate::cli::AddServiceCommands(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const std::exception& e) {
    // Every failure is one line on standard error and a non-zero exit.
    std::fprintf(stderr, "quillgate: %s\n", e.what());
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return CheckStandardOutput(Run(argc, argv)); }
