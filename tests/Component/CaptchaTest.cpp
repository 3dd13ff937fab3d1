// The Captcha object over the shared engine: conversions, results and failures; and the
// module's class object that makes it, with its lock count and aggregation.
#include "tests/Component/CaptchaTestSupport.h"
#include "Engine/CaptchaEngine.h"
#include "Platform/Com/ErrorInfo.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <atomic>
#include <string>
#include <tuple>

namespace quillgate::component {
namespace {

using namespace quillgate::com;
using testing::Factory;
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

TEST(Captcha, UnsupportedFormatFailsWithRichErrorAndLeavesTheResultAlone) {
  quillgate::testing::TempRegistry registry;  // unregistered: no source
  auto captcha = NewCaptcha();
  BString xyz(u"xyz");
  ASSERT_EQ(captcha->put_Format(xyz.Get()), S_OK);

  VARIANT result = testing::Argument(12345);
  EXPECT_EQ(captcha->CreateImage(&result), E_FAIL);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 12345);

  // The description reaches a script host: HostProcess, in tests/cli, reads it back, with the
  // registered ProgID as its source.
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Out()), S_OK);
  BString source;
  GUID guid{};
  info->GetSource(source.Out());
  info->GetGUID(&guid);
  EXPECT_EQ(source.Get(), nullptr);  // no ProgID registered
  EXPECT_EQ(guid, IID_ICaptcha);
}

// What a script host reads with LBound, UBound and indexes from 0. (An image takes the same
// path; the host-process test fetches one. That the bytes are the engine's is the C API's
// test: the command's sound, which arrives in this array, against the library's.)
TEST(Captcha, SoundsArriveAsOneDimensionalByteArraysIndexedFromZero) {
  auto captcha = NewCaptcha();
  BString code(u"AB12");
  Variant wave;
  ASSERT_EQ(captcha->CreateSoundFromCode(code.Get(), wave.Get()), S_OK);
  ASSERT_EQ(wave->vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(SafeArrayGetDim(wave->parray), 1u);
  LONG low = -1;
  SafeArrayGetLBound(wave->parray, 1, &low);
  EXPECT_EQ(low, 0);
}

// Every object in the process shares the one engine, so another object reads the code too.
// (The sound of a new code reporting the code it spoke is the command's test: its sound
// command makes one through CreateSound and reports GetValue.)
TEST(Captcha, ClassOnlyOperationsMakeTheirCodeCurrentForEveryObject) {
  auto captcha = NewCaptcha();
  BString code(u"Q7Z");
  Variant image;
  ASSERT_EQ(testing::AsClass(captcha.Get())->CreateImageFromCode(code.Get(), image.Get()), S_OK);
  BString value;
  NewCaptcha()->GetValue(value.Out());
  EXPECT_EQ(value.View(), u"Q7Z");
}

// Every text argument takes one conversion, WideToAnsi: a null text is empty, as here, and
// a text ends at its first NUL (tests/CommonUtilities checks that conversion).
TEST(Captcha, ValidateGivesAutomationBooleansAndTakesNullAsEmpty) {
  auto captcha = NewCaptcha();
  BString code(u"K3M9P");
  Variant wave;
  ASSERT_EQ(captcha->CreateSoundFromCode(code.Get(), wave.Get()), S_OK);
  BString hash;
  ASSERT_EQ(captcha->GetHashValue(hash.Out()), S_OK);
  BString emptyHash(std::u16string(u"CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE"
                                   u"47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E"));
  const std::tuple<BSTR, BSTR, VARIANT_BOOL> cases[] = {
      {code.Get(), hash.Get(), -1}, {nullptr, nullptr, 0}, {nullptr, emptyHash.Get(), -1}};
  for (const auto& [answer, expectedHash, expected] : cases) {
    VARIANT_BOOL result = 1;
    ASSERT_EQ(captcha->Validate(answer, expectedHash, &result), S_OK);
    EXPECT_EQ(result, expected);
  }
}

TEST(Captcha, NullOutPointersAreRefused) {
  auto captcha = NewCaptcha();
  BString text(u"x");
  EXPECT_EQ(captcha->get_ImageWidth(nullptr), E_POINTER);
  EXPECT_EQ(captcha->get_Format(nullptr), E_POINTER);
  EXPECT_EQ(captcha->Validate(text.Get(), text.Get(), nullptr), E_POINTER);
  EXPECT_EQ(captcha->GetHashValue(nullptr), E_POINTER);
  EXPECT_EQ(captcha->GetValue(nullptr), E_POINTER);
  EXPECT_EQ(captcha->CreateImage(nullptr), E_POINTER);  // the frame of every image and sound
}

// ---- the module's class object, its lock count and aggregation --------------------------

TEST(ClassObject, OnlyForTheCaptchaClass) {
  void* out = reinterpret_cast<void*>(0x1);
  const CLSID other = *GuidFromString("{00000000-1111-2222-3333-444444444444}");
  EXPECT_EQ(DllGetClassObject(other, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_Captcha, IID_IClassFactory, nullptr), E_POINTER);
  out = reinterpret_cast<void*>(0x1);  // so that the refusal must clear it again
  EXPECT_EQ(DllGetClassObject(CLSID_Captcha, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

TEST(ClassObject, UnloadingWaitsForObjectsAndLocks) {
  ASSERT_EQ(DllCanUnloadNow(), S_OK);
  {
    auto captcha = NewCaptcha();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    auto second = NewCaptcha();
    second.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  auto factory = Factory();
  factory->LockServer(1);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory->LockServer(0);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  // An object that refuses the interface asked for is destroyed at once.
  void* out = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// A minimal outer object that counts the references its inner object passes on.
struct CountingOuter final : IUnknown {
  std::atomic<ULONG> references{1};
  IUnknown* inner = nullptr;
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (riid == IID_IUnknown) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, ppv);  // delegate to the aggregated object
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
};

TEST(Aggregation, OnlyTheInnerUnknownMayBeAskedFor) {
  CountingOuter outer;
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(Factory()->CreateInstance(&outer, IID_ICaptcha, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);

  ASSERT_EQ(Factory()->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);

  // Interfaces of the inner object count on the outer one and answer for its identity.
  ICaptcha* captcha = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_ICaptcha, reinterpret_cast<void**>(&captcha)), S_OK);
  EXPECT_EQ(outer.references.load(), 2u);
  IUnknown* identity = nullptr;
  ASSERT_EQ(captcha->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, &outer);
  EXPECT_EQ(outer.references.load(), 3u);
  identity->Release();
  LONG width = 0;
  EXPECT_EQ(captcha->get_ImageWidth(&width), S_OK);
  captcha->Release();
  EXPECT_EQ(outer.references.load(), 1u);

  EXPECT_EQ(outer.inner->Release(), 0u);  // the outer object's reference was the only one
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace quillgate::component
