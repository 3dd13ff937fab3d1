#pragma once
// A private registry for one test: a fresh temporary directory whose "registry" file the
// runtime uses (through QUILLGATE_REGISTRY, so a loaded component library sees it too).

#include "Platform/Com/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace quillgate::testing {

class TempRegistry {
 public:
  TempRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillgate-com-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    directory_ = pattern;
    file_ = directory_ / "registry";
    ::setenv("QUILLGATE_REGISTRY", file_.c_str(), 1);
    com::registry::SetRegistryPath({});
  }
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;
  ~TempRegistry() {
    ::unsetenv("QUILLGATE_REGISTRY");
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  [[nodiscard]] const std::filesystem::path& Directory() const { return directory_; }
  [[nodiscard]] const std::filesystem::path& File() const { return file_; }
  [[nodiscard]] std::string Text() const {
    std::ifstream in(file_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& text) const {
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << text;
  }

 private:
  std::filesystem::path directory_;
  std::filesystem::path file_;
};

}  // namespace quillgate::testing
