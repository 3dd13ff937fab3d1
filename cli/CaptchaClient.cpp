#include "cli/CaptchaClient.h"

#include "cli/HostText.h"

#include "Component/Identifiers.h"
#include "Component/Module.h"
#include "Platform/Com/Bstr.h"
#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/SafeArray.h"
#include "Platform/Com/Variant.h"

#include <cstdio>
#include <stdexcept>

namespace quillgate::cli {
namespace {

using namespace quillgate::com;
using component::Captcha;
using component::ICaptcha;

// The component's description of the failure when it left one (a Captcha object always does
// for its image and sound operations), else `what` with the result code.
[[noreturn]] void Fail(HRESULT hr, const char* what) {
  ComPtr<IErrorInfo> info;
  BString description;
  if (GetErrorInfo(0, info.Out()) == S_OK && info) info->GetDescription(description.Out());
  if (!description.View().empty()) throw std::runtime_error(WideToUtf8(description.View()));
  const char* name = HresultName(hr);
  char code[48];
  std::snprintf(code, sizeof code, "0x%08X%s%s%s", static_cast<unsigned>(hr), name ? " (" : "",
                name ? name : "", name ? ")" : "");
  throw std::runtime_error(std::string(what) + ": " + code);
}

// Locks an array's data for reading and unlocks it on every way out, so the variant that
// owns the array can destroy it afterwards.
class ArrayData {
 public:
  explicit ArrayData(SAFEARRAY* array) : array_(array) {
    if (FAILED(SafeArrayAccessData(array_, &data_))) {
      throw std::runtime_error("cannot read the bytes the Captcha component returned");
    }
  }
  ArrayData(const ArrayData&) = delete;
  ArrayData& operator=(const ArrayData&) = delete;
  ~ArrayData() { SafeArrayUnaccessData(array_); }

  [[nodiscard]] const unsigned char* Bytes() const noexcept {
    return static_cast<const unsigned char*>(data_);
  }

 private:
  SAFEARRAY* array_;
  void* data_ = nullptr;
};

// A copy of the byte array (VT_ARRAY | VT_UI1, one dimension) that image and sound
// operations return.
std::vector<unsigned char> CopyBytes(const VARIANT& result) {
  SAFEARRAY* const array = result.parray;
  LONG lower = 0;
  LONG upper = -1;
  if (result.vt != (VT_ARRAY | VT_UI1) || array == nullptr || SafeArrayGetDim(array) != 1 ||
      SafeArrayGetElemsize(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper)) || upper < lower - 1) {
    throw std::runtime_error("the Captcha component returned no byte array");
  }
  const auto count = static_cast<std::size_t>(static_cast<std::int64_t>(upper) - lower + 1);
  const ArrayData data(array);
  return {data.Bytes(), data.Bytes() + count};
}

}  // namespace

CaptchaClient::CaptchaClient() {
  ComPtr<IClassFactory> factory;
  if (const HRESULT hr = DllGetClassObject(component::CLSID_Captcha, IID_IClassFactory,
                                           factory.OutVoid());
      FAILED(hr)) {
    Fail(hr, "cannot get the Captcha class factory");
  }
  if (const HRESULT hr = factory->CreateInstance(nullptr, component::IID_ICaptcha, object_.OutVoid());
      FAILED(hr)) {
    Fail(hr, "cannot create a Captcha object");
  }
  // The factory is this program's own, so its objects are Captchas; checked all the same.
  class_ = dynamic_cast<Captcha*>(object_.Get());
  if (class_ == nullptr) throw std::runtime_error("the Captcha class factory made a foreign object");
}

template <typename Call>
void CaptchaClient::Invoke(Call&& call) {
  SetErrorInfo(0, nullptr);
  if (const HRESULT hr = call(); FAILED(hr)) Fail(hr, "the Captcha component failed");
}

void CaptchaClient::Put(HRESULT (ICaptcha::*put)(LONG), std::int32_t value) {
  Invoke([&] { return (object_.Get()->*put)(value); });
}

void CaptchaClient::PutFormat(std::string_view utf8) {
  const BString format(Utf8ToWide(utf8));
  Invoke([&] { return object_->put_Format(format.Get()); });
}

std::vector<unsigned char> CaptchaClient::CreateImage(std::string_view code) {
  Variant result;
  if (code.empty()) {
    Invoke([&] { return object_->CreateImage(result.Get()); });
  } else {
    const BString text(Utf8ToWide(code));
    Invoke([&] { return class_->CreateImageFromCode(text.Get(), result.Get()); });
  }
  return CopyBytes(*result.Get());
}

std::vector<unsigned char> CaptchaClient::CreateSound(std::string_view code) {
  Variant result;
  if (code.empty()) {
    Invoke([&] { return class_->CreateSound(result.Get()); });
  } else {
    const BString text(Utf8ToWide(code));
    Invoke([&] { return object_->CreateSoundFromCode(text.Get(), result.Get()); });
  }
  return CopyBytes(*result.Get());
}

std::string CaptchaClient::Value() {
  BString text;
  Invoke([&] { return object_->GetValue(text.Out()); });
  return WideToUtf8(text.View());
}

std::string CaptchaClient::HashValue() {
  BString text;
  Invoke([&] { return object_->GetHashValue(text.Out()); });
  return WideToUtf8(text.View());
}

}  // namespace quillgate::cli
