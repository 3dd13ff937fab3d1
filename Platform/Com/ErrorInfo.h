#pragma once
// Rich error information: the description, source and interface of the last failure,
// kept per thread for the caller to collect.
//
// The slot lives in this copy of the runtime code. A component loaded with dlopen carries
// its own copy, so a host reads a loaded component's error information through the
// component's IDispatch::Invoke (EXCEPINFO), as script hosts do.

#include "Platform/Com/Interfaces.h"

namespace quillgate::com {

// A new, empty error object; query it for IErrorInfo to install it.
HRESULT CreateErrorInfo(ICreateErrorInfo** created) noexcept;
// Makes `info` (or nothing, for null) the calling thread's error information, replacing any.
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) noexcept;
// Hands the calling thread's error information to the caller and clears the slot:
// S_FALSE with null when there is none.
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info) noexcept;

// Builds and installs error information in one step (what components do before returning
// a failure). Returns S_OK or the failure that prevented it.
HRESULT ReportError(REFIID iid, std::u16string_view source, std::u16string_view description) noexcept;

}  // namespace quillgate::com
