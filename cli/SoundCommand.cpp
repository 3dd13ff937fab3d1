// quillgate sound: spells a code as a WAV file.
#include "cli/CaptchaClient.h"
#include "cli/Commands.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace quillgate::cli {

void AddSoundCommand(CLI::App& app) {
  auto* sound = app.add_subcommand("sound", "Spell a code aloud as a WAV file");
  auto code = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  sound->add_option("--code", *code,
                    "The code to speak, at most 1000 characters (default: a new random code)")
      ->check(CodeText(kMaxCodeLength));
  sound->add_option("-o,--output", *output, "The WAV file to write, or - for standard output")
      ->required();
  sound->callback([code, output] {
    CaptchaClient captcha;
    const std::vector<unsigned char> wave = captcha.CreateSound(*code);
    WriteOutput(*output, wave);
    // On standard output the WAV is the payload, so the report goes to standard error.
    std::fprintf(*output == "-" ? stderr : stdout, "Spoke code %s\n", captcha.Value().c_str());
  });
}

}  // namespace quillgate::cli
