// The module's class object, its lock count, aggregation, and IDispatch by name.
#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/Object.h"
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
  // The factory is made once and cached.
  EXPECT_EQ(Factory().Get(), Factory().Get());
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

// ---- IDispatch ----------------------------------------------------------------------------

DISPID IdOf(IDispatch* object, std::u16string name) {
  LPOLESTR names[] = {name.data()};
  DISPID id = 0;
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << "name lookup";
  return id;
}

HRESULT Put(IDispatch* object, DISPID id, VARIANT value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &named, 1, 1};
  return object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

TEST(Dispatch, NamesResolveWithoutRegardToCaseAndClassOnlyOnesDoNot) {
  ComPtr<IDispatch> object;
  NewCaptcha().As(object);
  EXPECT_EQ(IdOf(object.Get(), u"imagewidth"), 1);
  EXPECT_EQ(IdOf(object.Get(), u"CREATESOUNDFROMCODE"), 11);
  for (std::u16string name : {u"CreateSound", u"CreateImageFromCode", u"Bogus"}) {
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
  }
  UINT count = 0;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
}

TEST(Dispatch, ArgumentsAreCoercedToTheDeclaredTypes) {
  ComPtr<IDispatch> object;
  NewCaptcha().As(object);
  BString text(u"  321 ");
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = text.Get();
  ASSERT_EQ(Put(object.Get(), 1, value), S_OK);

  Variant result;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(object->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none,
                           result.Get(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result->vt, VT_I4);
  EXPECT_EQ(result->lVal, 321);

  VARIANT number;
  VariantInit(&number);
  number.vt = VT_R8;
  number.dblVal = 2.5;
  ASSERT_EQ(Put(object.Get(), 3, number), S_OK);  // 2.5 rounds to even
  LONG length = 0;
  ComPtr<ICaptcha> captcha;
  object.As(captcha);
  captcha->get_CodeLength(&length);
  EXPECT_EQ(length, 2);
  captcha->put_CodeLength(5);

  // Validate(7 as text, 8 as number): both reach the member as text.
  VARIANT args[2];
  VariantInit(&args[0]);
  args[0].vt = VT_I4;
  args[0].lVal = 8;
  BString seven(u"7");
  VariantInit(&args[1]);
  args[1].vt = VT_BSTR;
  args[1].bstrVal = seven.Get();
  DISPPARAMS two{args, nullptr, 2, 0};
  Variant verdict;
  ASSERT_EQ(object->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &two, verdict.Get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(verdict->vt, VT_BOOL);
  EXPECT_EQ(verdict->boolVal, VARIANT_FALSE);
}

TEST(Dispatch, WrongCallsGiveDispatchErrors) {
  ComPtr<IDispatch> object;
  NewCaptcha().As(object);
  BString word(u"wide");
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = word.Get();
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put{&value, &named, 1, 1};
  UINT argErr = 99;
  EXPECT_EQ(object->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);

  DISPPARAMS one{&value, nullptr, 1, 0};
  Variant result;
  EXPECT_EQ(object->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &one, result.Get(), nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(object->Invoke(42, IID_NULL, 0, DISPATCH_METHOD, &none, result.Get(), nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  // GetValue is a method: it cannot be put.
  EXPECT_EQ(object->Invoke(10, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(object->Invoke(10, IID_IDispatch, 0, DISPATCH_METHOD, &none, result.Get(), nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

TEST(Dispatch, AFailingCallFillsTheExceptionFromTheErrorInformation) {
  ComPtr<IDispatch> object;
  NewCaptcha().As(object);
  BString xyz(u"xyz");
  VARIANT format;
  VariantInit(&format);
  format.vt = VT_BSTR;
  format.bstrVal = xyz.Get();
  ASSERT_EQ(Put(object.Get(), 6, format), S_OK);

  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Variant result;
  EXCEPINFO exception{};
  EXPECT_EQ(object->Invoke(9, IID_NULL, 0, DISPATCH_METHOD, &none, result.Get(), &exception, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, E_FAIL);
  EXPECT_EQ(BstrView(exception.bstrDescription), u"This picture format is not supported !");
  EXPECT_EQ(result->vt, VT_EMPTY);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrHelpFile);

  BString jpeg(u"JPEG");
  format.bstrVal = jpeg.Get();
  Put(object.Get(), 6, format);
}

}  // namespace
}  // namespace quillgate::component
