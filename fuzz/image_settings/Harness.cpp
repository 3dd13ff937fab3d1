// Image settings: arbitrary values for every property (sizes bounded so one image stays
// fast), then CreateImage or CreateImageFromCode with an arbitrary code. Whatever the
// settings, the call either gives bytes or fails with E_FAIL and a description.
#include "Component/Captcha.h"
#include "Component/Module.h"
#include "Platform/Com/Bstr.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/SafeArray.h"
#include "Platform/Com/Variant.h"
#include "fuzz/FuzzCaptcha.h"
#include "fuzz/FuzzRegistry.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

using namespace quillgate::com;
using namespace quillgate::component;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillgate::fuzz::PrivateRegistry();
  const ComPtr<ICaptcha> captcha = quillgate::fuzz::NewCaptcha();
  Captcha* object = static_cast<Captcha*>(captcha.Get());

  FuzzedDataProvider input(data, size);
  captcha->put_ImageWidth(input.ConsumeIntegralInRange<LONG>(-8, 320));
  captcha->put_ImageHeight(input.ConsumeIntegralInRange<LONG>(-8, 160));
  captcha->put_CodeLength(input.ConsumeIntegralInRange<LONG>(-4, 24));
  // Styles and code types anywhere in their range, and some just outside or far outside it.
  captcha->put_TextStyle(input.ConsumeBool() ? input.ConsumeIntegralInRange<LONG>(-2, 60)
                                             : input.ConsumeIntegral<LONG>());
  captcha->put_CodeType(input.ConsumeBool() ? input.ConsumeIntegralInRange<LONG>(-2, 4)
                                            : input.ConsumeIntegral<LONG>());
  static const char16_t* const kFormats[] = {u"JPEG", u"jpg", u"PNG", u"GIF", u"BMP", u"TIFF", u"", u"xyz"};
  const char16_t* format = kFormats[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kFormats) - 1)];
  BString formatText(format);
  captcha->put_Format(formatText.Get());
  const bool fromCode = input.ConsumeBool();
  const std::string code = input.ConsumeRandomLengthString(40);
  const std::u16string wide(code.begin(), code.end());  // every byte as one character
  BString codeText(wide);

  Variant bytes;
  const HRESULT hr = fromCode ? object->CreateImageFromCode(codeText.Get(), bytes.Get())
                              : captcha->CreateImage(bytes.Get());
  if (SUCCEEDED(hr)) {
    if (bytes->vt != (VT_ARRAY | VT_UI1) || bytes->parray == nullptr) __builtin_trap();
  } else if (hr != E_FAIL || bytes->vt != VT_EMPTY) {
    __builtin_trap();
  }
  quillgate::fuzz::RestoreUsualSettings(*captcha.Get());
  return 0;
}
