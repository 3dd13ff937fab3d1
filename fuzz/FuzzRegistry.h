#pragma once
// A private registry file for a harness's whole run, in a fresh temporary directory, so that
// nothing a harness does reaches the user's registry.

#include "Platform/Com/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace quillgate::fuzz {

inline const std::filesystem::path& PrivateRegistry() {
  static const std::filesystem::path file = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillgate-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    const std::filesystem::path path = std::filesystem::path(pattern) / "registry";
    ::setenv("QUILLGATE_REGISTRY", path.c_str(), 1);
    com::registry::SetRegistryPath(path);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(PrivateRegistry().parent_path(), ignored);
    });
    return path;
  }();
  return file;
}

}  // namespace quillgate::fuzz
