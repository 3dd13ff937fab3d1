#pragma once
// Type libraries: what a component tells hosts about its classes and interfaces, and what
// IDispatch is served from.
//
// The file form is our own compact text (a component carries it as resource "TYPELIB" 1,
// or beside it as a .tlb file):
//
//   QUILLGATE TYPELIB 1
//   library NAME {LIBID} MAJOR.MINOR LCID(hex) win32 'help string'
//   interface NAME {IID} dual,oleautomation IDispatch 'help string'
//     propget NAME DISPID 'help string' ([out,retval] long* pVal)
//     propput NAME DISPID 'help string' ([in] long newVal)
//     method NAME DISPID 'help string' ([in] BSTR code, [out,retval] VARIANT* vResult)
//   coclass NAME {CLSID} 'help string' (default INTERFACE)
//
// Tokens are separated by white space and ( ) [ ] , ; quoted texts use '' for a quote;
// '#' starts a comment. Parameter types: long, short, byte, float, double, BSTR,
// VARIANT_BOOL, VARIANT, each optionally followed by '*'. A parameter without attributes
// is an input. Members keep their order: it is the interface's slot order after IDispatch.
//
// The interfaces below are the part of the runtime's ITypeLib and ITypeInfo that hosts and
// IDispatch implementations here need; their slot order is not the runtime's.

#include "Platform/Com/Interfaces.h"

#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::com {

enum TYPEKIND : int { TKIND_INTERFACE = 3, TKIND_DISPATCH = 4, TKIND_COCLASS = 5 };
enum SYSKIND : int { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };
enum INVOKEKIND : int {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
};

inline constexpr USHORT PARAMFLAG_FIN = 0x1;
inline constexpr USHORT PARAMFLAG_FOUT = 0x2;
inline constexpr USHORT PARAMFLAG_FRETVAL = 0x8;

inline constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
inline constexpr WORD TYPEFLAG_FDUAL = 0x40;
inline constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
inline constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;

inline constexpr WORD IMPLTYPEFLAG_FDEFAULT = 0x1;

struct TLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
};

struct ParamDesc {
  std::u16string name;
  VARTYPE vt = VT_EMPTY;  // the type pointed to, for pointer parameters
  bool pointer = false;
  USHORT flags = 0;
};

struct FuncDesc {
  MEMBERID memid = 0;
  INVOKEKIND invkind = INVOKE_FUNC;
  std::u16string name;
  std::u16string helpString;
  std::vector<ParamDesc> params;
  SHORT oVft = 0;  // the member's slot number in the interface

  // Parameters that a caller passes (everything but the retval).
  [[nodiscard]] std::size_t CallerParams() const noexcept;
  [[nodiscard]] const ParamDesc* Retval() const noexcept;
};

struct TypeDesc {
  TYPEKIND kind = TKIND_INTERFACE;
  GUID guid{};
  std::u16string name;
  std::u16string helpString;
  WORD flags = 0;
  std::u16string baseName;                  // interfaces: IDispatch or IUnknown
  std::vector<FuncDesc> funcs;              // interfaces
  std::vector<std::u16string> implemented;  // coclasses, the default interface first
};

struct TypeLibData {
  TLIBATTR attr{};
  std::u16string name;
  std::u16string helpString;
  std::vector<TypeDesc> types;
};

class TypeLibFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the text form; throws TypeLibFormatError("line N: reason").
TypeLibData ParseTypeLib(std::string_view text);

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
};

struct ITypeLib;

struct ITypeInfo : IUnknown {
  virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
  // The description stays valid while the type information is held.
  virtual HRESULT GetFuncDesc(UINT index, const FuncDesc** desc) = 0;
  // The member's name followed by its parameters' names.
  virtual HRESULT GetNames(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) = 0;
  // Case-insensitive; further names are parameter names of the first, given their
  // positions. Unknown names give DISP_E_UNKNOWNNAME and DISPID_UNKNOWN in their places.
  virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
  // MEMBERID_NIL (-1) for the type itself; any out-pointer may be null.
  virtual HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* docString,
                                   DWORD* helpContext, BSTR* helpFile) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;

 protected:
  ~ITypeInfo() = default;
};

struct ITypeLib : IUnknown {
  virtual UINT GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** info) = 0;
  virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) = 0;
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR** attr) = 0;
  // index -1: the library itself.
  virtual HRESULT GetDocumentation(int index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                   BSTR* helpFile) = 0;
  virtual void ReleaseTLibAttr(TLIBATTR* attr) = 0;

 protected:
  ~ITypeLib() = default;
};

template <> struct InterfaceId<ITypeInfo> { static constexpr const IID& value = IID_ITypeInfo; };
template <> struct InterfaceId<ITypeLib> { static constexpr const IID& value = IID_ITypeLib; };

inline constexpr MEMBERID MEMBERID_NIL = -1;

// A type library from the parsed form (what LoadTypeLib builds).
HRESULT CreateTypeLib(TypeLibData data, ITypeLib** lib) noexcept;

// From a module file's "TYPELIB" 1 resource, or from a .tlb file in the text form.
// TYPE_E_CANTLOADLIBRARY when the file is neither, TYPE_E_INVDATAREAD when it is damaged.
HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** lib) noexcept;
// Writes TypeLib\{libid}\MAJOR.MINOR (with the locale's win32 path, FLAGS and HELPDIR) and
// Interface\{iid} for every dual or automation interface, in one registry update.
HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) noexcept;
// Removes what RegisterTypeLib wrote for that library version, locale and system; keys that
// other versions or locales still use stay.
HRESULT UnRegisterTypeLib(REFGUID libId, WORD major, WORD minor, LCID lcid, SYSKIND syskind) noexcept;
// Loads the registered library: the same major version, the highest minor at least `minor`,
// the locale `lcid`, else its primary language, else neutral (0), else any one registered.
HRESULT LoadRegTypeLib(REFGUID libId, WORD major, WORD minor, LCID lcid, ITypeLib** lib) noexcept;

// ---- serving IDispatch from type information ---------------------------------------------

// Calls the object's member once the arguments are checked and coerced: `args` are the
// caller's arguments in declaration order, each of the declared type; `retval` (null when
// the member has none) is an empty variant of the retval's declared type whose value field
// receives the result (for a VARIANT retval, the variant itself).
using MemberCall = std::function<HRESULT(const FuncDesc& func, std::span<VARIANT> args,
                                         VARIANT* retval)>;

// The object's own say on a member the type information describes, before anything is
// converted or called: S_OK, or the DISP_E_* failure to answer (type information can come
// from a file that describes another build of the object).
using MemberCheck = std::function<HRESULT(const FuncDesc& func)>;

// IDispatch::Invoke on top of `info`: finds the member by DISPID and flags, asks `check`
// (when given), checks the argument count (DISP_E_BADPARAMCOUNT), coerces each argument to its declared type
// (DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW with *argErr naming it), calls `call`, and hands
// the retval to `result`. When the member fails and `excepInfo` is given, it is filled from
// the thread's error information and DISP_E_EXCEPTION is returned.
HRESULT DispatchInvoke(ITypeInfo* info, DISPID member, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr,
                       const MemberCall& call, const MemberCheck& check = {}) noexcept;

}  // namespace quillgate::com
