#pragma once
// The registrar: runs the registry script language that components carry as a "REGISTRY"
// resource, in register or unregister mode, against our HKEY_CLASSES_ROOT.
//
//   HKCR
//   {
//       Some.ProgID = s 'Text'              key with a default value; '' is a quote
//       {
//           CLSID = s '{...}'               nested key
//       }
//       NoRemove CLSID                      unregistering leaves the key (not its children)
//       {
//           ForceRemove {...} = s 'Text'    registering first deletes it with its subkeys;
//           {                               unregistering deletes it with its subkeys
//               InprocServer32 = s '%MODULE%'   replaced with the registrar's replacement
//               {
//                   val ThreadingModel = s 'Apartment'   named value
//               }
//           }
//           Delete Old.Key                  deleted when registering, ignored otherwise
//       }
//   }
//
// Tokens are separated by white space; names may be quoted. Keywords compare without
// regard to case. Only HKEY_CLASSES_ROOT (HKCR) and string values (s) exist here.
// A keyless key in unregister mode is removed once its listed children are gone and it has
// no other subkeys left.
//
// The whole script is parsed before the registry is touched, and every change of one run is
// written in one atomic registry update: a faulty script changes nothing.

#include "Platform/Com/Interfaces.h"

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillgate::com {

inline constexpr CLSID CLSID_Registrar{0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
inline constexpr IID IID_IRegistrar{0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

struct IRegistrar : IUnknown {
  // The replacement for %key% in scripts run afterwards.
  virtual HRESULT AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
  virtual HRESULT ClearReplacements() = 0;
  // The script in resource `szID` (its decimal number) of type `szType` in the module file.
  virtual HRESULT ResourceRegisterSz(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType) = 0;
  virtual HRESULT ResourceUnregisterSz(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType) = 0;
  // The script in a text file.
  virtual HRESULT FileRegister(LPCOLESTR fileName) = 0;
  virtual HRESULT FileUnregister(LPCOLESTR fileName) = 0;
  // The script given as text.
  virtual HRESULT StringRegister(LPCOLESTR data) = 0;
  virtual HRESULT StringUnregister(LPCOLESTR data) = 0;
  // The script in resource `nID` of type `szType` in the module file.
  virtual HRESULT ResourceRegister(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType) = 0;
  virtual HRESULT ResourceUnregister(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType) = 0;

 protected:
  ~IRegistrar() = default;
};
template <> struct InterfaceId<IRegistrar> { static constexpr const IID& value = IID_IRegistrar; };

// What CoCreateInstance(CLSID_Registrar) hands out.
HRESULT CreateRegistrar(IUnknown* outer, REFIID riid, void** ppv) noexcept;

// ---- the script engine the registrar runs (also usable directly) -----------------------

class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const noexcept;
};
using Replacements = std::map<std::string, std::string, NoCaseLess>;

enum class ScriptMode { Register, Unregister };

// Parses the UTF-8 script with its replacements and applies it. Throws ScriptError for a
// faulty script (nothing changed) and registry::RegistryError when the registry cannot be
// read or written.
void RunRegistryScript(std::string_view script, const Replacements& replacements, ScriptMode mode);

}  // namespace quillgate::com
