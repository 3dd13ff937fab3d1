// Strings, variants, safe arrays and per-thread error information.
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/Utf.h"
#include "Platform/Com/Variant.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
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
  static VARIANT Of(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
  }
  static VARIANT Text(const char16_t* text, BString& holder) {
    holder = BString(text);
    VARIANT v = Of(VT_BSTR);
    v.bstrVal = holder.Get();
    return v;
  }
  static VARIANT Long(LONG value) {
    VARIANT v = Of(VT_I4);
    v.lVal = value;
    return v;
  }
};

// Text becomes a long trimmed, in any notation, rounded half to even; what is no number or
// does not fit is refused, and a failed coercion leaves the destination alone.
TEST_F(Coercion, TextToLongTrimsRoundsHalfToEvenAndRefusesWhatIsNoLong) {
  const struct {
    const char16_t* text;
    HRESULT result;
    LONG value;
  } cases[] = {
      {u" 300 ", S_OK, 300}, {u"-7", S_OK, -7}, {u"2.5", S_OK, 2}, {u"3.5", S_OK, 4},
      {u"-2.5", S_OK, -2}, {u"2.6", S_OK, 3}, {u"1e2", S_OK, 100}, {u"1e-99999", S_OK, 0},
      {u"abc", DISP_E_TYPEMISMATCH, 0}, {u"", DISP_E_TYPEMISMATCH, 0},
      {u"12x", DISP_E_TYPEMISMATCH, 0}, {u"1.2.3", DISP_E_TYPEMISMATCH, 0},
      {u"--1", DISP_E_TYPEMISMATCH, 0}, {u"3000000000", DISP_E_OVERFLOW, 0},
      {u"-1e99999", DISP_E_OVERFLOW, 0},
  };
  constexpr LONG kBefore = 12345;  // what the destination held before
  for (const auto& c : cases) {
    BString holder;
    Variant out;
    *out.Get() = Long(kBefore);
    VARIANT in = Text(c.text, holder);
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    EXPECT_EQ(VariantChangeType(out.Get(), &in, 0, VT_I4), c.result);
    EXPECT_EQ(out->vt, VT_I4);
    EXPECT_EQ(out->lVal, c.result == S_OK ? c.value : kBefore);
  }
  Variant out;
  VARIANT small = Long(300), null = Of(VT_NULL);
  EXPECT_EQ(VariantChangeType(out.Get(), &small, 0, VT_UI1), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(out.Get(), &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
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
  VARIANT flag = Of(VT_BOOL);
  flag.boolVal = VARIANT_TRUE;
  ASSERT_EQ(VariantChangeType(out.Get(), &flag, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out->bstrVal), u"True");
  ASSERT_EQ(VariantChangeType(out.Get(), &flag, 0, VT_I4), S_OK);
  EXPECT_EQ(out->lVal, -1);
  VARIANT negative = Long(-42);
  ASSERT_EQ(VariantChangeType(out.Get(), &negative, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out->bstrVal), u"-42");
}

// References are followed, a short honest chain too, but a loop is refused; a variant
// converted in place releases what it held (the sanitizer build sees leaks).
TEST_F(Coercion, FollowsReferencesRefusesLoopsAndConvertsInPlace) {
  constexpr VARTYPE kVariantRef = VT_VARIANT | VT_BYREF;
  LONG target = 77;
  VARIANT ref = Of(VT_I4 | VT_BYREF), outer = Of(kVariantRef);
  ref.byref = &target;
  outer.pvarVal = &ref;
  Variant out;
  ASSERT_EQ(VariantChangeType(out.Get(), &outer, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out->bstrVal), u"77");
  ASSERT_EQ(VariantChangeType(out.Get(), out.Get(), 0, VT_I4), S_OK);
  EXPECT_EQ(out->vt, VT_I4);
  EXPECT_EQ(out->lVal, 77);

  VARIANT self = Of(kVariantRef), a = Of(kVariantRef), b = Of(kVariantRef);
  self.pvarVal = &self;
  a.pvarVal = &b;
  b.pvarVal = &a;
  for (const VARIANT* loop : {&self, &a}) {
    for (const VARTYPE vt : {VT_I4, VT_BSTR, VT_VARIANT}) {
      EXPECT_EQ(VariantChangeType(out.Get(), loop, 0, vt), DISP_E_TYPEMISMATCH) << vt;
    }
  }
}

// A locale whose decimal separator is a comma, for the test's lifetime: an installed one,
// else one compiled from the system's locale sources into a temporary directory.
class CommaLocale {
 public:
  CommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
      if (Use(name)) return;
    }
    char pattern[] = "/tmp/quillgate-locale-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    directory_ = pattern;
    const std::string command = "localedef -i de_DE -f ISO-8859-1 " + directory_ +
                                "/de_DE >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0 && ::setenv("LOCPATH", directory_.c_str(), 1) == 0) {
      Use("de_DE");
    }
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;
  ~CommaLocale() {
    std::setlocale(LC_ALL, "C");
    if (!directory_.empty()) {
      ::unsetenv("LOCPATH");
      std::filesystem::remove_all(directory_);
    }
  }
  [[nodiscard]] bool Active() const { return active_; }

 private:
  bool Use(const char* name) {
    active_ = std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',';
    if (!active_) std::setlocale(LC_ALL, "C");
    return active_;
  }
  std::string directory_;
  bool active_ = false;
};

TEST_F(Coercion, NumbersDoNotFollowTheProcessLocale) {
  const CommaLocale locale;
  if (!locale.Active()) {
    GTEST_SKIP() << "no locale with a decimal comma is installed, and localedef could not "
                    "make one (install the Debian package 'locales')";
  }
  BString holder;
  Variant out;
  VARIANT text = Text(u"250.6", holder);
  ASSERT_EQ(VariantChangeType(out.Get(), &text, 0, VT_I4), S_OK);
  EXPECT_EQ(out->lVal, 251);
  VARIANT comma = Text(u"250,6", holder);
  EXPECT_EQ(VariantChangeType(out.Get(), &comma, 0, VT_I4), DISP_E_TYPEMISMATCH);
  const std::pair<double, std::u16string_view> printed[] = {
      {2.5, u"2.5"}, {1.5e20, u"1.5E+20"}, {-0.125, u"-0.125"}, {1.0 / 3.0, u"0.333333333333333"}};
  for (const auto& [value, expected] : printed) {
    VARIANT number = Of(VT_R8);
    number.dblVal = value;
    ASSERT_EQ(VariantChangeType(out.Get(), &number, 0, VT_BSTR), S_OK);
    EXPECT_EQ(BstrView(out->bstrVal), expected);
  }
}

// One dimension of bytes, as the component hands out, and nothing else; never freed under
// a reader.
TEST(SafeArray, HoldsOneDimensionOfBytesAndOutlivesItsReaders) {
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

  SAFEARRAYBOUND bound{5, 0};
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
  ASSERT_NE(array, nullptr);
  LONG low = -1;
  EXPECT_EQ(SafeArrayGetLBound(array, 2, &low), DISP_E_BADINDEX);
  VARTYPE vt = 0;
  EXPECT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);

  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  static_cast<unsigned char*>(data)[4] = 9;
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
  EXPECT_EQ(static_cast<unsigned char*>(copy->pvData)[4], 9);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
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
  // What it holds reaches a host through the same object: the component and command tests
  // read its description, source and interface back from failing calls.
  ComPtr<IErrorInfo> again;
  EXPECT_EQ(GetErrorInfo(0, again.Out()), S_FALSE);  // the slot was cleared
}

}  // namespace
}  // namespace quillgate::com
