#include "Platform/Com/ModuleFile.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quillgate::com {
namespace {

// The layout that cmake/ModuleResources.cmake writes: an ELF note owned by "Quillgate" whose
// descriptor is id, type-name size, data size, the type name (padded to 4) and the data.
constexpr std::string_view kNoteOwner{"Quillgate\0", 10};
constexpr std::uint32_t kNoteType = 0x51474952;

constexpr std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

struct NameSearch {
  std::uintptr_t address;
  std::filesystem::path found;
};

int VisitForName(dl_phdr_info* info, std::size_t, void* data) {
  auto& search = *static_cast<NameSearch*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& ph = info->dlpi_phdr[i];
    const std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
    if (ph.p_type == PT_LOAD && search.address >= start && search.address - start < ph.p_memsz) {
      // The main program has no name here; the kernel knows its file.
      std::error_code error;
      search.found = (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0')
                         ? std::filesystem::read_symlink("/proc/self/exe", error)
                         : std::filesystem::absolute(info->dlpi_name, error);
      return 1;
    }
  }
  return 0;
}

class File {
 public:
  explicit File(const std::filesystem::path& path)
      : path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) Fail(std::strerror(errno));
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail(std::strerror(errno));
    size_ = static_cast<std::uint64_t>(st.st_size);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { ::close(fd_); }

  [[noreturn]] void Fail(const std::string& reason) const {
    throw std::runtime_error("cannot read the module " + path_.string() + ": " + reason);
  }

  std::vector<std::byte> Read(std::uint64_t offset, std::uint64_t length) const {
    if (offset > size_ || length > size_ - offset) Fail("it is not a complete ELF file");
    std::vector<std::byte> bytes(static_cast<std::size_t>(length));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = ::pread(fd_, bytes.data() + done, bytes.size() - done,
                                  static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) Fail(got < 0 ? std::strerror(errno) : "it ends early");
      done += static_cast<std::size_t>(got);
    }
    return bytes;
  }

 private:
  std::filesystem::path path_;
  int fd_;
  std::uint64_t size_ = 0;
};

std::optional<std::vector<std::byte>> ScanNotes(const std::vector<std::byte>& notes,
                                                std::string_view type, int id) {
  std::size_t at = 0;
  while (notes.size() - at >= sizeof(Elf64_Nhdr)) {
    Elf64_Nhdr header;
    std::memcpy(&header, notes.data() + at, sizeof header);
    const std::size_t nameAt = at + sizeof header;
    const std::size_t descAt = nameAt + Align4(header.n_namesz);
    if (descAt > notes.size() || header.n_descsz > notes.size() - descAt) return std::nullopt;
    const std::string_view owner(reinterpret_cast<const char*>(notes.data() + nameAt),
                                 header.n_namesz);
    if (header.n_type == kNoteType && owner == kNoteOwner && header.n_descsz >= 12) {
      std::uint32_t fields[3];
      std::memcpy(fields, notes.data() + descAt, sizeof fields);
      const std::size_t dataAt = 12 + Align4(fields[1]);
      if (static_cast<int>(fields[0]) == id && fields[1] > 0 && dataAt <= header.n_descsz &&
          fields[2] <= header.n_descsz - dataAt) {
        const std::string_view noteType(reinterpret_cast<const char*>(notes.data() + descAt + 12),
                                        fields[1] - 1);
        if (noteType == type) {
          const auto* data = notes.data() + descAt + dataAt;
          return std::vector<std::byte>(data, data + fields[2]);
        }
      }
    }
    at = descAt + Align4(header.n_descsz);
  }
  return std::nullopt;
}

}  // namespace

std::filesystem::path ModuleFileName(platform::ModuleHandle module) {
  if (module == nullptr) return {};
  NameSearch search{reinterpret_cast<std::uintptr_t>(module), {}};
  dl_iterate_phdr(&VisitForName, &search);
  return search.found;
}

std::optional<std::vector<std::byte>> ReadModuleResource(const std::filesystem::path& path,
                                                         std::string_view type, int id) {
  const File file(path);
  const std::vector<std::byte> head = file.Read(0, sizeof(Elf64_Ehdr));
  Elf64_Ehdr elf;
  std::memcpy(&elf, head.data(), sizeof elf);
  if (std::memcmp(elf.e_ident, ELFMAG, SELFMAG) != 0 || elf.e_ident[EI_CLASS] != ELFCLASS64 ||
      elf.e_phentsize != sizeof(Elf64_Phdr)) {
    file.Fail("it is not a 64-bit ELF module");
  }
  const std::vector<std::byte> table =
      file.Read(elf.e_phoff, std::uint64_t{elf.e_phnum} * sizeof(Elf64_Phdr));
  for (std::size_t i = 0; i < elf.e_phnum; ++i) {
    Elf64_Phdr ph;
    std::memcpy(&ph, table.data() + i * sizeof ph, sizeof ph);
    if (ph.p_type != PT_NOTE) continue;
    if (auto found = ScanNotes(file.Read(ph.p_offset, ph.p_filesz), type, id)) return found;
  }
  return std::nullopt;
}

}  // namespace quillgate::com
