// quillgate: makes CAPTCHA codes, images and spoken codes from the command line, and checks
// answers against hash values.
#include "cli/Commands.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
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
