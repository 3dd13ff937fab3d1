#pragma once
// Holds one reference to an interface and releases it on destruction.

#include "Platform/Com/Interfaces.h"

#include <utility>

namespace quillgate::com {

template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}  // NOLINT: converting on purpose
  // Takes a new reference of its own.
  explicit ComPtr(T* pointer) noexcept : pointer_(pointer) {
    if (pointer_) pointer_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.pointer_) {}
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Adopts a reference the caller already owns.
  static ComPtr Attach(T* pointer) noexcept {
    ComPtr result;
    result.pointer_ = pointer;
    return result;
  }
  [[nodiscard]] T* Detach() noexcept { return std::exchange(pointer_, nullptr); }
  void Reset() noexcept {
    if (T* old = std::exchange(pointer_, nullptr)) old->Release();
  }

  [[nodiscard]] T* Get() const noexcept { return pointer_; }
  T* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }

  // For out-parameters: releases the current reference and hands out the slot.
  T** Out() noexcept {
    Reset();
    return &pointer_;
  }
  void** OutVoid() noexcept { return reinterpret_cast<void**>(Out()); }

  template <typename U>
  HRESULT As(ComPtr<U>& other) const noexcept {
    if (!pointer_) return E_POINTER;
    return pointer_->QueryInterface(InterfaceId<U>::value, other.OutVoid());
  }

 private:
  T* pointer_ = nullptr;
};

}  // namespace quillgate::com
