// quillgate sound: spells a code as a WAV file.
#include "cli/Commands.h"
#include "cli/HostText.h"

#include "CommonUtilities/StringConversion.h"
#include "Engine/CaptchaEngine.h"

#include <cstdio>

namespace quillgate::cli {

void AddSoundCommand(CLI::App& app) {
  auto* sound = app.add_subcommand("sound", "Spell a code aloud as a WAV file");
  auto code = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  sound->add_option("--code", *code, "The code to speak (default: a new random code)");
  sound->add_option("-o,--output", *output, "The WAV file to write, or - for standard output")
      ->required();
  sound->callback([code, output] {
    auto& engine = CaptchaEngine::Instance();
    ByteArray wave;
    engine.CreateSound(ComponentText(*code), wave);
    WriteOutput(*output, wave.Bytes());
    // On standard output the WAV is the payload, so the report goes to standard error.
    std::fprintf(*output == "-" ? stderr : stdout, "Spoke code %s\n",
                 WideToUtf8(AnsiToWide(engine.GetValue())).c_str());
  });
}

}  // namespace quillgate::cli
