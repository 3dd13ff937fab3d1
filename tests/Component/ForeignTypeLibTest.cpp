// A type library registered under the component's LIBID that describes other signatures
// (another build, a hand-edited file): calls that do not match the object are refused.
#include "Component/Identifiers.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/Runtime.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quillgate::component {
namespace {

using namespace quillgate::com;

constexpr std::string_view kForeignLibrary = R"(QUILLGATE TYPELIB 1
library TOVIKQUILLGATELib {5BE8E187-932B-45E9-9287-602BDAE7CAE0} 1.0 0 win32 'wrong'
interface [dual,oleautomation] ICaptcha {7483FD4E-09AD-4CCD-80A5-29AD5934E486} IDispatch 'wrong'
  propget Format 6 'wrong' ([out,retval] long* pVal)
  propput Format 6 'wrong' ([in] long newVal)
  method Validate 7 'wrong' ([out,retval] VARIANT_BOOL* Result)
  method GetHashValue 8 'wrong' ()
  method Extra 12 'not in the object' ([in] long x)
  propput GetValue 10 'wrong kind' ([in] BSTR x)
coclass Captcha {F33CEE78-2399-454A-8873-30020A58C3B3} 'wrong' ([default] ICaptcha)
)";

TEST(Dispatch, AForeignTypeLibraryCannotMisdirectCalls) {
  quillgate::testing::TempRegistry registry;
  // A copy of the library, so that it loads afresh and reads this registry's type library.
  const auto library = registry.Directory() / "libquillgate.so";
  std::filesystem::copy_file(QUILLGATE_MODULE_PATH, library);
  const auto tlb = registry.Directory() / "foreign.tlb";
  std::ofstream(tlb) << kForeignLibrary;
  registry.Write("QUILLGATE REGISTRY 1\n[CLSID\\" + GuidToString(CLSID_Captcha) +
                 "\\InprocServer32]\n@=\"" + library.string() + "\"\n[TypeLib\\" +
                 GuidToString(LIBID_TOVIKQUILLGATELib) + "\\1.0\\0\\win32]\n@=\"" + tlb.string() +
                 "\"\n");
  {
    ComPtr<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               object.OutVoid()),
              S_OK);
    VARIANT five;
    VariantInit(&five);
    five.vt = VT_I4;
    five.lVal = 5;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&five, &named, 1, 1};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const struct {
      DISPID id;
      WORD flags;
      DISPPARAMS* params;
      HRESULT expected;
    } calls[] = {
        {6, DISPATCH_PROPERTYPUT, &put, DISP_E_TYPEMISMATCH},  // a number read as a string
        {6, DISPATCH_PROPERTYGET, &none, DISP_E_TYPEMISMATCH},
        {7, DISPATCH_METHOD, &none, DISP_E_BADPARAMCOUNT},     // Validate without its inputs
        {8, DISPATCH_METHOD, &none, DISP_E_TYPEMISMATCH},      // no retval to write to
        {12, DISPATCH_METHOD, &put, DISP_E_MEMBERNOTFOUND},
        {10, DISPATCH_PROPERTYPUT, &put, DISP_E_MEMBERNOTFOUND},
    };
    for (const auto& call : calls) {
      Variant result;
      EXCEPINFO exception{};
      EXPECT_EQ(object->Invoke(call.id, IID_NULL, 0, call.flags, call.params,
                               call.flags == DISPATCH_PROPERTYPUT ? nullptr : result.Get(),
                               &exception, nullptr),
                call.expected)
          << "DISPID " << call.id;
    }
  }
  CoFreeUnusedLibraries();
}

}  // namespace
}  // namespace quillgate::component
