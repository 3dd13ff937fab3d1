#pragma once
// The component's fixed identities. The same three GUIDs are written in the registry script
// (Captcha.rgs) and the type library (Quillgate.qtl); a test keeps the three in step.

#include "Platform/Com/Guid.h"

namespace quillgate::component {

// {F33CEE78-2399-454A-8873-30020A58C3B3}
inline constexpr com::CLSID CLSID_Captcha{0xF33CEE78, 0x2399, 0x454A, {0x88, 0x73, 0x30, 0x02, 0x0A, 0x58, 0xC3, 0xB3}};
// {7483FD4E-09AD-4CCD-80A5-29AD5934E486}
inline constexpr com::IID IID_ICaptcha{0x7483FD4E, 0x09AD, 0x4CCD, {0x80, 0xA5, 0x29, 0xAD, 0x59, 0x34, 0xE4, 0x86}};
// {5BE8E187-932B-45E9-9287-602BDAE7CAE0}
inline constexpr com::GUID LIBID_TOVIKQUILLGATELib{0x5BE8E187, 0x932B, 0x45E9, {0x92, 0x87, 0x60, 0x2B, 0xDA, 0xE7, 0xCA, 0xE0}};

inline constexpr char16_t kProgId[] = u"Tovik.Quillgate.1";
inline constexpr char16_t kVersionIndependentProgId[] = u"Tovik.Quillgate";

inline constexpr unsigned kTypeLibMajor = 1;
inline constexpr unsigned kTypeLibMinor = 0;
inline constexpr unsigned kTypeLibLocale = 0x409;

// Resources the module carries (added in Component/deps.cmake).
inline constexpr int kRegistryScriptResource = 101;  // type "REGISTRY"
inline constexpr int kTypeLibResource = 1;           // type "TYPELIB"

}  // namespace quillgate::component
