#include "Platform/Com/ErrorInfo.h"

#include "Platform/Com/ComPtr.h"
#include "Platform/Com/Object.h"

#include <pthread.h>

#include <mutex>
#include <string>

namespace quillgate::com {
namespace {

class ErrorObject : public IErrorInfo, public ICreateErrorInfo {
 public:
  void* InternalQueryInterface(REFIID riid) noexcept {
    if (riid == IID_IErrorInfo) return static_cast<IErrorInfo*>(this);
    if (riid == IID_ICreateErrorInfo) return static_cast<ICreateErrorInfo*>(this);
    return nullptr;
  }

  HRESULT GetGUID(GUID* guid) override {
    if (guid == nullptr) return E_INVALIDARG;
    const std::scoped_lock lock(mutex_);
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* text) override { return Copy(source_, text); }
  HRESULT GetDescription(BSTR* text) override { return Copy(description_, text); }
  HRESULT GetHelpFile(BSTR* text) override { return Copy(helpFile_, text); }
  HRESULT GetHelpContext(DWORD* context) override {
    if (context == nullptr) return E_INVALIDARG;
    const std::scoped_lock lock(mutex_);
    *context = helpContext_;
    return S_OK;
  }

  HRESULT SetGUID(REFGUID guid) override {
    const std::scoped_lock lock(mutex_);
    guid_ = guid;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR text) override { return Store(source_, text); }
  HRESULT SetDescription(LPOLESTR text) override { return Store(description_, text); }
  HRESULT SetHelpFile(LPOLESTR text) override { return Store(helpFile_, text); }
  HRESULT SetHelpContext(DWORD context) override {
    const std::scoped_lock lock(mutex_);
    helpContext_ = context;
    return S_OK;
  }

 protected:
  ErrorObject() = default;
  ~ErrorObject() = default;

 private:
  HRESULT Copy(const std::u16string& field, BSTR* text) {
    if (text == nullptr) return E_INVALIDARG;
    const std::scoped_lock lock(mutex_);
    // A field never set reads as null, as on Windows.
    *text = field.empty() ? nullptr
                          : SysAllocStringLen(field.data(), static_cast<UINT>(field.size()));
    return field.empty() || *text != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT Store(std::u16string& field, LPOLESTR text) {
    try {
      const std::scoped_lock lock(mutex_);
      field = text != nullptr ? std::u16string(text) : std::u16string();
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  std::mutex mutex_;
  GUID guid_{};
  std::u16string source_;
  std::u16string description_;
  std::u16string helpFile_;
  DWORD helpContext_ = 0;
};

// The per-thread slot is a pthread key rather than a thread_local object: a thread_local
// with a destructor pins a dlopen'ed library in memory until the thread ends, so a component
// that once reported an error could never be unloaded. The key's destructor releases what a
// finishing thread left behind; the key goes with the library.
pthread_key_t slotKey;
bool slotKeyMade = false;

__attribute__((constructor)) void MakeSlotKey() {
  slotKeyMade = ::pthread_key_create(&slotKey, [](void* info) {
                  static_cast<IErrorInfo*>(info)->Release();
                }) == 0;
}

__attribute__((destructor)) void DeleteSlotKey() {
  if (!slotKeyMade) return;
  // Other threads' leftovers cannot be reached from here; they are not freed.
  if (auto* info = static_cast<IErrorInfo*>(::pthread_getspecific(slotKey))) info->Release();
  ::pthread_key_delete(slotKey);
  slotKeyMade = false;
}

// Takes over the reference in `info`, releasing what the slot held.
HRESULT ExchangeSlot(IErrorInfo* info, IErrorInfo** previous) noexcept {
  if (!slotKeyMade) return E_OUTOFMEMORY;
  *previous = static_cast<IErrorInfo*>(::pthread_getspecific(slotKey));
  return ::pthread_setspecific(slotKey, info) == 0 ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** created) noexcept {
  if (created == nullptr) return E_INVALIDARG;
  *created = nullptr;
  IUnknown* object = ComObject<ErrorObject>::Create(nullptr);
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(IID_ICreateErrorInfo, reinterpret_cast<void**>(created));
  object->Release();
  return hr;
}

HRESULT SetErrorInfo(ULONG /*reserved*/, IErrorInfo* info) noexcept {
  if (info != nullptr) info->AddRef();
  IErrorInfo* previous = nullptr;
  const HRESULT hr = ExchangeSlot(info, &previous);
  if (FAILED(hr)) {
    if (info != nullptr) info->Release();
    return hr;
  }
  if (previous != nullptr) previous->Release();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG /*reserved*/, IErrorInfo** info) noexcept {
  if (info == nullptr) return E_INVALIDARG;
  *info = nullptr;
  if (const HRESULT hr = ExchangeSlot(nullptr, info); FAILED(hr)) return hr;
  return *info != nullptr ? S_OK : S_FALSE;
}

HRESULT ReportError(REFIID iid, std::u16string_view source, std::u16string_view description) noexcept {
  ComPtr<ICreateErrorInfo> create;
  if (const HRESULT hr = CreateErrorInfo(create.Out()); FAILED(hr)) return hr;
  try {
    std::u16string sourceText(source);
    std::u16string descriptionText(description);
    create->SetGUID(iid);
    if (!sourceText.empty()) create->SetSource(sourceText.data());
    create->SetDescription(descriptionText.data());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  ComPtr<IErrorInfo> info;
  if (const HRESULT hr = create.As(info); FAILED(hr)) return hr;
  return SetErrorInfo(0, info.Get());
}

}  // namespace quillgate::com
