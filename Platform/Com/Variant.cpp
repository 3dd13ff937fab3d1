#include "Platform/Com/Variant.h"

#include "Platform/Com/Interfaces.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace quillgate::com {
namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Which way a decimal that does not fit a long double is out of range: its magnitude is
// decided by where its first significant digit stands and by its exponent.
long double OutOfRange(std::string_view ascii) {
  const bool negative = !ascii.empty() && ascii.front() == '-';
  if (!ascii.empty() && (ascii.front() == '-' || ascii.front() == '+')) ascii.remove_prefix(1);
  const std::size_t e = ascii.find_first_of("eE");
  const std::string_view mantissa = ascii.substr(0, e);
  long long exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view digits = ascii.substr(e + 1);
    const bool down = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
    for (const char c : digits) exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000LL);
    if (down) exponent = -exponent;
  }
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return negative ? -0.0L : 0.0L;
  const long long magnitude = first < point ? static_cast<long long>(point - first)
                                            : -static_cast<long long>(first - point - 1);
  const long double result = magnitude + exponent > 0 ? std::numeric_limits<long double>::infinity() : 0.0L;
  return negative ? -result : result;
}

// A decimal number in plain or exponent notation: [sign] digits [. digits] [e [sign] digits].
// The decimal separator is always '.', whatever the process locale says.
std::optional<long double> ParseNumber(std::u16string_view text) {
  text = Trim(text);
  std::string ascii;
  for (const char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  std::size_t at = 0;
  const auto digits = [&] {
    const std::size_t start = at;
    while (at < ascii.size() && ascii[at] >= '0' && ascii[at] <= '9') ++at;
    return at - start;
  };
  if (at < ascii.size() && (ascii[at] == '+' || ascii[at] == '-')) ++at;
  std::size_t mantissa = digits();
  if (at < ascii.size() && ascii[at] == '.') {
    ++at;
    mantissa += digits();
  }
  if (mantissa == 0) return std::nullopt;
  if (at < ascii.size() && (ascii[at] == 'e' || ascii[at] == 'E')) {
    ++at;
    if (at < ascii.size() && (ascii[at] == '+' || ascii[at] == '-')) ++at;
    if (digits() == 0) return std::nullopt;
  }
  if (at != ascii.size()) return std::nullopt;
  // from_chars takes no '+' sign.
  const char* begin = ascii.data() + (ascii.front() == '+' ? 1 : 0);
  const char* end = ascii.data() + ascii.size();
  long double value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) return OutOfRange(ascii);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// By-reference variants may point at variants that are themselves by reference; a chain
// longer than this is taken for a loop (a variant pointing at itself) and refused.
constexpr int kMaxReferenceChain = 16;

// The value behind a by-reference variant, as a plain variant that borrows its contents.
// DISP_E_BADVARTYPE for a null reference or a type that cannot be referenced,
// DISP_E_TYPEMISMATCH for a chain of references too long to follow.
HRESULT Dereference(const VARIANT& given, VARIANT& plain) {
  const VARIANT* source = &given;
  for (int depth = 0; (source->vt & VT_BYREF) != 0 && (source->vt & ~VT_BYREF) == VT_VARIANT; ++depth) {
    if (source->pvarVal == nullptr) return DISP_E_BADVARTYPE;
    if (depth == kMaxReferenceChain) return DISP_E_TYPEMISMATCH;
    source = source->pvarVal;
  }
  if ((source->vt & VT_BYREF) == 0) {
    plain = *source;
    return S_OK;
  }
  if (source->byref == nullptr) return DISP_E_BADVARTYPE;
  const VARTYPE base = source->vt & ~VT_BYREF;
  VariantInit(&plain);
  plain.vt = base;
  if ((base & VT_ARRAY) != 0) {
    plain.parray = *static_cast<SAFEARRAY**>(source->byref);
    return S_OK;
  }
  switch (base) {
    case VT_I1: case VT_UI1: plain.bVal = *static_cast<BYTE*>(source->byref); break;
    case VT_I2: case VT_UI2: case VT_BOOL: plain.iVal = *static_cast<SHORT*>(source->byref); break;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR:
      plain.lVal = *static_cast<LONG*>(source->byref);
      break;
    case VT_R4: plain.fltVal = *static_cast<float*>(source->byref); break;
    case VT_R8: case VT_DATE: plain.dblVal = *static_cast<double*>(source->byref); break;
    case VT_I8: case VT_UI8: case VT_CY: plain.llVal = *static_cast<LONGLONG*>(source->byref); break;
    case VT_BSTR: plain.bstrVal = *static_cast<BSTR*>(source->byref); break;
    case VT_UNKNOWN: plain.punkVal = *static_cast<IUnknown**>(source->byref); break;
    case VT_DISPATCH: plain.pdispVal = *static_cast<IDispatch**>(source->byref); break;
    default: return DISP_E_BADVARTYPE;
  }
  return S_OK;
}

// The numeric value of a plain variant. An 80-bit long double holds every 64-bit integer.
HRESULT NumberOf(const VARIANT& v, long double& number) {
  switch (v.vt) {
    case VT_EMPTY: number = 0; return S_OK;
    case VT_I1: number = v.cVal; return S_OK;
    case VT_UI1: number = v.bVal; return S_OK;
    case VT_I2: number = v.iVal; return S_OK;
    case VT_UI2: number = v.uiVal; return S_OK;
    case VT_BOOL: number = v.boolVal != 0 ? -1 : 0; return S_OK;
    case VT_I4: case VT_INT: number = v.lVal; return S_OK;
    case VT_UI4: case VT_UINT: number = v.ulVal; return S_OK;
    case VT_I8: number = static_cast<long double>(v.llVal); return S_OK;
    case VT_UI8: number = static_cast<long double>(v.ullVal); return S_OK;
    case VT_R4: number = v.fltVal; return S_OK;
    case VT_R8: number = v.dblVal; return S_OK;
    case VT_BSTR: {
      const auto parsed = ParseNumber(BstrView(v.bstrVal));
      if (!parsed) return DISP_E_TYPEMISMATCH;
      number = *parsed;
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

// Rounds half to even (the automation rule) and checks the target's range.
template <typename T>
HRESULT ToInteger(long double number, T& out) {
  if (!std::isfinite(number)) return DISP_E_OVERFLOW;
  const long double rounded = number - std::floor(number) == 0.5L
                                  ? (std::fmod(std::floor(number), 2.0L) == 0 ? std::floor(number)
                                                                              : std::ceil(number))
                                  : std::round(number);
  if (rounded < static_cast<long double>(std::numeric_limits<T>::min()) ||
      rounded > static_cast<long double>(std::numeric_limits<T>::max())) {
    return DISP_E_OVERFLOW;
  }
  out = static_cast<T>(rounded);
  return S_OK;
}

HRESULT ToText(const VARIANT& v, VARIANT& out) {
  std::string text;
  switch (v.vt) {
    case VT_EMPTY: break;
    case VT_BOOL: text = v.boolVal != 0 ? "True" : "False"; break;
    case VT_R4: case VT_R8: {
      const double value = v.vt == VT_R4 ? v.fltVal : v.dblVal;
      // Seven or fifteen significant digits, exponent as E+NN: the "%G" form, but
      // always with a '.' whatever the process locale says.
      char buffer[64];
      const auto written = std::to_chars(buffer, buffer + sizeof buffer, value,
                                         std::chars_format::general, v.vt == VT_R4 ? 7 : 15);
      text.assign(buffer, written.ptr);
      for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      }
      break;
    }
    case VT_I8: text = std::to_string(v.llVal); break;
    case VT_UI8: text = std::to_string(v.ullVal); break;
    default: {
      long double number = 0;
      if (const HRESULT hr = NumberOf(v, number); FAILED(hr)) return hr;
      text = std::to_string(static_cast<long long>(number));
    }
  }
  const std::u16string wide(text.begin(), text.end());
  out.vt = VT_BSTR;
  out.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  return out.bstrVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT ToBool(const VARIANT& v, VARIANT& out) {
  if (v.vt == VT_BSTR) {
    const std::u16string_view text = Trim(BstrView(v.bstrVal));
    if (EqualsIgnoringCase(text, u"true") || EqualsIgnoringCase(text, u"false")) {
      out.vt = VT_BOOL;
      out.boolVal = EqualsIgnoringCase(text, u"true") ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  long double number = 0;
  if (const HRESULT hr = NumberOf(v, number); FAILED(hr)) return hr;
  out.vt = VT_BOOL;
  out.boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ToNumber(const VARIANT& v, VARTYPE vt, VARIANT& out) {
  long double number = 0;
  if (const HRESULT hr = NumberOf(v, number); FAILED(hr)) return hr;
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_I1: hr = ToInteger(number, out.cVal); break;
    case VT_UI1: hr = ToInteger(number, out.bVal); break;
    case VT_I2: hr = ToInteger(number, out.iVal); break;
    case VT_UI2: hr = ToInteger(number, out.uiVal); break;
    case VT_I4: case VT_INT: hr = ToInteger(number, out.lVal); break;
    case VT_UI4: case VT_UINT: hr = ToInteger(number, out.ulVal); break;
    case VT_I8: hr = ToInteger(number, out.llVal); break;
    case VT_UI8: hr = ToInteger(number, out.ullVal); break;
    case VT_R4:
      if (std::isfinite(number) && std::fabs(number) > std::numeric_limits<float>::max()) {
        return DISP_E_OVERFLOW;
      }
      out.fltVal = static_cast<float>(number);
      break;
    case VT_R8:
      if (std::isfinite(number) && std::fabs(number) > std::numeric_limits<double>::max()) {
        return DISP_E_OVERFLOW;
      }
      out.dblVal = static_cast<double>(number);
      break;
    default: return DISP_E_BADVARTYPE;
  }
  if (SUCCEEDED(hr)) out.vt = vt;
  return hr;
}

}  // namespace

void VariantInit(VARIANT* v) noexcept {
  if (v == nullptr) return;
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
  v->llVal = 0;
}

HRESULT VariantClear(VARIANT* v) noexcept {
  if (v == nullptr) return E_INVALIDARG;
  if ((v->vt & VT_BYREF) == 0) {
    if ((v->vt & VT_ARRAY) != 0) {
      if (const HRESULT hr = SafeArrayDestroy(v->parray); FAILED(hr)) return hr;
    } else if (v->vt == VT_BSTR) {
      SysFreeString(v->bstrVal);
    } else if ((v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) && v->punkVal != nullptr) {
      v->punkVal->Release();
    }
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) noexcept {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (destination == source) return S_OK;
  VARIANT copy = *source;
  if ((source->vt & VT_BYREF) == 0) {
    if ((source->vt & VT_ARRAY) != 0) {
      if (const HRESULT hr = SafeArrayCopy(source->parray, &copy.parray); FAILED(hr)) return hr;
    } else if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
      copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
      if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
    } else if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) &&
               source->punkVal != nullptr) {
      source->punkVal->AddRef();
    }
  }
  VariantClear(destination);
  *destination = copy;
  return S_OK;
}

HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, WORD /*flags*/,
                          VARTYPE vt) noexcept {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  VARIANT from;
  if (const HRESULT hr = Dereference(*source, from); FAILED(hr)) return hr;
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = S_OK;
  if (from.vt == vt || ((vt & VT_ARRAY) != 0 && from.vt == vt)) {
    hr = VariantCopy(&result, &from);
  } else if ((from.vt & VT_ARRAY) != 0 || (vt & (VT_ARRAY | VT_BYREF)) != 0) {
    hr = DISP_E_TYPEMISMATCH;
  } else if (vt == VT_EMPTY) {
    hr = S_OK;
  } else if (from.vt == VT_NULL || vt == VT_NULL) {
    hr = DISP_E_TYPEMISMATCH;
  } else if (vt == VT_BSTR) {
    hr = ToText(from, result);
  } else if (vt == VT_BOOL) {
    hr = ToBool(from, result);
  } else if (vt == VT_VARIANT) {
    hr = VariantCopy(&result, &from);
  } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH || vt == VT_ERROR || from.vt == VT_ERROR ||
             from.vt == VT_UNKNOWN || from.vt == VT_DISPATCH) {
    hr = DISP_E_TYPEMISMATCH;
  } else {
    hr = ToNumber(from, vt, result);
  }
  if (FAILED(hr)) return hr;
  VariantClear(destination);
  *destination = result;
  return S_OK;
}

}  // namespace quillgate::com
