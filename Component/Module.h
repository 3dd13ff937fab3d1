#pragma once
// Module state of the component library: the lock count that DllCanUnloadNow reports, the
// cached class factory, and the clean-up actions run when the library is unloaded.

#include "Platform/Com/Interfaces.h"

#define QUILLGATE_EXPORT __attribute__((visibility("default")))

namespace quillgate::component {

void LockModule() noexcept;
void UnlockModule() noexcept;
[[nodiscard]] com::LONG ModuleLockCount() noexcept;

// Runs `action` when the library is unloaded, after the class factory is released (most
// recently added first). Returns false when the table is full.
bool AddTermFunction(void (*action)()) noexcept;

}  // namespace quillgate::component

// The library's exported entry points.
extern "C" {
QUILLGATE_EXPORT quillgate::com::HRESULT DllGetClassObject(const quillgate::com::CLSID& clsid,
                                                           const quillgate::com::IID& riid,
                                                           void** ppv);
QUILLGATE_EXPORT quillgate::com::HRESULT DllCanUnloadNow();
QUILLGATE_EXPORT quillgate::com::HRESULT DllRegisterServer();
QUILLGATE_EXPORT quillgate::com::HRESULT DllUnregisterServer();
}
