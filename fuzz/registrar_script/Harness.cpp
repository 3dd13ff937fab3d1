// The registrar's script language: any text, in either mode, applied to a registry that
// holds a registration. The change runs inside a transaction that is never committed, so
// every input starts from the same registry and nothing is written.
#include "Platform/Com/Registrar.h"
#include "Platform/Com/Registry.h"
#include "fuzz/FuzzRegistry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace quillgate::com;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool prepared = [] {
    quillgate::fuzz::PrivateRegistry();
    registry::Update([](registry::Key& root) {
      root.Create("Tovik.Quillgate\\CLSID").defaultValue = "{F33CEE78-2399-454A-8873-30020A58C3B3}";
      registry::Key& server = root.Create("CLSID\\{F33CEE78-2399-454A-8873-30020A58C3B3}\\InprocServer32");
      server.defaultValue = "/opt/lib'quillgate.so";
      server.values["ThreadingModel"] = "Apartment";
    });
    return true;
  }();
  (void)prepared;
  if (size == 0) return 0;
  // The first byte picks the mode; the rest is the script.
  const ScriptMode mode = (data[0] & 1) != 0 ? ScriptMode::Unregister : ScriptMode::Register;
  const std::string_view script(reinterpret_cast<const char*>(data + 1), size - 1);
  const Replacements replacements{{"MODULE", "/opt/lib''quillgate.so"}, {"Empty", ""}};
  try {
    registry::Transaction([&] {
      RunRegistryScript(script, replacements, mode);
      // What the script made must be writable and read back as the same tree.
      const registry::Key after = registry::Read();
      if (!(registry::Parse(registry::Serialize(after), "fuzz") == after)) __builtin_trap();
      return false;
    });
  } catch (const ScriptError&) {
  } catch (const registry::RegistryError&) {
  }
  return 0;
}
