#include "Engine/CaptchaEngine.h"

#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSourceTesting.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace quillgate {
namespace {

TEST(CaptchaEngineSettings, FreshEngineHoldsTheDefaults) {
  const CaptchaEngine engine;
  EXPECT_EQ(engine.Format(), "JPEG");
  EXPECT_EQ(engine.CodeLength(), 5);
  EXPECT_EQ(engine.ImageWidth(), 250);
  EXPECT_EQ(engine.ImageHeight(), 50);
  EXPECT_EQ(engine.CodeType(), 0);
  EXPECT_EQ(engine.TextStyle(), 31);
  EXPECT_EQ(engine.GetValue(), "");
}

TEST(CaptchaEngineSettings, HeightIsNeverBelowTen) {
  CaptchaEngine engine;
  for (const auto& [put, stored] : {std::pair{-5, 10}, {0, 10}, {9, 10}, {10, 10}, {11, 11}}) {
    engine.SetImageHeight(put);
    EXPECT_EQ(engine.ImageHeight(), stored) << "put " << put;
  }
}

TEST(CaptchaEngineSettings, OtherSettersStoreAnyValue) {
  CaptchaEngine engine;
  engine.SetImageWidth(-7);
  engine.SetCodeLength(-3);
  engine.SetCodeType(99);
  engine.SetTextStyle(1000);
  EXPECT_EQ(engine.ImageWidth(), -7);
  EXPECT_EQ(engine.CodeLength(), -3);
  EXPECT_EQ(engine.CodeType(), 99);
  EXPECT_EQ(engine.TextStyle(), 1000);
}

TEST(CaptchaEngineSettings, FormatIsUppercasedAndJpgMeansJpeg) {
  CaptchaEngine engine;
  const std::pair<const char*, const char*> cases[] = {
      {"Jpg", "JPEG"}, {"jpeg", "JPEG"}, {"gif", "GIF"}, {" png", " PNG"},
      {"xyz", "XYZ"},  {"jpg ", "JPG "}, {"t\xe9st", "T\xe9ST"}};
  for (const auto& [put, stored] : cases) {
    engine.SetFormat(put);
    EXPECT_EQ(engine.Format(), stored) << "put " << put;
  }
  const std::string longName(5000, 'p');
  engine.SetFormat(longName);
  EXPECT_EQ(engine.Format(), std::string(5000, 'P'));  // kept whole, not cut or overrun
}

TEST(CaptchaEngineCodes, CodesUseTheAlphabetOfTheirType) {
  CaptchaEngine engine;
  engine.SetCodeLength(400);
  const std::pair<int, std::string> alphabets[] = {
      {0, "2345689ABCDEFGHJKMNPQRSTUVWXYZ"},
      {1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {2, "0123456789"},
      {3, "2345689ABCDEFGHJKMNPQRSTUVWXYZ"},   // unknown types fall back to type 0
      {-1, "2345689ABCDEFGHJKMNPQRSTUVWXYZ"}};
  for (const auto& [type, alphabet] : alphabets) {
    engine.SetCodeType(type);
    const std::string code = engine.GenerateCode();
    ASSERT_EQ(code.size(), 400u);
    const std::set<char> seen(code.begin(), code.end());
    EXPECT_EQ(seen, std::set<char>(alphabet.begin(), alphabet.end())) << "type " << type;
  }
}

TEST(CaptchaEngineCodes, OneDrawPerCharacterInAlphabetOrder) {
  CaptchaEngine engine;
  testing::SetRandomState(1);  // RandomInt(30) then gives 0, 2, 18, 26, 29
  const auto before = testing::RandomDrawCount();
  EXPECT_EQ(engine.GenerateCode(), "24NWZ");
  EXPECT_EQ(testing::RandomDrawCount() - before, 5u);
}

TEST(CaptchaEngineCodes, ZeroOrNegativeLengthGivesAnEmptyCodeWithoutDrawing) {
  CaptchaEngine engine;
  for (const int length : {0, -3}) {
    engine.SetCodeLength(length);
    const auto before = testing::RandomDrawCount();
    EXPECT_EQ(engine.GenerateCode(), "");
    EXPECT_EQ(testing::RandomDrawCount(), before);
  }
}

TEST(CaptchaEngineCodes, SetCurrentCodeKeepsAGivenCodeAndReplacesAnEmptyOne) {
  CaptchaEngine engine;
  engine.SetCurrentCode("ab12");
  (void)engine.GenerateCode();  // generating alone does not change the current code
  EXPECT_EQ(engine.GetValue(), "ab12");
  engine.SetCurrentCode("");
  EXPECT_EQ(engine.GetValue().size(), 5u);
  EXPECT_NE(engine.GetValue(), "ab12");
}

TEST(CaptchaEngineSound, MakesTheSpokenCodeCurrent) {
  CaptchaEngine engine;
  ByteArray wave;
  engine.CreateSound("AB12", wave);
  EXPECT_EQ(engine.GetValue(), "AB12");
  EXPECT_GT(wave.length, 44);

  ByteArray random;
  engine.CreateSound("", random);
  EXPECT_EQ(engine.GetValue().size(), 5u);
  EXPECT_GT(random.length, 44);
}

TEST(CaptchaEngineSound, AFailedSoundLeavesItsCodeCurrentAndOutUntouched) {
  CaptchaEngine engine;
  ByteArray wave;
  try {
    engine.CreateSound("a b", wave);
    FAIL() << "a space cannot be spoken";
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Letter not found in lookup table !");
  }
  EXPECT_EQ(engine.GetValue(), "a b");
  EXPECT_EQ(wave.length, 0);
  EXPECT_FALSE(wave.buffer);
}

TEST(CaptchaEngineConcurrency, EachRequestSpeaksTheCodeItWasGiven) {
  // Requests on many threads: each WAV must be the one its own code gives alone, so no
  // request ever speaks a code that another thread made current in between.
  CaptchaEngine engine;
  const std::vector<std::string> codes = {"a", "bb", "w7", "z09", "x", "3m"};
  std::vector<std::vector<unsigned char>> expected;
  for (const auto& code : codes) {
    ByteArray wave;
    engine.CreateSound(code, wave);
    expected.emplace_back(wave.Bytes().begin(), wave.Bytes().end());
  }
  std::vector<std::thread> threads;
  std::vector<int> mismatches(codes.size(), 0);
  for (std::size_t t = 0; t < codes.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        ByteArray wave;
        engine.CreateSound(codes[t], wave);
        const std::vector<unsigned char> got(wave.Bytes().begin(), wave.Bytes().end());
        if (got != expected[t]) ++mismatches[t];
        ByteArray random;
        engine.CreateSound("", random);  // interleave requests that change the code
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t t = 0; t < codes.size(); ++t) EXPECT_EQ(mismatches[t], 0) << codes[t];
}

}  // namespace
}  // namespace quillgate
