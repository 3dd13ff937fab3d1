// Type libraries: the text form, loading from a .tlb file, and registration.
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/TypeLib.h"
#include "Platform/Com/Utf.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quillgate::com {
namespace {

using testing::TempRegistry;

constexpr std::string_view kSample = R"(QUILLGATE TYPELIB 1
library SAMPLELib {AAAAAAAA-0000-0000-0000-000000000001} 2.3 409 win32 'Sample ''quoted'' Library'
interface [dual,oleautomation] ISample {AAAAAAAA-0000-0000-0000-000000000002} IDispatch 'ISample Interface'
  propget Size 1 'property Size' ([out,retval] long* pVal)
  propput Size 1 'property Size' ([in] long newVal)
  method Join 2 'method Join' (BSTR first, BSTR second, [out,retval] BSTR* Result)
coclass Sample {AAAAAAAA-0000-0000-0000-000000000003} 'Sample Class' ([default] ISample)
)";

std::u16string Wide(const std::filesystem::path& path) { return Utf8ToUtf16(path.string()); }

TEST(TypeLibText, DescribesMembersInOrder) {
  const TypeLibData lib = ParseTypeLib(kSample);
  EXPECT_EQ(lib.name, u"SAMPLELib");
  EXPECT_EQ(lib.helpString, u"Sample 'quoted' Library");
  EXPECT_EQ(lib.attr.wMajorVerNum, 2);
  EXPECT_EQ(lib.attr.wMinorVerNum, 3);
  EXPECT_EQ(lib.attr.lcid, 0x409u);
  ASSERT_EQ(lib.types.size(), 2u);
  const TypeDesc& sample = lib.types[0];
  EXPECT_EQ(sample.flags & TYPEFLAG_FDUAL, TYPEFLAG_FDUAL);
  // Names and slots member for member: ShippedTypeLibrary.MatchesTheInterfaceMemberForMember.
  ASSERT_EQ(sample.funcs.size(), 3u);
  EXPECT_EQ(sample.funcs[2].CallerParams(), 2u);
  EXPECT_EQ(sample.funcs[2].Retval()->vt, VT_BSTR);
  EXPECT_EQ(lib.types[1].implemented, std::vector<std::u16string>{u"ISample"});
}

TEST(TypeLibText, RejectsInconsistentDescriptions) {
  const std::string head =
      "QUILLGATE TYPELIB 1\nlibrary L {AAAAAAAA-0000-0000-0000-000000000001} 1.0 0 win32 'l'\n"
      "interface [dual] I {AAAAAAAA-0000-0000-0000-000000000002} IDispatch 'i'\n";
  const std::string faulty[] = {
      "propget A 1 'a' ([in] long x)\n",                               // a get without retval
      "method A 1 'a' ([out,retval] long* r, [in] long x)\n",          // retval not last
      "method A 1 'a' ()\nmethod B 1 'b' ()\n",                        // one DISPID, two names
      "method A 1 'a' ()\nmethod A 1 'a' ()\n",                        // the same member twice
      "method A 1 'a' ([in] widget w)\n",                              // unknown type
      "coclass C {AAAAAAAA-0000-0000-0000-000000000003} 'c' ([default] INope)\n",
      "method A x 'a' ()\n",
      "method A 1 'unclosed ()\n",
  };
  for (const std::string& tail : faulty) {
    EXPECT_THROW(ParseTypeLib(head + tail), TypeLibFormatError) << tail;
  }
  EXPECT_THROW(ParseTypeLib("QUILLGATE TYPELIB 2\n"), TypeLibFormatError);
  // Versions without a dot, or with parts that are not numbers (the first of these once
  // made the reader step outside the text; the sanitizer build catches that).
  for (const char* version : {"U", "1", ".", "1.", ".1", "'1.0'", "1.0.0", "70000.0"}) {
    EXPECT_THROW(ParseTypeLib(std::string("QUILLGATE TYPELIB 1\nlibrary T "
                                          "{5BE8E187-932B-45E9-9287-602BDAE7CAE0} ") + version),
                 TypeLibFormatError)
        << version;
  }
}

