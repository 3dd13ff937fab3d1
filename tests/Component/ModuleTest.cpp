// The module's class object, its lock count and aggregation.
#include "tests/Component/CaptchaTestSupport.h"

#include <atomic>

namespace quillgate::component {
namespace {

using namespace quillgate::com;
using testing::Factory;
using testing::NewCaptcha;

TEST(ClassObject, OnlyForTheCaptchaClass) {
  void* out = reinterpret_cast<void*>(0x1);
  const CLSID other = *GuidFromString("{00000000-1111-2222-3333-444444444444}");
  EXPECT_EQ(DllGetClassObject(other, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_Captcha, IID_IClassFactory, nullptr), E_POINTER);
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
  EXPECT_EQ(Factory()->CreateInstance(&outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);

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
