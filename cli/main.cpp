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
  return exitCode > quillgate::cli::kExitFailure ? exitCode : quillgate::cli::kExitFailure;
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

// The first word that is not an option must name a command. Checked before parsing, since
// the parser would only say that a command is required.
std::string UnknownCommand(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.starts_with("-")) continue;
    std::string known;
    for (const CLI::App* command : app.get_subcommands({})) {
      if (command->check_name(word)) return {};
      known += (known.empty() ? "" : ", ") + command->get_name();
    }
    return "unknown command '" + word + "'; the commands are " + known;
  }
  return {};
}

int Run(int argc, char** argv) {
  PlugClosedStandardDescriptors();
  CLI::App app{"Quillgate: CAPTCHA images, spoken codes and stateless answer checks"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("quillgate ") + QUILLGATE_VERSION);
  // One line per failure; set before the subcommands exist, which copy it.
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "quillgate: " + std::string(e.what()) + " (run with --help for usage)\n";
  });
  quillgate::cli::AddCodeCommands(app);
  quillgate::cli::AddSoundCommand(app);
  quillgate::cli::AddImageCommands(app);
  quillgate::cli::AddComponentCommands(app);
  quillgate::cli::AddServiceCommands(app);
  quillgate::cli::AddSiteCommands(app);
  quillgate::cli::AddWorkCommands(app);
  using quillgate::cli::kExitFailure;
  using quillgate::cli::kExitUsage;
  if (const std::string unknown = UnknownCommand(app, argc, argv); !unknown.empty()) {
    std::fprintf(stderr, "quillgate: %s (run with --help for usage)\n", unknown.c_str());
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::RuntimeError& e) {
    return e.get_exit_code();  // a command's own answer, such as validate's "no"
  } catch (const CLI::ParseError& e) {
    // --help and --version end here too, with 0; everything else is a usage error.
    return app.exit(e) == 0 ? 0 : kExitUsage;
  } catch (const std::exception& e) {
    // Every failure is one line on standard error and a non-zero exit.
    std::fprintf(stderr, "quillgate: %s\n", e.what());
    return kExitFailure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return CheckStandardOutput(Run(argc, argv)); }
