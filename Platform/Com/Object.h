#pragma once
// Reference counting and lifetime for the objects this code hands out, aggregated or not.
//
// A class T implements its interfaces and one function,
//     void* InternalQueryInterface(REFIID riid) noexcept
// which returns the interface pointer for `riid` (without a reference) or null; it need not
// answer IUnknown. A class that holds its library loaded while an object lives takes the
// hold in its constructor and gives it back in `static void AfterObjectDestroyed() noexcept`,
// which runs once the object has been destroyed. ComObject<T> adds the three IUnknown methods. When the object is
// aggregated, every interface's IUnknown methods go to the outer object, and the outer
// object holds the inner one through a separate, non-delegating IUnknown, as the runtime's
// aggregation rules require.

#include "Platform/Com/Interfaces.h"

#include <atomic>
#include <new>
#include <utility>

namespace quillgate::com {

template <typename T>
class ComObject final : public T {
 public:
  // Makes an object with one reference, held through the returned IUnknown: the object's
  // own when `outer` is null, the non-delegating one when it is given. Null when memory
  // runs out. Exceptions from T's constructor propagate.
  template <typename... Args>
  static IUnknown* Create(IUnknown* outer, Args&&... args) {
    auto* object = new (std::nothrow) ComObject(outer, std::forward<Args>(args)...);
    if (object == nullptr) return nullptr;
    return &object->inner_;
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return controlling_->QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return controlling_->AddRef(); }
  ULONG Release() override { return controlling_->Release(); }

 private:
  // The object's own IUnknown: counts references and answers QueryInterface for the object.
  struct Inner final : IUnknown {
    ComObject* self;
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
      if (ppv == nullptr) return E_POINTER;
      *ppv = nullptr;
      if (riid == IID_IUnknown) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
      }
      void* found = self->InternalQueryInterface(riid);
      if (found == nullptr) return E_NOINTERFACE;
      *ppv = found;
      // Interfaces count through the controlling unknown (the outer object when aggregated).
      self->controlling_->AddRef();
      return S_OK;
    }
    ULONG AddRef() override { return ++self->references_; }
    ULONG Release() override {
      const ULONG left = --self->references_;
      if (left == 0) {
        delete self;
        // A class whose objects keep their library loaded lets go only here, after the
        // object is gone: once the library's count is 0 another thread may unload it, so
        // nothing of the library's may still be waiting to run (only this return is).
        if constexpr (requires { T::AfterObjectDestroyed(); }) T::AfterObjectDestroyed();
      }
      return left;
    }
  };

  template <typename... Args>
  explicit ComObject(IUnknown* outer, Args&&... args) : T(std::forward<Args>(args)...) {
    inner_.self = this;
    controlling_ = outer != nullptr ? outer : static_cast<IUnknown*>(&inner_);
  }
  ~ComObject() = default;

  Inner inner_{};
  IUnknown* controlling_ = nullptr;
  std::atomic<ULONG> references_{1};
};

}  // namespace quillgate::com
