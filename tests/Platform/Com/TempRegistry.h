#pragma once
// A private registry for one test: a fresh temporary directory whose "registry" file the
// runtime uses (through QUILLGATE_REGISTRY, so a loaded component library sees it too).

#include "Platform/Com/Registry.h"
#include "tests/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

namespace quillgate::testing {

class TempRegistry {
 public:
  TempRegistry() {
    if (const char* previous = std::getenv("QUILLGATE_REGISTRY")) previous_ = previous;
    file_ = folder_ / "registry";
    ::setenv("QUILLGATE_REGISTRY", file_.c_str(), 1);
    com::registry::SetRegistryPath({});
  }
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;
  ~TempRegistry() {
    // Back to what the program had (the test program's own private registry).
    if (previous_) {
      ::setenv("QUILLGATE_REGISTRY", previous_->c_str(), 1);
    } else {
      ::unsetenv("QUILLGATE_REGISTRY");
    }
  }

  [[nodiscard]] const std::filesystem::path& Directory() const { return folder_.Path(); }
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
  TemporaryFolder folder_{"com"};
  std::filesystem::path file_;
  std::optional<std::string> previous_;
};

// For a whole test program: a private, empty registry, so that no test ever reads the
// user's QUILLGATE_REGISTRY or ~/.config/quillgate/registry (a stale registration there
// would change what the tests see). Tests that need a registry of their own still make a
// TempRegistry. Register with ::testing::AddGlobalTestEnvironment.
class PrivateRegistryEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { registry_.emplace(); }
  void TearDown() override { registry_.reset(); }
  [[nodiscard]] const TempRegistry& Registry() const { return *registry_; }

 private:
  std::optional<TempRegistry> registry_;
};

}  // namespace quillgate::testing
