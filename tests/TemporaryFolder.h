#pragma once
// A folder of a test's own under the system's temporary folder, made by mkdtemp (so that no
// other user can have made it first) and removed with everything in it.

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace quillgate::testing {

class TemporaryFolder {
 public:
  // `purpose` goes into the folder's name, to tell whose a folder left by a crash is.
  explicit TemporaryFolder(std::string_view purpose = "test") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("quillgate-" + std::string(purpose) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a temporary folder: " + std::string(std::strerror(errno)));
    }
    path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;  // a test may have taken the folder's permissions away
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  [[nodiscard]] const std::filesystem::path& Path() const { return path_; }
  [[nodiscard]] std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace quillgate::testing
