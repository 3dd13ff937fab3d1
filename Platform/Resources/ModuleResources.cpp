#include "Platform/Resources/ModuleResources.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstdint>
#include <cstring>
#include <tuple>

namespace quillgate::platform {
namespace {

// Must match the notes that cmake/ModuleResources.cmake generates.
constexpr std::string_view kNoteOwner{"Quillgate\0", 10};
constexpr std::uint32_t kNoteType = 0x51474952;

constexpr std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

struct Search {
  std::uintptr_t moduleBase;
  std::string_view type;
  int id;
  std::optional<std::span<const std::byte>> found;
};

// Parses one descriptor: id, type-name size, data size, type name (padded to 4), data.
std::optional<std::span<const std::byte>> MatchDescriptor(const std::byte* desc, std::size_t size,
                                                          std::string_view type, int id) {
  constexpr std::size_t kFixed = 3 * sizeof(std::uint32_t);
  if (size < kFixed) return std::nullopt;
  std::uint32_t fields[3];
  std::memcpy(fields, desc, kFixed);
  const auto [noteId, typeSize, dataSize] = std::tuple{fields[0], fields[1], fields[2]};
  if (static_cast<int>(noteId) != id || typeSize == 0) return std::nullopt;
  const std::size_t dataOffset = kFixed + Align4(typeSize);
  if (dataOffset > size || dataSize > size - dataOffset) return std::nullopt;  // damaged note
  const std::string_view noteType(reinterpret_cast<const char*>(desc + kFixed), typeSize - 1);
  if (noteType != type) return std::nullopt;
  return std::span<const std::byte>(desc + dataOffset, dataSize);
}

// Each note starts at a multiple of the segment's note alignment, and its descriptor at the
// first multiple after header and name: 4 bytes, or 8 in a segment aligned to 8 (GNU property
// notes). The position never passes `length`, so the remaining-size tests cannot wrap; a
// note that does not fit ends the scan (not notes we know).
void ScanNotes(const std::byte* segment, std::size_t length, std::size_t alignment,
               Search& search) {
  const auto pad = [alignment](std::size_t n) { return (n + alignment - 1) & ~(alignment - 1); };
  std::size_t at = 0;
  while (search.found == std::nullopt && length - at >= sizeof(ElfW(Nhdr))) {
    ElfW(Nhdr) header;
    std::memcpy(&header, segment + at, sizeof header);
    const std::size_t nameAt = at + sizeof header;
    if (header.n_namesz > length - nameAt) return;
    const std::size_t descAt = pad(nameAt + header.n_namesz);
    if (descAt > length || header.n_descsz > length - descAt) return;
    const std::string_view owner(reinterpret_cast<const char*>(segment + nameAt), header.n_namesz);
    if (header.n_type == kNoteType && owner == kNoteOwner) {
      search.found = MatchDescriptor(segment + descAt, header.n_descsz, search.type, search.id);
    }
    const std::size_t next = pad(descAt + header.n_descsz);
    if (next >= length) return;  // that was the last note
    at = next;
  }
}

std::size_t NoteAlignment(std::size_t segmentAlignment) { return segmentAlignment == 8 ? 8 : 4; }

bool ContainsAddress(const dl_phdr_info& info, std::uintptr_t address) {
  for (int i = 0; i < info.dlpi_phnum; ++i) {
    const auto& ph = info.dlpi_phdr[i];
    const std::uintptr_t start = info.dlpi_addr + ph.p_vaddr;
    if (ph.p_type == PT_LOAD && address >= start && address - start < ph.p_memsz) return true;
  }
  return false;
}

int VisitModule(dl_phdr_info* info, std::size_t, void* data) {
  auto& search = *static_cast<Search*>(data);
  if (!ContainsAddress(*info, search.moduleBase)) return 0;
  for (int i = 0; i < info->dlpi_phnum && !search.found; ++i) {
    const auto& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_NOTE) continue;
    ScanNotes(reinterpret_cast<const std::byte*>(info->dlpi_addr + ph.p_vaddr), ph.p_memsz,
              NoteAlignment(ph.p_align), search);
  }
  return 1;  // the module is found: stop walking the others
}

}  // namespace

ModuleHandle ModuleContaining(const void* address) noexcept {
  Dl_info info{};
  if (dladdr(address, &info) == 0) return nullptr;
  return info.dli_fbase;
}

ModuleHandle ThisModule() noexcept {
  static const char anchor = 0;
  return ModuleContaining(&anchor);
}

std::optional<std::span<const std::byte>> FindResource(ModuleHandle module, std::string_view type,
                                                        int id) noexcept {
  if (module == nullptr) return std::nullopt;
  Search search{reinterpret_cast<std::uintptr_t>(module), type, id, std::nullopt};
  dl_iterate_phdr(&VisitModule, &search);
  return search.found;
}

namespace detail {

std::optional<std::span<const std::byte>> FindInNotes(std::span<const std::byte> notes,
                                                      std::size_t alignment, std::string_view type,
                                                      int id) noexcept {
  Search search{0, type, id, std::nullopt};
  ScanNotes(notes.data(), notes.size(), NoteAlignment(alignment), search);
  return search.found;
}

}  // namespace detail

}  // namespace quillgate::platform
