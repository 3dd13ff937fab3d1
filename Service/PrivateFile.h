#pragma once
// Reads a file that holds secrets (the key file, the sites file): only a regular file, never
// through a symbolic link, and only when no one but its owner may read or write it, so a
// secret that others could read, or a file that others could change, is refused outright.

#include "CommonUtilities/FileDescriptor.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace quillgate::service {

using quillgate::FileDescriptor;

// `what` names the file in errors ("the secret file"). Throws std::runtime_error for a
// missing, linked, non-regular, group- or world-accessible, or over-`maxBytes` file.
[[nodiscard]] std::string ReadPrivateFile(const std::filesystem::path& file, std::string_view what,
                                          std::size_t maxBytes);

}  // namespace quillgate::service
