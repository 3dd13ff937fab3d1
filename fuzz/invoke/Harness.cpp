// Late binding with arbitrary names, flags and arguments: IDispatch::GetIDsOfNames and
// Invoke on a Captcha object. One step per line:
//
//   NAME[:KIND] ARG,ARG,...      KIND: g get, p put, m method, else a number of flags
//   #DISPID[:KIND] ARG,...       a DISPID given directly
//
// Each argument is a type letter and its text: s text, i long, d double, b boolean, n NULL,
// e empty, r a text by reference, v a variant by reference, l a reference to itself,
// a a byte array. Image sizes and the code length are kept small between steps, so every
// input runs in bounded time.
#include "Component/Captcha.h"
#include "Component/Module.h"
#include "Platform/Com/Bstr.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/SafeArray.h"
#include "Platform/Com/Variant.h"
#include "Platform/Com/Utf.h"
#include "fuzz/FuzzCaptcha.h"
#include "fuzz/FuzzRegistry.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

using namespace quillgate::com;
using namespace quillgate::component;

namespace {

// Arguments with what they point to; everything is released when the step ends.
struct Arguments {
  std::vector<VARIANT> values;
  std::deque<BString> texts;
  std::deque<BSTR> textSlots;
  std::deque<VARIANT> targets;
  std::vector<SAFEARRAY*> arrays;
  Arguments() = default;
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
  ~Arguments() {
    for (SAFEARRAY* array : arrays) SafeArrayDestroy(array);
  }

  BSTR Text(std::string_view utf8) {
    texts.emplace_back(Utf8ToUtf16(utf8.substr(0, 64)));
    return texts.back().Get();
  }

  void Add(std::string_view spec) {
    VARIANT v;
    VariantInit(&v);
    const char type = spec.empty() ? 'e' : spec.front();
    const std::string_view text = spec.empty() ? spec : spec.substr(1);
    switch (type) {
      case 's': v.vt = VT_BSTR; v.bstrVal = Text(text); break;
      case 'i': v.vt = VT_I4; std::from_chars(text.data(), text.data() + text.size(), v.lVal); break;
      case 'd': v.vt = VT_R8; std::from_chars(text.data(), text.data() + text.size(), v.dblVal); break;
      case 'b': v.vt = VT_BOOL; v.boolVal = text == "1" ? VARIANT_TRUE : VARIANT_FALSE; break;
      case 'n': v.vt = VT_NULL; break;
      case 'r':
        textSlots.push_back(Text(text));
        v.vt = VT_BSTR | VT_BYREF;
        v.byref = &textSlots.back();
        break;
      case 'v': {
        VARIANT inner;
        VariantInit(&inner);
        inner.vt = VT_BSTR;
        inner.bstrVal = Text(text);
        targets.push_back(inner);
        v.vt = VT_VARIANT | VT_BYREF;
        v.pvarVal = &targets.back();
        break;
      }
      case 'l':
        targets.emplace_back();
        targets.back().vt = VT_VARIANT | VT_BYREF;
        targets.back().pvarVal = &targets.back();
        v = targets.back();
        break;
      case 'a': {
        SAFEARRAYBOUND bound{static_cast<ULONG>(text.size()), 0};
        SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
        if (array == nullptr) break;
        arrays.push_back(array);
        v.vt = VT_ARRAY | VT_UI1;
        v.parray = array;  // owned by `arrays`
        break;
      }
      default: break;  // empty
    }
    values.push_back(v);
  }
};

// Sizes that keep one image or sound fast, whatever the steps put.
void KeepBounded(ICaptcha* captcha) {
  LONG value = 0;
  if (SUCCEEDED(captcha->get_ImageWidth(&value)) && (value < -16 || value > 320)) captcha->put_ImageWidth(200);
  if (SUCCEEDED(captcha->get_ImageHeight(&value)) && (value < -16 || value > 160)) captcha->put_ImageHeight(50);
  if (SUCCEEDED(captcha->get_CodeLength(&value)) && (value < -4 || value > 24)) captcha->put_CodeLength(5);
}

void RunStep(ICaptcha* captcha, std::string_view line) {
  const std::size_t space = line.find(' ');
  std::string_view head = line.substr(0, space);
  const std::string_view rest = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
  WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  bool put = false;
  if (const std::size_t colon = head.find(':'); colon != std::string_view::npos) {
    const std::string_view kind = head.substr(colon + 1);
    head = head.substr(0, colon);
    if (kind == "g") flags = DISPATCH_PROPERTYGET;
    else if (kind == "m") flags = DISPATCH_METHOD;
    else if (kind == "p") flags = DISPATCH_PROPERTYPUT, put = true;
    else std::from_chars(kind.data(), kind.data() + kind.size(), flags);
  }
  DISPID id = DISPID_UNKNOWN;
  if (!head.empty() && head.front() == '#') {
    std::from_chars(head.data() + 1, head.data() + head.size(), id);
  } else {
    std::u16string name = Utf8ToUtf16(head);
    LPOLESTR names[] = {name.data()};
    if (FAILED(captcha->GetIDsOfNames(IID_NULL, names, 1, 0, &id))) return;
  }
  Arguments args;
  for (std::size_t at = 0; at <= rest.size() && !rest.empty();) {
    const std::size_t comma = std::min(rest.find(',', at), rest.size());
    args.Add(rest.substr(at, comma - at));
    at = comma + 1;
    if (args.values.size() == 8) break;
  }
  // IDispatch takes its arguments last first.
  std::vector<VARIANT> reversed(args.values.rbegin(), args.values.rend());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), put && !reversed.empty() ? &named : nullptr,
                    static_cast<UINT>(reversed.size()), put && !reversed.empty() ? 1u : 0u};
  Variant result;
  EXCEPINFO exception{};
  UINT argErr = 0;
  KeepBounded(captcha);
  captcha->Invoke(id, IID_NULL, 0, flags, &params, put ? nullptr : result.Get(), &exception, &argErr);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillgate::fuzz::PrivateRegistry();  // an empty one: the type library is the module's own
  const ComPtr<ICaptcha> captcha = quillgate::fuzz::NewCaptcha();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (int steps = 0; !input.empty() && steps < 16; ++steps) {
    const std::size_t end = std::min(input.find('\n'), input.size());
    RunStep(captcha.Get(), input.substr(0, end));
    input.remove_prefix(std::min(end + 1, input.size()));
  }
  quillgate::fuzz::RestoreUsualSettings(*captcha.Get());
  return 0;
}
