// The shipped type library against the object: every name's DISPID, help string and place,
// the place of each member in ICaptcha's slot order, and Invoke reaching the member each
// DISPID names, with arguments of other types, or refusing the call. (Names resolve through
// the type library's own lookup, whose letter case is tests/Platform/Com's.)
#include "Component/CaptchaMembers.h"
#include "Component/Identifiers.h"
#include "Platform/Com/Bstr.h"
#include "Platform/Com/Runtime.h"
#include "Platform/Com/TypeLib.h"
#include "Platform/Com/Utf.h"
#include "Platform/Com/Variant.h"
#include "tests/Component/CaptchaTestSupport.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace quillgate::component {
namespace {

using namespace quillgate::com;
using testing::Argument;
using testing::NewCaptcha;
using testing::Put;

// The slot a virtual member occupies in its class's table (the Itanium C++ ABI stores a
// pointer to a virtual member as one plus its byte offset in the table).
template <typename Member>
std::size_t Slot(Member member) {
  struct Raw {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
  } raw;
  static_assert(sizeof(Member) == sizeof(Raw));
  std::memcpy(&raw, &member, sizeof raw);
  EXPECT_EQ(raw.pointer & 1, 1u) << "not a virtual member";
  return (raw.pointer - 1) / sizeof(void*);
}

TEST(ShippedTypeLibrary, MatchesTheInterfaceMemberForMember) {
  // In slot order; a property is a get then a put under one DISPID.
  const struct {
    const char16_t* name;
    MEMBERID dispid;
    std::vector<std::size_t> slots;
  } members[] = {
      {u"ImageWidth", 1, {Slot(&ICaptcha::get_ImageWidth), Slot(&ICaptcha::put_ImageWidth)}},
      {u"ImageHeight", 2, {Slot(&ICaptcha::get_ImageHeight), Slot(&ICaptcha::put_ImageHeight)}},
      {u"CodeLength", 3, {Slot(&ICaptcha::get_CodeLength), Slot(&ICaptcha::put_CodeLength)}},
      {u"TextStyle", 4, {Slot(&ICaptcha::get_TextStyle), Slot(&ICaptcha::put_TextStyle)}},
      {u"CodeType", 5, {Slot(&ICaptcha::get_CodeType), Slot(&ICaptcha::put_CodeType)}},
      {u"Format", 6, {Slot(&ICaptcha::get_Format), Slot(&ICaptcha::put_Format)}},
      {u"Validate", 7, {Slot(&ICaptcha::Validate)}},
      {u"GetHashValue", 8, {Slot(&ICaptcha::GetHashValue)}},
      {u"CreateImage", 9, {Slot(&ICaptcha::CreateImage)}},
      {u"GetValue", 10, {Slot(&ICaptcha::GetValue)}},
      {u"CreateSoundFromCode", 11, {Slot(&ICaptcha::CreateSoundFromCode)}},
  };
  // (IUnknown's three and IDispatch's four come first: the library's first offset is 7.)
  ComPtr<ITypeLib> lib;
  const std::u16string module = Utf8ToUtf16(QUILLGATE_MODULE_PATH);
  ASSERT_EQ(LoadTypeLib(module.c_str(), lib.Out()), S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ICaptcha, info.Out()), S_OK);
  UINT i = 0;
  for (const auto& member : members) {
    const bool property = member.slots.size() == 2;
    const std::u16string help = std::u16string(property ? u"property " : u"method ") + member.name;
    for (const std::size_t slot : member.slots) {
      SCOPED_TRACE(i);
      const INVOKEKIND kind = !property ? INVOKE_FUNC
                              : slot == member.slots.front() ? INVOKE_PROPERTYGET
                                                             : INVOKE_PROPERTYPUT;
      const FuncDesc* func = nullptr;
      ASSERT_EQ(info->GetFuncDesc(i++, &func), S_OK);
      EXPECT_EQ(func->name, member.name);
      EXPECT_EQ(func->invkind, kind);
      EXPECT_EQ(func->memid, member.dispid);
      EXPECT_EQ(func->helpString, help);
      EXPECT_EQ(static_cast<std::size_t>(func->oVft), slot);
      // The object's compiled-in description, as many members, takes each one as it is.
      EXPECT_EQ(CheckCaptchaMember(*func), S_OK);
    }
  }
  // And nothing more, in the library or in the object's description.
  const FuncDesc* extra = nullptr;
  EXPECT_EQ(info->GetFuncDesc(i, &extra), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(CaptchaMembers().size(), i);
}

TEST(ShippedTypeLibrary, EachDispidReachesItsOwnProperty) {
  auto captcha = NewCaptcha();
  ComPtr<IDispatch> object;
  captcha.As(object);
  using Getter = HRESULT (ICaptcha::*)(LONG*);
  using Putter = HRESULT (ICaptcha::*)(LONG);
  const struct {
    DISPID id;
    Getter get;
    Putter put;
    LONG value;
  } properties[] = {
      {1, &ICaptcha::get_ImageWidth, &ICaptcha::put_ImageWidth, 311},
      {2, &ICaptcha::get_ImageHeight, &ICaptcha::put_ImageHeight, 77},
      {3, &ICaptcha::get_CodeLength, &ICaptcha::put_CodeLength, 9},
      {4, &ICaptcha::get_TextStyle, &ICaptcha::put_TextStyle, 13},
      {5, &ICaptcha::get_CodeType, &ICaptcha::put_CodeType, 2},
  };
  // Every property a different value: a DISPID routed to another member reads another value.
  for (const auto& property : properties) (captcha.Get()->*property.put)(property.value);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  for (const auto& property : properties) {
    Variant result;
    EXPECT_EQ(object->Invoke(property.id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Get(),
                             nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result->vt, VT_I4);
    EXPECT_EQ(result->lVal, property.value) << "DISPID " << property.id;
    EXPECT_EQ(Put(object.Get(), property.id, Argument(property.value + 1)), S_OK);
  }
  for (const auto& property : properties) {
    LONG value = 0;
    (captcha.Get()->*property.get)(&value);
    EXPECT_EQ(value, property.value + 1) << "DISPID " << property.id;
  }
}

// Arguments are coerced to the declared types (text for numbers is the host-process test's:
// automate passes every argument as text); what cannot be is refused with dispatch errors.
TEST(Dispatch, ArgumentsAreCoercedToTheDeclaredTypesOrTheCallRefused) {
  ComPtr<IDispatch> object;
  NewCaptcha().As(object);
  // Validate(7 as text, 8 as number): both reach the member as text.
  BString seven(u"7");
  VARIANT args[] = {Argument(8), Argument(seven.Get())};
  DISPPARAMS two{args, nullptr, 2, 0};
  Variant result;
  ASSERT_EQ(object->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &two, result.Get(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result->vt, VT_BOOL);
  EXPECT_EQ(result->boolVal, VARIANT_FALSE);

  BString word(u"wide");
  UINT argErr = 99;
  EXPECT_EQ(Put(object.Get(), 1, Argument(word.Get()), &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);
  VARIANT value = Argument(word.Get());
  DISPPARAMS one{&value, nullptr, 1, 0};
  EXPECT_EQ(object->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &one, result.Get(), nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  // GetValue is a method: it cannot be put. (An unknown DISPID ends in the same search.)
  EXPECT_EQ(Put(object.Get(), 10, value), DISP_E_MEMBERNOTFOUND);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(object->Invoke(10, IID_IDispatch, 0, DISPATCH_METHOD, &none, result.Get(), nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

// A type library registered under the component's LIBID that describes other signatures
// (another build, a hand-edited file): calls that do not match the object are refused.
constexpr std::string_view kForeignLibrary = R"(QUILLGATE TYPELIB 1
library TOVIKQUILLGATELib {5BE8E187-932B-45E9-9287-602BDAE7CAE0} 1.0 0 win32 'wrong'
interface [dual,oleautomation] ICaptcha {7483FD4E-09AD-4CCD-80A5-29AD5934E486} IDispatch 'wrong'
  propget Format 6 'wrong' ([out,retval] long* pVal)
  propput Format 6 'wrong' ([in] long newVal)
  method Validate 7 'wrong' ([out,retval] VARIANT_BOOL* Result)
  method GetHashValue 8 'wrong' ()
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
    VARIANT five = Argument(5);
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
        {10, DISPATCH_PROPERTYPUT, &put, DISP_E_MEMBERNOTFOUND},  // a method described as a put
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
