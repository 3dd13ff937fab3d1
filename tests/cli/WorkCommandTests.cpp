// quillgate work solve: given what /api/puzzle sends, it prints the "pow" member that the
// server accepts; given anything else, a usage error that names what is wrong.
#include "tests/cli/CommandTest.h"

#include "Service/ProofOfWork.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

namespace {

using namespace quillgate::service;
using Result = quillgate::testing::CommandResult;
using WorkCli = quillgate::testing::CommandTest;

TEST_F(WorkCli, SolvesWhatTheServerOffersAndRefusesTheRest) {
  const KeyRing keys = KeyRing::Generate();
  Puzzle puzzle;
  puzzle.expiresMs = 4'000'000'000'000;
  puzzle.cost = UnitCostOf(WorkAlgorithm::Pbkdf2Sha256);
  puzzle.range = RangeFor(200);
  puzzle.siteKey = "shop";
  const PuzzleOffer offer = OfferPuzzle(keys, puzzle);
  std::ofstream(Work() / "puzzle.json") << ToJson(offer).dump();

  const Result solved = Script("$Q work solve --time < puzzle.json");
  ASSERT_EQ(solved.exitCode, 0) << solved.err;
  const nlohmann::json pow = nlohmann::json::parse(solved.out);
  EXPECT_EQ(pow["puzzle"], offer.text);
  const Puzzle opened = std::get<Puzzle>(OpenPuzzle(keys, offer.text, 2));
  EXPECT_TRUE(Solves(keys, opened, pow["solution"].get<WorkAnswers>()));
  const nlohmann::json timing = nlohmann::json::parse(solved.err);
  std::int64_t tried = kSearches;
  for (const auto& answer : pow["solution"]) tried += answer.get<std::int64_t>();
  EXPECT_EQ(timing["units"], tried);

  for (const auto& [input, says] : {std::pair{std::string("not json"), std::string("not JSON")},
                                    std::pair{std::string(R"({"units": 0})"), std::string("no \"puzzle\"")},
                                    std::pair{std::string(R"({"puzzle": "x", "algorithm": "md5"})"),
                                              std::string("algorithm")}}) {
    std::ofstream(Work() / "bad.json") << input;
    const Result refused = Script("$Q work solve < bad.json");
    EXPECT_EQ(refused.exitCode, 64) << input;
    EXPECT_NE(refused.err.find(says), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
  }
}

}  // namespace
