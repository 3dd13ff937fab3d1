#pragma once
// Modules as files: the file a loaded module came from, and the resources a module file
// carries, read from the file without loading it (what the registrar and LoadTypeLib need
// when they are given a file name).

#include "Platform/Resources/ModuleResources.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace quillgate::com {

// The absolute path of the loaded module, or empty when it cannot be found.
std::filesystem::path ModuleFileName(platform::ModuleHandle module);

// The bytes of resource `id` of type `type` in the ELF file at `path`: nothing when the file
// carries no such resource. Throws std::runtime_error when the file cannot be read or is not
// an ELF module.
std::optional<std::vector<std::byte>> ReadModuleResource(const std::filesystem::path& path,
                                                         std::string_view type, int id);

}  // namespace quillgate::com
