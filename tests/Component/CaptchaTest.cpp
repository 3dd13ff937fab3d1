// The Captcha object over the shared engine: conversions, results and failures.
#include "tests/Component/CaptchaTestSupport.h"
#include "Engine/CaptchaEngine.h"
#include "Platform/Com/ErrorInfo.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <cstring>
#include <tuple>

namespace quillgate::component {
namespace {

using namespace quillgate::com;
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

TEST(Captcha, HeightIsRaisedToTen) {
  auto captcha = NewCaptcha();
  for (const auto& [put, read] : {std::pair{5, 10}, {10, 10}, {11, 11}, {-5, 10}}) {
    ASSERT_EQ(captcha->put_ImageHeight(put), S_OK);
    LONG height = 0;
    captcha->get_ImageHeight(&height);
    EXPECT_EQ(height, read) << put;
  }
}

// A null text is an empty one (the engine's own tests check how names are spelt).
TEST(Captcha, ANullFormatIsEmpty) {
  auto captcha = NewCaptcha();
  BString out;
  ASSERT_EQ(captcha->put_Format(nullptr), S_OK);
  ASSERT_EQ(captcha->get_Format(out.Out()), S_OK);
  EXPECT_EQ(out.View(), u"");
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
  EXPECT_EQ(source.Get(), nullptr);  // no ProgID registered (HostProcess sees it registered)
  EXPECT_EQ(guid, IID_ICaptcha);
}

TEST(Captcha, BytesArriveAsAOneDimensionalByteArray) {
  auto captcha = NewCaptcha();
  BString code(u"AB12");
  Variant wave;
  ASSERT_EQ(captcha->CreateSoundFromCode(code.Get(), wave.Get()), S_OK);
  ASSERT_EQ(wave->vt, 0x2011);
  SAFEARRAY* array = wave->parray;
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(SafeArrayGetDim(array), 1u);
  LONG low = -1, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  EXPECT_EQ(low, 0);
  ByteArray direct;
  CaptchaEngine::Instance().CreateSound("AB12", direct);
  EXPECT_EQ(high + 1, direct.length);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  EXPECT_EQ(std::memcmp(data, direct.buffer.get(), static_cast<std::size_t>(direct.length)), 0);
  SafeArrayUnaccessData(array);
  BString value;
  captcha->GetValue(value.Out());
  EXPECT_EQ(value.View(), u"AB12");
}

TEST(Captcha, ImageBytesAreTheEncodedImage) {
  auto captcha = NewCaptcha();
  BString png(u"png");
  captcha->put_Format(png.Get());
  Variant image;
  ASSERT_EQ(captcha->CreateImage(image.Get()), S_OK);
  ASSERT_EQ(image->vt, VT_ARRAY | VT_UI1);
  ASSERT_GE(image->parray->rgsabound[0].cElements, 8u);
  EXPECT_EQ(std::memcmp(image->parray->pvData, "\x89PNG\r\n\x1A\n", 8), 0);
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
  EXPECT_EQ(hash.View().size(), 128u);
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

TEST(Captcha, TextIsCutAtItsFirstNul) {
  auto captcha = NewCaptcha();
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
  ComPtr<ICaptcha> again;
  EXPECT_EQ(captcha.As(unknown), S_OK);
  EXPECT_EQ(captcha.As(dispatch), S_OK);
  EXPECT_EQ(captcha.As(again), S_OK);
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
