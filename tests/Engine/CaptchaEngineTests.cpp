#include "Engine/CaptchaEngine.h"

#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "CommonUtilities/SecureRandom.h"

#include "../Platform/Graphics/ImageDecoders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <future>
#include <map>
#include <set>
#include <thread>
#include <vector>

namespace quillgate {
namespace {

TEST(CaptchaEngineSettings, HeightIsNeverBelowTen) {
  CaptchaEngine engine;
  for (const auto& [put, stored] : {std::pair{-5, 10}, {9, 10}, {10, 10}, {11, 11}}) {
    engine.SetImageHeight(put);
    EXPECT_EQ(engine.ImageHeight(), stored) << "put " << put;
  }
}

TEST(CaptchaEngineSettings, FormatIsUppercasedAndJpgMeansJpeg) {
  CaptchaEngine engine;
  const std::pair<const char*, const char*> cases[] = {
      {"Jpg", "JPEG"}, {" png", " PNG"}, {"jpg ", "JPG "}, {"t\xe9st", "T\xe9ST"}};
  for (const auto& [put, stored] : cases) {
    engine.SetFormat(put);
    EXPECT_EQ(engine.Format(), stored) << "put " << put;
  }
}

TEST(CaptchaEngineCodes, CodesUseTheAlphabetOfTheirType) {
  CaptchaEngine engine;
  engine.SetCodeLength(400);
  const std::pair<int, std::string> alphabets[] = {
      {0, "2345689ABCDEFGHJKMNPQRSTUVWXYZ"},
      {1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {2, "0123456789"},
      {3, "2345689ABCDEFGHJKMNPQRSTUVWXYZ"}};  // unknown types fall back to type 0
  for (const auto& [type, alphabet] : alphabets) {
    engine.SetCodeType(type);
    const std::string code = engine.GenerateCode();
    ASSERT_EQ(code.size(), 400u);
    const std::set<char> seen(code.begin(), code.end());
    EXPECT_EQ(seen, std::set<char>(alphabet.begin(), alphabet.end())) << "type " << type;
  }
  // A length of zero or less gives an empty code, never a failure.
  for (const int length : {0, -3}) {
    engine.SetCodeLength(length);
    EXPECT_EQ(engine.GenerateCode(), "");
  }
}

TEST(CaptchaEngineCodes, TheDrawingsRandomStateNeitherFixesNorFeedsTheCode) {
  // Codes come from the operating system's generator: replaying the drawing's state gives
  // new codes, and making a code takes nothing from the drawing's stream.
  CaptchaEngine engine;
  engine.SetCodeLength(12);
  std::set<std::string> codes;
  for (int i = 0; i < 20; ++i) {
    testing::SetRandomState(1);
    const auto before = testing::RandomDrawCount();
    codes.insert(engine.GenerateCode());
    EXPECT_EQ(testing::RandomDrawCount(), before);
    EXPECT_EQ(testing::RandomState(), 1);
  }
  EXPECT_EQ(codes.size(), 20u);
}

TEST(CaptchaEngineCodes, CharactersAreUniformOverTheAlphabet) {
  // Chi-square over 60,000 characters of each alphabet. The bounds are far in the tail (a
  // sound generator exceeds them less than once in a million runs), yet a generator that
  // favours some positions by an eighth, as a random byte taken modulo 30 does, lands in
  // the hundreds.
  // Every type draws through the same path; the default alphabet of 30 is the one a byte
  // taken modulo its size would bias.
  CaptchaEngine engine;
  engine.SetCodeLength(1000);
  std::map<char, int> counts;
  for (int i = 0; i < 60; ++i) {
    for (const char c : engine.GenerateCode()) ++counts[c];
  }
  ASSERT_EQ(counts.size(), 30u);
  const double expected = 60000.0 / 30;
  double chiSquare = 0;
  for (const auto& [c, count] : counts) {
    chiSquare += (count - expected) * (count - expected) / expected;
  }
  EXPECT_LT(chiSquare, 85.0) << "29 degrees of freedom";
}

TEST(UniformBelowTest, RejectsTheWordsThatWouldBiasTheResult) {
  // 2^32 mod 30 = 16: the words 0..15 would make positions 0..15 a little likelier, so they
  // are thrown away and the next word is used; every word from 16 on is taken as it is.
  const std::vector<std::uint32_t> words = {0, 15, 16, 4294967295u};
  std::size_t next = 0;
  const auto source = [&] { return words.at(next++); };
  EXPECT_EQ(UniformBelow(30, source), 16u);
  EXPECT_EQ(next, 3u);
  EXPECT_EQ(UniformBelow(30, source), 4294967295u % 30);
  next = 0;
  EXPECT_EQ(UniformBelow(32, source), 0u) << "a power of two rejects nothing";
  EXPECT_EQ(next, 1u);
  EXPECT_EQ(UniformBelow(1, source), 0u);
  EXPECT_EQ(UniformBelow(0, source), 0u);
  EXPECT_EQ(next, 1u) << "nothing drawn for n of 0 or 1";
}

TEST(CaptchaEngineSound, MakesTheSpokenCodeCurrentEvenWhenItFails) {
  // The sound's failures and bytes are the sound generator's tests; a sound of a given or a
  // new code making it current, the component's.
  CaptchaEngine engine;
  ByteArray wave;
  EXPECT_THROW(engine.CreateSound("a b", wave), EngineError) << "a space cannot be spoken";
  EXPECT_EQ(engine.GetValue(), "a b");
}

TEST(CaptchaEngineConcurrency, EachRequestSpeaksTheCodeItWasGiven) {
  // Requests on many threads: each WAV must be the one its own code gives alone, so no
  // request ever speaks a code that another thread made current in between.
  CaptchaEngine engine;
  const auto spoken = [&engine](const std::string& code) {
    ByteArray wave;
    engine.CreateSound(code, wave);
    return std::vector<unsigned char>(wave.Bytes().begin(), wave.Bytes().end());
  };
  const std::vector<std::string> codes = {"a", "bb", "w7", "z09", "x", "3m"};
  std::vector<std::vector<unsigned char>> expected;
  for (const auto& code : codes) expected.push_back(spoken(code));
  std::vector<std::thread> threads;
  std::vector<int> mismatches(codes.size(), 0);
  for (std::size_t t = 0; t < codes.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        if (spoken(codes[t]) != expected[t]) ++mismatches[t];
        (void)spoken("");  // interleave requests that change the code
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t t = 0; t < codes.size(); ++t) EXPECT_EQ(mismatches[t], 0) << codes[t];
}

TEST(CaptchaEngineConcurrency, TheEngineAnswersWhileAnImageIsDrawn) {
  // An image request is held just before drawing; meanwhile another thread reads and
  // changes the settings and makes a sound. Were the lock held for the whole image, the
  // first of these calls would wait for the hold, which ends only through its safety
  // timeout, and the test fails.
  CaptchaEngine engine;
  engine.SetFormat("PNG");
  std::promise<void> drawing;
  std::promise<void> release;
  bool timedOut = false;
  engine.SetBeforeDrawHookForTesting([&, released = release.get_future().share()] {
    drawing.set_value();
    timedOut = released.wait_for(std::chrono::seconds(60)) == std::future_status::timeout;
  });
  ByteArray held;
  std::thread request([&] { engine.CreateImage("HELD", held); });
  drawing.get_future().wait();
  EXPECT_EQ(engine.GetValue(), "HELD") << "the code is current before it is drawn";
  EXPECT_EQ(engine.ImageWidth(), 250);
  engine.SetImageWidth(300);
  engine.SetFormat("xyz");
  ByteArray wave;
  engine.CreateSound("AB", wave);
  EXPECT_EQ(engine.GetValue(), "AB");
  release.set_value();
  request.join();
  EXPECT_FALSE(timedOut);
  // The held request drew from the settings it started with, not the ones changed meanwhile.
  const auto image = graphics::testing::DecodePng(held.Bytes());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 250);
}

const std::string kAbcSha512 =
    "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A"
    "2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F";

// (An empty answer against the hash of the empty text, or against an empty hash, is the
// component's Validate test, which passes null texts.)
TEST(Validate, AcceptsTheHashOfTheAnswerAndNoNearMiss) {
  EXPECT_TRUE(CaptchaEngine::Validate("abc", kAbcSha512));
  std::string lower = kAbcSha512;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  EXPECT_FALSE(CaptchaEngine::Validate("abc", lower));
  EXPECT_FALSE(CaptchaEngine::Validate("ABC", kAbcSha512));           // letter case matters
  EXPECT_FALSE(CaptchaEngine::Validate("abc", kAbcSha512.substr(0, 127)));
  EXPECT_FALSE(CaptchaEngine::Validate("abc", kAbcSha512 + "0"));
  // Every character counts, the first as much as the last.
  for (const std::size_t at : {std::size_t{0}, kAbcSha512.size() - 1}) {
    std::string oneDiffers = kAbcSha512;
    oneDiffers[at] = '0';
    EXPECT_FALSE(CaptchaEngine::Validate("abc", oneDiffers)) << "character " << at;
  }
}

}  // namespace
}  // namespace quillgate
