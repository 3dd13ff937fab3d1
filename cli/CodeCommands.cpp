// quillgate hash | validate | code
#include "cli/Commands.h"
#include "cli/HostText.h"

#include "Engine/CaptchaEngine.h"

#include <iostream>

namespace quillgate::cli {

void AddCodeCommands(CLI::App& app) {
  auto* hash = app.add_subcommand("hash", "Print the hash value of a code: uppercase hex SHA-512");
  auto text = std::make_shared<std::string>();
  hash->add_option("TEXT", *text, "The code to hash (may be empty)")->required()->check(Utf8Text());
  hash->callback([text] { std::cout << CaptchaEngine::ComputeHash(ComponentText(*text)) << '\n'; });

  auto* validate = app.add_subcommand(
      "validate", "Check an answer against a hash value: exit 0 on a match, 1 otherwise");
  auto answer = std::make_shared<std::string>();
  auto hashValue = std::make_shared<std::string>();
  validate->add_option("ANSWER", *answer, "The visitor's answer")->required()->check(Utf8Text());
  validate->add_option("HASH", *hashValue, "The hash value kept for the code")->required()->check(Utf8Text());
  validate->callback([answer, hashValue] {
    const bool match = CaptchaEngine::Validate(ComponentText(*answer), ComponentText(*hashValue));
    std::cout << (match ? "match" : "no match") << '\n';
    if (!match) throw CLI::RuntimeError(kExitNo);
  });

  auto* code = app.add_subcommand("code", "Print a new random code");
  auto length = std::make_shared<int>(5);
  auto type = std::make_shared<int>(0);
  code->add_option("--length", *length, "Number of characters, 1 to 1000")
      ->check(IntegerIn(1, kMaxCodeLength))
      ->capture_default_str();
  code->add_option("--type", *type,
                   "Alphabet: 0 digits and capitals without look-alikes, 1 capitals, 2 digits")
      ->check(IntegerIn(0, 2))
      ->capture_default_str();
  code->callback([length, type] {
    auto& engine = CaptchaEngine::Instance();
    engine.SetCodeLength(*length);
    engine.SetCodeType(*type);
    std::cout << engine.GenerateCode() << '\n';
  });
}

}  // namespace quillgate::cli
