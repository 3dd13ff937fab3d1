// Strings, variants, safe arrays and per-thread error information.
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/Variant.h"

#include <gtest/gtest.h>

#include <thread>

namespace quillgate::com {
namespace {

TEST(Bstr, CarriesItsLengthAndEmbeddedNuls) {
  const char16_t text[] = {u'a', u'\0', u'b'};
  BSTR s = SysAllocStringLen(text, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  EXPECT_EQ(s[3], u'\0');  // terminated after the counted characters
  EXPECT_EQ(BstrView(s), std::u16string_view(text, 3));
  SysFreeString(s);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(BstrView(nullptr), u"");
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  BString zeros;  // allocated without a source: zeros
  *zeros.Out() = SysAllocStringLen(nullptr, 4);
  EXPECT_EQ(zeros.View(), std::u16string_view(u"\0\0\0\0", 4));
}

class Coercion : public ::testing::Test {
 protected:
  static VARIANT Text(const char16_t* text, BString& holder) {
    holder = BString(text);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = holder.Get();
    return v;
  }
  static VARIANT Long(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
  }
};

TEST_F(Coercion, TextToLongTrimsAndRoundsHalfToEven) {
  BString holder;
  Variant out;
  const std::pair<const char16_t*, LONG> cases[] = {{u" 300 ", 300}, {u"-7", -7}, {u"2.5", 2}, {u"3.5", 4},
                                                    {u"-2.5", -2}, {u"2.6", 3}, {u"1e2", 100}};
  for (const auto& [text, expected] : cases) {
    VARIANT in = Text(text, holder);
    ASSERT_EQ(VariantChangeType(out.Get(), &in, 0, VT_I4), S_OK);
    EXPECT_EQ(out->vt, VT_I4);
    EXPECT_EQ(out->lVal, expected);
  }
}

TEST_F(Coercion, RejectsWhatIsNoNumberAndWhatDoesNotFit) {
  BString holder;
  Variant out;
  for (const char16_t* text : {u"abc", u"", u"12x", u"1.2.3", u"--1"}) {
    VARIANT in = Text(text, holder);
    EXPECT_EQ(VariantChangeType(out.Get(), &in, 0, VT_I4), DISP_E_TYPEMISMATCH);
  }
  VARIANT big = Text(u"3000000000", holder);
  EXPECT_EQ(VariantChangeType(out.Get(), &big, 0, VT_I4), DISP_E_OVERFLOW);
  VARIANT small = Long(300);
  EXPECT_EQ(VariantChangeType(out.Get(), &small, 0, VT_UI1), DISP_E_OVERFLOW);
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_EQ(VariantChangeType(out.Get(), &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(out->vt, VT_EMPTY);  // a failed coercion leaves the destination alone
}

TEST_F(Coercion, BooleansAndText) {
  BString holder;
  Variant out;
  VARIANT in = Text(u"TRUE", holder);
  ASSERT_EQ(VariantChangeType(out.Get(), &in, 0, VT_BOOL), S_OK);
  EXPECT_EQ(out->boolVal, VARIANT_TRUE);
  VARIANT number = Long(0);
  ASSERT_EQ(VariantChangeType(out.Get(), &number, 0, VT_BOOL), S_OK);
  EXPECT_EQ(out->boolVal, VARIANT_FALSE);
  VARIANT flag;
  VariantInit(&flag);
  flag.vt = VT_BOOL;
  flag.boolVal = VARIANT_TRUE;
  ASSERT_EQ(VariantChangeType(out.Get(), &flag, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out->bstrVal), u"True");
  ASSERT_EQ(VariantChangeType(out.Get(), &flag, 0, VT_I4), S_OK);
  EXPECT_EQ(out->lVal, -1);
  VARIANT negative = Long(-42);
  ASSERT_EQ(VariantChangeType(out.Get(), &negative, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out->bstrVal), u"-42");
}

TEST_F(Coercion, FollowsReferencesAndConvertsInPlace) {
  LONG target = 77;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.byref = &target;
  Variant out;
  ASSERT_EQ(VariantChangeType(out.Get(), &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out->bstrVal), u"77");
  // In place: the old string is released and replaced (the sanitizer build sees leaks).
  ASSERT_EQ(VariantChangeType(out.Get(), out.Get(), 0, VT_I4), S_OK);
  EXPECT_EQ(out->vt, VT_I4);
  EXPECT_EQ(out->lVal, 77);
}

TEST(SafeArray, OneDimensionalByteArray) {
  SAFEARRAYBOUND bound{5, 0};
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(SafeArrayGetDim(array), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(array), 1u);
  LONG low = -1, high = -1;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &low), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &high), S_OK);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 4);
  EXPECT_EQ(SafeArrayGetLBound(array, 2, &low), DISP_E_BADINDEX);
  VARTYPE vt = 0;
  EXPECT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);

  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  static_cast<unsigned char*>(data)[4] = 9;
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);  // never freed under a reader
  ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
  EXPECT_EQ(static_cast<unsigned char*>(copy->pvData)[4], 9);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, RefusesWhatItCannotHold) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, bounds), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_BSTR, 1, bounds), nullptr);
  SAFEARRAYBOUND empty{0, 0};
  SAFEARRAY* none = SafeArrayCreate(VT_UI1, 1, &empty);
  ASSERT_NE(none, nullptr);
  LONG high = 0;
  SafeArrayGetUBound(none, 1, &high);
  EXPECT_EQ(high, -1);
  SafeArrayDestroy(none);
}

TEST(ErrorInfo, BelongsToTheThreadAndIsCollectedOnce) {
  ASSERT_EQ(ReportError(IID_IDispatch, u"Source.1", u"it broke"), S_OK);
  std::thread([] {
    ComPtr<IErrorInfo> other;
    EXPECT_EQ(GetErrorInfo(0, other.Out()), S_FALSE);
    EXPECT_FALSE(other);
  }).join();

  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Out()), S_OK);
  ASSERT_TRUE(info);
  BString description, source;
  GUID guid{};
  info->GetDescription(description.Out());
  info->GetSource(source.Out());
  info->GetGUID(&guid);
  EXPECT_EQ(description.View(), u"it broke");
  EXPECT_EQ(source.View(), u"Source.1");
  EXPECT_EQ(guid, IID_IDispatch);

  ComPtr<IErrorInfo> again;
  EXPECT_EQ(GetErrorInfo(0, again.Out()), S_FALSE);  // the slot was cleared
}

TEST(ErrorInfo, AnswersOnlyItsInterfaces) {
  ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.Out()), S_OK);
  ComPtr<IErrorInfo> info;
  EXPECT_EQ(create.As(info), S_OK);
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(create.As(dispatch), E_NOINTERFACE);
  EXPECT_FALSE(dispatch);
  ComPtr<IUnknown> a, b;
  create.As(a);
  info.As(b);
  EXPECT_EQ(a.Get(), b.Get());  // one identity
}

}  // namespace
}  // namespace quillgate::com
