#pragma once
// A private registry file for a harness's whole run, in a fresh temporary directory that is
// removed at exit, so that nothing a harness does reaches the user's registry.

#include "Platform/Com/Registry.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace quillgate::fuzz {

inline const std::filesystem::path& PrivateRegistry() {
  // Plain storage: it must outlive the static objects, whose destructors run before the
  // exit handler below.
  static char directory[] = "/tmp/quillgate-fuzz-XXXXXX";
  static const std::filesystem::path file = [] {
    if (::mkdtemp(directory) == nullptr) std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(directory, ignored);
    });
    const std::filesystem::path path = std::filesystem::path(directory) / "registry";
    ::setenv("QUILLGATE_REGISTRY", path.c_str(), 1);
    com::registry::SetRegistryPath(path);
    return path;
  }();
  return file;
}

}  // namespace quillgate::fuzz
