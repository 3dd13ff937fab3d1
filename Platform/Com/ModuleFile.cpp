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
    // The same notes the loader maps, read from the file: parsed by the one note reader.
    const std::vector<std::byte> notes = file.Read(ph.p_offset, ph.p_filesz);
    if (const auto found = platform::detail::FindInNotes(notes, ph.p_align, type, id)) {
      return std::vector<std::byte>(found->begin(), found->end());
    }
  }
  return std::nullopt;
}

}  // namespace quillgate::com