// A member's name and then its parameters' names, as a caller naming its arguments asks.
TEST(TypeLibObjects, NamesResolveWithoutRegardToCase) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(CreateTypeLib(ParseTypeLib(kSample), lib.Out()), S_OK);
  ComPtr<ITypeInfo> info;
  const GUID sample = *GuidFromString("{AAAAAAAA-0000-0000-0000-000000000002}");
  ASSERT_EQ(lib->GetTypeInfoOfGuid(sample, info.Out()), S_OK);
  std::u16string names[] = {u"JOIN", u"Second", u"first"};
  LPOLESTR pointers[] = {names[0].data(), names[1].data(), names[2].data()};
  MEMBERID ids[3] = {};
  ASSERT_EQ(info->GetIDsOfNames(pointers, 3, ids), S_OK);
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(ids[1], 1);
  EXPECT_EQ(ids[2], 0);
}

// A sound file loads (the registration test below starts from one); these do not.
TEST(TypeLibFiles, RefusesDamagedAndMissingTlbFiles) {
  TempRegistry registry;
  const auto tlb = registry.Directory() / "sample.tlb";
  ComPtr<ITypeLib> fromFile;
  std::ofstream(tlb) << "QUILLGATE TYPELIB 1\nlibrary broken";
  EXPECT_EQ(LoadTypeLib(Wide(tlb).c_str(), fromFile.Out()), TYPE_E_INVDATAREAD);
  std::ofstream(tlb, std::ios::trunc) << "something else";
  EXPECT_EQ(LoadTypeLib(Wide(tlb).c_str(), fromFile.Out()), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(LoadTypeLib(u"/nonexistent.tlb", fromFile.Out()), TYPE_E_CANTLOADLIBRARY);
}

TEST(TypeLibRegistration, RegisterLoadAndUnregister) {
  TempRegistry registry;
  const auto tlb = registry.Directory() / "sample.tlb";
  std::ofstream(tlb) << kSample;
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLib(Wide(tlb).c_str(), lib.Out()), S_OK);
  const GUID libId = *GuidFromString("{AAAAAAAA-0000-0000-0000-000000000001}");
  ComPtr<ITypeLib> loaded;
  EXPECT_EQ(LoadRegTypeLib(libId, 2, 0, 0, loaded.Out()), TYPE_E_LIBNOTREGISTERED);

  ASSERT_EQ(RegisterTypeLib(lib.Get(), Wide(tlb).c_str(), u"/help/"), S_OK);
  const registry::Key root = registry::Read();
  const std::string base = "TypeLib\\{AAAAAAAA-0000-0000-0000-000000000001}\\2.3";
  EXPECT_EQ(root.Find(base + "\\HELPDIR")->defaultValue, std::optional<std::string>("/help/"));
  const registry::Key* interface =
      root.Find("Interface\\{AAAAAAAA-0000-0000-0000-000000000002}\\TypeLib");
  ASSERT_NE(interface, nullptr);
  EXPECT_EQ(interface->values.at("Version"), "2.3");

  EXPECT_EQ(LoadRegTypeLib(libId, 2, 1, 0, loaded.Out()), S_OK);   // a lower minor is satisfied
  EXPECT_EQ(LoadRegTypeLib(libId, 2, 4, 0, loaded.Out()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadRegTypeLib(libId, 3, 0, 0, loaded.Out()), TYPE_E_LIBNOTREGISTERED);

  ASSERT_EQ(UnRegisterTypeLib(libId, 2, 3, 0x409, SYS_WIN32), S_OK);
  EXPECT_EQ(registry::Read().Find("TypeLib\\{AAAAAAAA-0000-0000-0000-000000000001}"), nullptr);
  EXPECT_EQ(UnRegisterTypeLib(libId, 2, 3, 0x409, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
}

}  // namespace
}  // namespace quillgate::com
