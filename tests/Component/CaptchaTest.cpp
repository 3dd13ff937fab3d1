// The Captcha object over the shared engine: conversions, results and failures.
#include "tests/Component/CaptchaTestSupport.h"
#include "Engine/CaptchaEngine.h"
#include "Platform/Com/ErrorInfo.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <string>
#include <tuple>
#include <vector>

namespace quillgate::component {
namespace {

using namespace quillgate::com;
using testing::BytesOf;
using testing::NewCaptcha;

// Every object in the process shares the one engine: after each test its settings go back
// to the defaults, so that no test depends on what ran before it.
class DefaultSettingsAfterEachTest : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo& /*test*/) override {
    CaptchaEngine& engine = CaptchaEngine::Instance();
    engine.SetFormat("JPEG");
    engine.SetImageWidth(250);
    engine.SetImageHeight(50);
    engine.SetCodeLength(5);
    engine.SetCodeType(0);
    engine.SetTextStyle(31);
  }
};

[[maybe_unused]] const bool kDefaultsAfterEachTest = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new DefaultSettingsAfterEachTest);
  return true;
}();

TEST(Captcha, EveryObjectSharesTheEngine) {
  auto first = NewCaptcha();
  auto second = NewCaptcha();
  ASSERT_EQ(first->put_ImageWidth(300), S_OK);
  LONG width = 0;
  ASSERT_EQ(second->get_ImageWidth(&width), S_OK);
  EXPECT_EQ(width, 300);
  BString code(u"SHARED1");
  Variant wave;
  ASSERT_EQ(first->CreateSoundFromCode(code.Get(), wave.Get()), S_OK);
  BString value;
  ASSERT_EQ(second->GetValue(value.Out()), S_OK);
  EXPECT_EQ(value.View(), u"SHARED1");
}

TEST(Captcha, UnsupportedFormatFailsWithRichErrorAndLeavesTheResultAlone) {
  quillgate::testing::TempRegistry registry;  // unregistered: no source
  auto captcha = NewCaptcha();
  BString xyz(u"xyz");
  ASSERT_EQ(captcha->put_Format(xyz.Get()), S_OK);

  VARIANT result = testing::Argument(12345);
  EXPECT_EQ(captcha->CreateImage(&result), E_FAIL);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 12345);

  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Out()), S_OK);
  BString description, source;
  GUID guid{};
  info->GetDescription(description.Out());
  info->GetSource(source.Out());
  info->GetGUID(&guid);
  EXPECT_EQ(description.View(), u"This picture format is not supported !");
  EXPECT_EQ(source.Get(), nullptr);  // no ProgID registered (HostProcess, in tests/cli, has one)
  EXPECT_EQ(guid, IID_ICaptcha);
}

// What a script host reads with LBound, UBound and indexes from 0: the engine's bytes.
TEST(Captcha, SoundAndImageArriveAsOneDimensionalArraysOfTheEncodedBytes) {
  auto captcha = NewCaptcha();
  BString code(u"AB12");
  Variant wave;
  ASSERT_EQ(captcha->CreateSoundFromCode(code.Get(), wave.Get()), S_OK);
  ASSERT_EQ(wave->vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(SafeArrayGetDim(wave->parray), 1u);
  LONG low = -1;
  SafeArrayGetLBound(wave->parray, 1, &low);
  EXPECT_EQ(low, 0);
  ByteArray direct;
  CaptchaEngine::Instance().CreateSound("AB12", direct);
  const auto spoken = direct.Bytes();
  EXPECT_EQ(BytesOf(*wave.Get()), std::vector<unsigned char>(spoken.begin(), spoken.end()));

  BString png(u"png");
  captcha->put_Format(png.Get());
  Variant image;
  ASSERT_EQ(captcha->CreateImage(image.Get()), S_OK);
  const std::vector<unsigned char> bytes = BytesOf(*image.Get());
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()).substr(0, 8), "\x89PNG\r\n\x1A\n");
}

