// The shipped type library against the object: every name's DISPID, help string and place,
// the place of each member in ICaptcha's slot order, and Invoke reaching the member each
// DISPID names.
#include "Component/CaptchaMembers.h"
#include "Component/Identifiers.h"
#include "Platform/Com/Bstr.h"
#include "Platform/Com/TypeLib.h"
#include "Platform/Com/Utf.h"
#include "Platform/Com/Variant.h"
#include "tests/Component/CaptchaTestSupport.h"

#include <cstdint>
#include <cstring>

namespace quillgate::component {
namespace {

using namespace quillgate::com;
using testing::NewCaptcha;

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

struct Expected {
  const char16_t* name;
  INVOKEKIND kind;
  MEMBERID dispid;
  const char16_t* help;
  std::size_t slot;
};

TEST(ShippedTypeLibrary, MatchesTheInterfaceMemberForMember) {
  const Expected members[] = {
      {u"ImageWidth", INVOKE_PROPERTYGET, 1, u"property ImageWidth", Slot(&ICaptcha::get_ImageWidth)},
      {u"ImageWidth", INVOKE_PROPERTYPUT, 1, u"property ImageWidth", Slot(&ICaptcha::put_ImageWidth)},
      {u"ImageHeight", INVOKE_PROPERTYGET, 2, u"property ImageHeight", Slot(&ICaptcha::get_ImageHeight)},
      {u"ImageHeight", INVOKE_PROPERTYPUT, 2, u"property ImageHeight", Slot(&ICaptcha::put_ImageHeight)},
      {u"CodeLength", INVOKE_PROPERTYGET, 3, u"property CodeLength", Slot(&ICaptcha::get_CodeLength)},
      {u"CodeLength", INVOKE_PROPERTYPUT, 3, u"property CodeLength", Slot(&ICaptcha::put_CodeLength)},
      {u"TextStyle", INVOKE_PROPERTYGET, 4, u"property TextStyle", Slot(&ICaptcha::get_TextStyle)},
      {u"TextStyle", INVOKE_PROPERTYPUT, 4, u"property TextStyle", Slot(&ICaptcha::put_TextStyle)},
      {u"CodeType", INVOKE_PROPERTYGET, 5, u"property CodeType", Slot(&ICaptcha::get_CodeType)},
      {u"CodeType", INVOKE_PROPERTYPUT, 5, u"property CodeType", Slot(&ICaptcha::put_CodeType)},
      {u"Format", INVOKE_PROPERTYGET, 6, u"property Format", Slot(&ICaptcha::get_Format)},
      {u"Format", INVOKE_PROPERTYPUT, 6, u"property Format", Slot(&ICaptcha::put_Format)},
      {u"Validate", INVOKE_FUNC, 7, u"method Validate", Slot(&ICaptcha::Validate)},
      {u"GetHashValue", INVOKE_FUNC, 8, u"method GetHashValue", Slot(&ICaptcha::GetHashValue)},
      {u"CreateImage", INVOKE_FUNC, 9, u"method CreateImage", Slot(&ICaptcha::CreateImage)},
      {u"GetValue", INVOKE_FUNC, 10, u"method GetValue", Slot(&ICaptcha::GetValue)},
      {u"CreateSoundFromCode", INVOKE_FUNC, 11, u"method CreateSoundFromCode",
       Slot(&ICaptcha::CreateSoundFromCode)},
  };
  // IUnknown's three and IDispatch's four come first; the class's own two follow ICaptcha's.
  EXPECT_EQ(Slot(&ICaptcha::get_ImageWidth), 7u);
  EXPECT_EQ(Slot(&Captcha::CreateImageFromCode), 24u);
  EXPECT_EQ(Slot(&Captcha::CreateSound), 25u);

  ComPtr<ITypeLib> lib;
  const std::u16string module = Utf8ToUtf16(QUILLGATE_MODULE_PATH);
  ASSERT_EQ(LoadTypeLib(module.c_str(), lib.Out()), S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ICaptcha, info.Out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  const UINT count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  ASSERT_EQ(count, std::size(members));
  ASSERT_EQ(CaptchaMembers().size(), std::size(members));
  for (UINT i = 0; i < count; ++i) {
    const FuncDesc* func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
    const Expected& expected = members[i];
    EXPECT_EQ(func->name, expected.name) << i;
    EXPECT_EQ(func->invkind, expected.kind) << i;
    EXPECT_EQ(func->memid, expected.dispid) << i;
    EXPECT_EQ(func->helpString, expected.help) << i;
    EXPECT_EQ(static_cast<std::size_t>(func->oVft), expected.slot) << i;
    // The object's compiled-in description agrees, in the same order.
    EXPECT_EQ(CaptchaMembers()[i].memid, expected.dispid) << i;
    EXPECT_EQ(CaptchaMembers()[i].kind, expected.kind) << i;
    EXPECT_EQ(CheckCaptchaMember(*func), S_OK) << i;
    BString help;
    ASSERT_EQ(info->GetDocumentation(expected.dispid, nullptr, help.Out(), nullptr, nullptr), S_OK);
    EXPECT_EQ(help.View(), expected.help) << i;
  }
  // And by name.
  for (const Expected& expected : members) {
    std::u16string name = expected.name;
    LPOLESTR names[] = {name.data()};
    MEMBERID id = 0;
    ASSERT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK);
    EXPECT_EQ(id, expected.dispid) << ::testing::PrintToString(Utf16ToUtf8(name));
  }
}

LONG GetByDispid(IDispatch* object, DISPID id) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Variant result;
  EXPECT_EQ(object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(result->vt, VT_I4);
  return result->lVal;
}

void PutByDispid(IDispatch* object, DISPID id, LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&v, &named, 1, 1};
  EXPECT_EQ(object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr), S_OK);
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
  LONG saved[std::size(properties)] = {};
  for (std::size_t i = 0; i < std::size(properties); ++i) {
    const auto& property = properties[i];
    (captcha.Get()->*property.get)(&saved[i]);
  }
  // Every property a different value: a DISPID routed to another member reads another value.
  for (const auto& property : properties) (captcha.Get()->*property.put)(property.value);
  for (const auto& property : properties) {
    EXPECT_EQ(GetByDispid(object.Get(), property.id), property.value) << "DISPID " << property.id;
  }
  for (const auto& property : properties) PutByDispid(object.Get(), property.id, property.value + 1);
  for (const auto& property : properties) {
    LONG value = 0;
    (captcha.Get()->*property.get)(&value);
    EXPECT_EQ(value, property.value + 1) << "DISPID " << property.id;
  }
  for (std::size_t i = 0; i < std::size(properties); ++i) {
    const auto& property = properties[i];
    (captcha.Get()->*property.put)(saved[i]);
  }
}

}  // namespace
}  // namespace quillgate::component
