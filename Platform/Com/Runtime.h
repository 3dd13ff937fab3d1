#pragma once
// The component runtime: classes found through HKEY_CLASSES_ROOT and loaded in-process.
//
// CLSID\{clsid}\InprocServer32 names the shared library; it is loaded with dlopen once per
// path and asked for its class object through its exported DllGetClassObject. Libraries stay
// loaded until CoFreeUnusedLibraries has found them unused for a while (see there).
// The registrar (CLSID_Registrar) is built in and needs no registration.

#include "Platform/Com/Interfaces.h"

#include <cstddef>

namespace quillgate::com {

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_ALL = 0x17;

// The exported entry points of an in-process server, with C linkage.
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFunction = HRESULT (*)();
using DllRegisterServerFunction = HRESULT (*)();

// Memory that callers free with CoTaskMemFree (ProgIDFromCLSID's result).
void* CoTaskMemAlloc(std::size_t bytes) noexcept;
void CoTaskMemFree(void* memory) noexcept;

// HKCR\<progid>\CLSID. CO_E_CLASSSTRING when the ProgID is unknown or names no valid class.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) noexcept;
// HKCR\CLSID\{clsid}\ProgID into CoTaskMemAlloc'd text. REGDB_E_CLASSNOTREG when absent.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) noexcept;

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID riid,
                         void** ppv) noexcept;
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** ppv) noexcept;
// Unloads every library loaded here that has been found unused (no lookup under way and its
// DllCanUnloadNow returning S_OK) at every call for at least `unloadDelayMs`. The delay
// lets a thread that has just released a library's last object leave the library's code
// first; 0 unloads at the first call that finds a library unused, which is safe only when
// no release can be in flight. CoFreeUnusedLibraries waits kDefaultUnloadDelayMs.
inline constexpr DWORD kDefaultUnloadDelayMs = 10 * 60 * 1000;
void CoFreeUnusedLibrariesEx(DWORD unloadDelayMs, DWORD reserved) noexcept;
void CoFreeUnusedLibraries() noexcept;

}  // namespace quillgate::com