TEST(Captcha, ClassOnlyOperationsMakeTheirCodeCurrent) {
  auto captcha = NewCaptcha();
  Captcha* object = testing::AsClass(captcha.Get());
  Variant sound;
  ASSERT_EQ(object->CreateSound(sound.Get()), S_OK);
  BString first;
  captcha->GetValue(first.Out());
  EXPECT_EQ(first.View().size(), 5u);
  Variant again;
  ASSERT_EQ(captcha->CreateSoundFromCode(nullptr, again.Get()), S_OK);  // null: a new code
  BString code(u"Q7Z");
  Variant image;
  ASSERT_EQ(object->CreateImageFromCode(code.Get(), image.Get()), S_OK);
  BString value;
  captcha->GetValue(value.Out());
  EXPECT_EQ(value.View(), u"Q7Z");
}

TEST(Captcha, ValidateGivesAutomationBooleansAndTakesNullAsEmpty) {
  auto captcha = NewCaptcha();
  BString code(u"K3M9P"), lower(u"k3m9p"), empty(u"");
  Variant wave;
  ASSERT_EQ(captcha->CreateSoundFromCode(code.Get(), wave.Get()), S_OK);
  BString hash;
  ASSERT_EQ(captcha->GetHashValue(hash.Out()), S_OK);
  BString emptyHash(std::u16string(u"CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE"
                                   u"47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E"));
  const std::tuple<BSTR, BSTR, VARIANT_BOOL> cases[] = {
      {code.Get(), hash.Get(), -1}, {lower.Get(), hash.Get(), 0}, {nullptr, nullptr, 0},
      {nullptr, emptyHash.Get(), -1}, {empty.Get(), emptyHash.Get(), -1}};
  for (const auto& [answer, expectedHash, expected] : cases) {
    VARIANT_BOOL result = 1;
    ASSERT_EQ(captcha->Validate(answer, expectedHash, &result), S_OK);
    EXPECT_EQ(result, expected);
  }
}

// A null text is an empty one (the engine's own tests check how names are spelt).
TEST(Captcha, TextIsCutAtItsFirstNulAndANullTextIsEmpty) {
  auto captcha = NewCaptcha();
  BString format;
  ASSERT_EQ(captcha->put_Format(nullptr), S_OK);
  ASSERT_EQ(captcha->get_Format(format.Out()), S_OK);
  EXPECT_EQ(format.View(), u"");
  const char16_t withNul[] = {u'A', u'B', u'\0', u'C'};
  BSTR code = SysAllocStringLen(withNul, 4);
  Variant wave;
  ASSERT_EQ(captcha->CreateSoundFromCode(code, wave.Get()), S_OK);
  SysFreeString(code);
  BString value;
  captcha->GetValue(value.Out());
  EXPECT_EQ(value.View(), u"AB");
}

TEST(Captcha, NullOutPointersAreRefused) {
  auto captcha = NewCaptcha();
  BString text(u"x");
  EXPECT_EQ(captcha->get_ImageWidth(nullptr), E_POINTER);
  EXPECT_EQ(captcha->get_Format(nullptr), E_POINTER);
  EXPECT_EQ(captcha->Validate(text.Get(), text.Get(), nullptr), E_POINTER);
  EXPECT_EQ(captcha->GetHashValue(nullptr), E_POINTER);
  EXPECT_EQ(captcha->GetValue(nullptr), E_POINTER);
  EXPECT_EQ(captcha->CreateImage(nullptr), E_POINTER);
  EXPECT_EQ(captcha->CreateSoundFromCode(text.Get(), nullptr), E_POINTER);
  EXPECT_EQ(testing::AsClass(captcha.Get())->CreateSound(nullptr), E_POINTER);
}

TEST(Captcha, AnswersExactlyItsThreeInterfaces) {
  auto captcha = NewCaptcha();
  ComPtr<IUnknown> unknown;
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(captcha.As(unknown), S_OK);
  EXPECT_EQ(captcha.As(dispatch), S_OK);
  EXPECT_EQ(static_cast<void*>(dispatch.Get()), static_cast<void*>(captcha.Get()));
  ComPtr<IUnknown> unknownAgain;
  dispatch.As(unknownAgain);
  EXPECT_EQ(unknown.Get(), unknownAgain.Get());
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(captcha.As(factory), E_NOINTERFACE);
  EXPECT_FALSE(factory);
}

}  // namespace
}  // namespace quillgate::component
