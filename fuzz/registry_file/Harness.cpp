// The registry file reader: any bytes either parse, and then write back to a text that reads
// as the same tree, or fail with a RegistryError.
#include "Platform/Com/Registry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace quillgate::com;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  registry::Key root;
  try {
    root = registry::Parse(text, "fuzz");
  } catch (const registry::RegistryError&) {
    return 0;
  }
  const registry::Key copy = root;
  if (!(copy == root)) __builtin_trap();
  const registry::Key back = registry::Parse(registry::Serialize(root), "round trip");
  if (!(back == root)) __builtin_trap();
  // Lookups and removals along every top-level name.
  for (const auto& [name, key] : root.Subkeys()) {
    if (root.Find(name) != &key) __builtin_trap();
  }
  registry::Key edited = root;
  while (!edited.Subkeys().empty()) edited.Remove(edited.Subkeys().begin()->first);
  return 0;
}
