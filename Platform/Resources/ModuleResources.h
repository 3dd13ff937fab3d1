#pragma once
// Data compiled into a module (the executable or a shared library) and found at run time by
// resource type name and integer id, the way a Windows module carries its resources.
// Resources are added at build time with quillgate_add_resource() (cmake/ModuleResources.cmake);
// each lives in the module's loaded image, so finding one opens no file.

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace quillgate::platform {

// Identifies one loaded module by the base address of its image (what dladdr reports as
// dli_fbase); null means "no module".
using ModuleHandle = const void*;

// The module whose image contains `address`, or null when no loaded module does.
ModuleHandle ModuleContaining(const void* address) noexcept;

// The module that holds this library's code: the executable when the component is linked
// in statically, the component's shared library when it is loaded as one.
ModuleHandle ThisModule() noexcept;

// The bytes of resource `id` of type `type` (compared exactly) in `module`, or nothing
// when the module carries no such resource. The bytes stay valid while the module is loaded.
std::optional<std::span<const std::byte>> FindResource(ModuleHandle module, std::string_view type,
                                                        int id) noexcept;

namespace detail {
// Looks for the resource in one note segment of a module, loaded or read from its file:
// `notes` is the segment's bytes and `alignment` its p_align (4, or 8 for the 8-aligned notes of ELF64). Damaged or
// truncated notes end the search; nothing outside `notes` is read.
std::optional<std::span<const std::byte>> FindInNotes(std::span<const std::byte> notes,
                                                      std::size_t alignment, std::string_view type,
                                                      int id) noexcept;
}  // namespace detail

}  // namespace quillgate::platform
