// The registry script language in both modes, and that a faulty script changes nothing.
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/Registrar.h"
#include "Platform/Com/Runtime.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <gtest/gtest.h>

namespace quillgate::com {
namespace {

using registry::Key;
using testing::TempRegistry;

constexpr std::string_view kScript = R"(HKCR
{
	Sample.Thing.1 = s 'Thing Class'
	{
		CLSID = s '{11111111-2222-3333-4444-555555555555}'
	}
	NoRemove CLSID
	{
		ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Thing Class'
		{
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
		}
	}
	Delete Old.Thing
}
)";

std::optional<std::string> Default(const Key& root, std::string_view path) {
  const Key* key = root.Find(path);
  return key ? key->defaultValue : std::nullopt;
}

// Over what an older registration left: ForceRemove rewrites its key whole, Delete deletes.
// (Values, empty keys, replacements and quotes doubled in them are read back from the
// component's own registration, tests/Component.)
TEST(RegistryScript, RegistersNestedKeysValuesAndReplacementsOverStaleKeys) {
  TempRegistry registry;
  registry::Update([](Key& root) {
    root.Create("CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale\\Deep");
    root.Create("Old.Thing\\Sub");
  });
  RunRegistryScript(kScript, {{"Module", "/m.so"}}, ScriptMode::Register);
  const Key root = registry::Read();
  EXPECT_EQ(root.Find("CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale"), nullptr);
  EXPECT_EQ(root.Find("Old.Thing"), nullptr);
  EXPECT_EQ(Default(root, "Sample.Thing.1"), "Thing Class");
  EXPECT_FALSE(root.Find("CLSID")->defaultValue.has_value());
}

TEST(RegistryScript, UnregisterKeepsNoRemoveKeysAndForeignSubkeys) {
  TempRegistry registry;
  RunRegistryScript(kScript, {{"MODULE", "/m.so"}}, ScriptMode::Register);
  registry::Update([](Key& root) {
    root.Create("CLSID\\{99999999-2222-3333-4444-555555555555}");
    root.Create("Sample.Thing.1\\Foreign");  // added by someone else
  });
  RunRegistryScript(kScript, {{"MODULE", "/m.so"}}, ScriptMode::Unregister);
  const Key root = registry::Read();
  EXPECT_EQ(root.Find("CLSID\\{11111111-2222-3333-4444-555555555555}"), nullptr);
  EXPECT_NE(root.Find("CLSID\\{99999999-2222-3333-4444-555555555555}"), nullptr);
  ASSERT_NE(root.Find("Sample.Thing.1"), nullptr);  // kept alive by the foreign subkey
  EXPECT_EQ(root.Find("Sample.Thing.1\\CLSID"), nullptr);
}

TEST(RegistryScript, FaultyScriptsChangeNothing) {
  TempRegistry registry;
  registry::Update([](Key& root) { root.Create("Before"); });
  const std::string before = registry.Text();
  const std::string faulty[] = {
      "HKCR { A = s 'x' { B = s 'y' }",            // unclosed
      "HKCR { A = s 'x' } HKLM { B = s 'y' }",     // a second root we cannot write
      "HKCR { A = d '1' }",                        // not a string value
      "HKCR { A = s unquoted }",
      "HKCR { A = s '%NOPE%' }",                   // no such replacement
      "HKCR { A = s 'open }",
      "HKCR { val X = s 'y' }",                    // values on the root
      "HKCR { A\\B = s 'x' }",
  };
  for (const std::string& script : faulty) {
    EXPECT_THROW(RunRegistryScript("HKCR { Early = s 'written?' }\n" + script, {}, ScriptMode::Register),
                 ScriptError)
        << script;
    EXPECT_EQ(registry.Text(), before) << script;
  }
}

TEST(RegistryScript, RegistrarReportsScriptErrorsAsFailures) {
  TempRegistry registry;
  ComPtr<IRegistrar> registrar;
  ASSERT_EQ(CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                             registrar.OutVoid()),
            S_OK);
  EXPECT_EQ(registrar->StringRegister(u"HKCR { A = s 'x'"), DISP_E_EXCEPTION);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Out()), S_OK);
  BString description;
  info->GetDescription(description.Out());
  EXPECT_NE(description.View().find(u"registry script"), std::u16string_view::npos);
  EXPECT_FALSE(std::filesystem::exists(registry.File()));

  ASSERT_EQ(registrar->AddReplacement(u"Who", u"me"), S_OK);
  ASSERT_EQ(registrar->StringRegister(u"HKCR { A = s '%WHO% 100%%' }"), S_OK);
  EXPECT_EQ(Default(registry::Read(), "A"), "me 100%");
  EXPECT_EQ(registrar->StringUnregister(u"HKCR { A = s '%who% 100%%' }"), S_OK);
  EXPECT_EQ(registry::Read().Find("A"), nullptr);
  EXPECT_EQ(registrar->ResourceRegister(u"/nonexistent/lib.so", 101, u"REGISTRY"),
            HRESULT_FROM_WIN32_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace quillgate::com
