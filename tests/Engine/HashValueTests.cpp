#include "Engine/CaptchaEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace quillgate {
namespace {

const std::string kEmptySha512 =
    "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE"
    "47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E";
const std::string kAbcSha512 =
    "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A"
    "2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F";

TEST(Validate, AcceptsTheHashOfTheAnswerAndNoNearMiss) {
  EXPECT_TRUE(CaptchaEngine::Validate("abc", kAbcSha512));
  EXPECT_TRUE(CaptchaEngine::Validate("", kEmptySha512));
  std::string lower = kAbcSha512;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  EXPECT_FALSE(CaptchaEngine::Validate("abc", lower));
  EXPECT_FALSE(CaptchaEngine::Validate("ABC", kAbcSha512));           // letter case matters
  EXPECT_FALSE(CaptchaEngine::Validate("abc", kAbcSha512.substr(0, 127)));
  EXPECT_FALSE(CaptchaEngine::Validate("abc", kAbcSha512 + "0"));
  EXPECT_FALSE(CaptchaEngine::Validate("", ""));
  // Every character counts, the first as much as the last.
  for (const std::size_t at : {std::size_t{0}, kAbcSha512.size() - 1}) {
    std::string oneDiffers = kAbcSha512;
    oneDiffers[at] = '0';
    EXPECT_FALSE(CaptchaEngine::Validate("abc", oneDiffers)) << "character " << at;
  }
}

}  // namespace
}  // namespace quillgate
