// quillgate work solve: the native solver of the service's proof of work. It does what a
// bot with our source does, on one core, so an operator sizing a site's work sees what a
// puzzle costs a bot beside what it costs a person (tools/measure-work.sh), and tests and
// benchmarks have a reference that is not the server's own check.
#include "cli/Commands.h"

#include "Service/ProofOfWork.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace quillgate::cli {
namespace {

// A puzzle is a few hundred bytes; anything past this is not one.
constexpr std::size_t kMaxPuzzleBytes = 64 * 1024;

void Solve(bool showTime) {
  std::string text;
  text.reserve(4096);
  for (std::istreambuf_iterator<char> in(std::cin), end; in != end; ++in) {
    if (text.size() == kMaxPuzzleBytes) throw CLI::ValidationError("standard input is not a puzzle: over 64 KiB");
    text.push_back(*in);
  }
  const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
  if (value.is_discarded()) throw CLI::ValidationError("standard input is not JSON: give the body of /api/puzzle");
  service::PuzzleOffer offer;
  try {
    offer = service::OfferFromJson(value);
  } catch (const std::runtime_error& error) {
    throw CLI::ValidationError(error.what());
  }
  const auto started = std::chrono::steady_clock::now();
  const service::WorkDone done = service::SolvePuzzle(offer);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  const nlohmann::json pow = {{"puzzle", offer.text}, {"solution", done.answers}};
  std::printf("%s\n", pow.dump().c_str());
  if (showTime) std::fprintf(stderr, "%s\n", nlohmann::json{{"units", done.units}, {"ms", ms}}.dump().c_str());
}

}  // namespace

void AddWorkCommands(CLI::App& app) {
  CLI::App* work = app.add_subcommand("work", "Proof of work as the service asks it");
  work->require_subcommand(1);
  CLI::App* solve = work->add_subcommand(
      "solve",
      "Read a puzzle (the JSON that /api/puzzle gives) on standard input and print its solution, "
      "{\"puzzle\", \"solution\"}, ready to send as a challenge's \"pow\"");
  auto showTime = std::make_shared<bool>(false);
  solve->add_flag("--time", *showTime, "Also print {\"units\", \"ms\"} (units tried, time taken) on standard error");
  solve->callback([showTime] { Solve(*showTime); });
}

}  // namespace quillgate::cli
