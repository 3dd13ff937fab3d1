#include "Platform/Resources/ModuleResources.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace quillgate::platform {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Of(std::optional<std::span<const std::byte>> resource) {
  if (!resource) return {};
  const auto* p = reinterpret_cast<const unsigned char*>(resource->data());
  return Bytes(p, p + resource->size());
}

Bytes FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The test module built beside this program (see deps.cmake), left loaded for the whole
// run: WAVE 7 = 01..05, WAVEX 7 = 5A, WAV 9 = empty, WAVE 0 = 5A.
ModuleHandle TestModule() {
  void* const handle = dlopen(RESOURCE_MODULE, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(handle, nullptr) << dlerror();
  return handle ? ModuleContaining(dlsym(handle, "quillgate_fixture_anchor")) : nullptr;
}

TEST(ResourceModule, FindsEachResourceByExactTypeAndIdInItsOwnModuleOnly) {
  const ModuleHandle module = TestModule();
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(Of(FindResource(module, "WAVE", 7)), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(Of(FindResource(module, "WAVEX", 7)), (Bytes{0x5A}));
  EXPECT_EQ(Of(FindResource(module, "WAVE", 0)), (Bytes{0x5A}));
  const auto empty = FindResource(module, "WAV", 9);
  ASSERT_TRUE(empty) << "an empty resource still exists";
  EXPECT_EQ(empty->size(), 0u);
  EXPECT_NE(module, ThisModule());
  EXPECT_FALSE(FindResource(module, "WAVE", 203)) << "found in the program, not this module";
  EXPECT_FALSE(FindResource(ThisModule(), "WAVE", 7));
}

TEST(ResourceModule, UnknownIdsAndOtherTypesAreNotFound) {
  const ModuleHandle module = TestModule();
  ASSERT_NE(module, nullptr);
  EXPECT_FALSE(FindResource(module, "WAVE", 9));
  EXPECT_FALSE(FindResource(module, "WAVE", 8));
  EXPECT_FALSE(FindResource(module, "WAVE", -7));
  EXPECT_FALSE(FindResource(module, "WAV", 7)) << "a prefix of the type is another type";
  EXPECT_FALSE(FindResource(module, "wave", 7)) << "types compare exactly";
  EXPECT_FALSE(FindResource(module, "", 7));
  EXPECT_FALSE(FindResource(module, std::string_view("WAVE\0", 5), 7));
}

TEST(ModuleResources, TheProgramCarriesTheCommittedSoundData) {
  EXPECT_EQ(Of(FindResource(ThisModule(), "WAVE", 203)), FileBytes(SOUND_DATA_DIR "/wave-header.bin"));
  EXPECT_EQ(Of(FindResource(ThisModule(), "WAVE", 204)), FileBytes(SOUND_DATA_DIR "/lookup-table.bin"));
  EXPECT_EQ(Of(FindResource(ThisModule(), "WAVE", 206)),
            FileBytes(SOUND_DATA_DIR "/letter-samples.raw"));
}

// Another library's address gives that library (tests/Sound asks libc for the sounds).
TEST(ModuleContaining, FindsTheModuleOfAnAddressAndNoneOutsideModules) {
  EXPECT_EQ(ThisModule(), ModuleContaining(reinterpret_cast<const void*>(&FindResource)));
  EXPECT_FALSE(FindResource(nullptr, "WAVE", 203));
  const auto heap = std::make_unique<int>(0);
  EXPECT_EQ(ModuleContaining(heap.get()), nullptr);
}

// ---- the note parser on hand-made segments ----------------------------------------------

constexpr std::uint32_t kType = 0x51474952;
constexpr std::string_view kOwner("Quillgate\0", 10);

std::string Le32(std::uint32_t v) {
  std::string bytes(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>(v >> (8 * i));
  return bytes;
}

std::string Padded(std::string bytes, std::size_t align) {
  bytes.resize((bytes.size() + align - 1) / align * align, '\0');
  return bytes;
}

// A note: header, owner name padded, descriptor padded unless the very end is left unpadded.
std::string Note(std::string_view owner, std::uint32_t type, const std::string& desc,
                 std::size_t align = 4, bool padEnd = true) {
  const std::string head = Le32(static_cast<std::uint32_t>(owner.size())) +
                           Le32(static_cast<std::uint32_t>(desc.size())) + Le32(type);
  const std::string note = Padded(head + std::string(owner), align) + desc;
  return padEnd ? Padded(note, align) : note;
}

// Our descriptor of a WAVE resource: id, type size, data size (or a claimed one), the type
// padded, the data.
std::string Descriptor(int id, std::string_view data, std::uint32_t claimedSize = UINT32_MAX) {
  const auto size = static_cast<std::uint32_t>(data.size());
  return Le32(static_cast<std::uint32_t>(id)) + Le32(5) +
         Le32(claimedSize == UINT32_MAX ? size : claimedSize) + std::string("WAVE\0\0\0\0", 8) +
         std::string(data);
}

std::string Resource(int id, std::string_view data, std::size_t align = 4, bool padEnd = true) {
  return Note(kOwner, kType, Descriptor(id, data), align, padEnd);
}

std::string Found(const std::string& segment, std::size_t align, int id) {
  // An exact-size heap copy, so that the sanitizer sees any read past the segment.
  const auto copy = std::make_unique<std::byte[]>(segment.size());
  std::memcpy(copy.get(), segment.data(), segment.size());
  const auto found = detail::FindInNotes({copy.get(), segment.size()}, align, "WAVE", id);
  if (!found) return "<none>";
  return std::string(reinterpret_cast<const char*>(found->data()), found->size());
}

// Behind other owners' notes (one a letter off ours), in segments aligned to 4 or to 8 (a
// 25-byte descriptor is padded to 28 or to 32), up to a last note left unpadded.
TEST(NoteParser, FindsEachResourceBehindOtherNotesAtEitherAlignment) {
  const std::string gnu = Note(std::string_view("GNU\0", 4), 3, std::string(20, '\x11'));
  const std::string other = Note(std::string_view("Quillgatf\0", 10), kType, Descriptor(1, "bad"));
  const std::string behind = gnu + other + Resource(2, "two") + Resource(1, "one");
  const std::string eight = Resource(1, "abcde", 8) + Resource(2, "second", 8);
  const std::string unpadded = Resource(1, "x") + Resource(2, "abcde", 4, /*padEnd=*/false);
  ASSERT_NE(unpadded.size() % 4, 0u);
  const struct {
    const std::string& segment;
    std::size_t align;
    int id;
    std::string_view found;
  } cases[] = {{behind, 4, 1, "one"},   {behind, 4, 2, "two"},    {behind, 4, 3, "<none>"},
               {eight, 8, 2, "second"}, {eight, 8, 1, "abcde"},   {unpadded, 4, 3, "<none>"},
               {unpadded, 4, 2, "abcde"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Found(c.segment, c.align, c.id), c.found) << c.segment.size() << " bytes, id "
                                                          << c.id;
  }
}

TEST(NoteParser, DamagedNotesEndTheSearchWithoutReadingPastTheSegment) {
  // A note claiming a descriptor longer than the segment, after a sound one.
  const std::string longNote = Resource(1, "ok") + Le32(10) + Le32(0x7FFFFFF0) + Le32(kType) +
                               std::string("Quillgate\0\0\0", 12);
  // A descriptor whose data size runs past the descriptor, before a sound note.
  const std::string longData = Note(kOwner, kType, Descriptor(1, "abc", 64)) + Resource(2, "fine");
  const struct {
    std::string segment;
    int id;
    std::string_view found;
  } cases[] = {
      {longNote, 2, "<none>"},
      {longNote, 1, "ok"},
      {longData, 1, "<none>"},
      {longData, 2, "fine"},
      {Le32(0xFFFFFFFF) + Le32(0) + Le32(kType), 1, "<none>"},  // a name size beyond the segment
      {Le32(10) + Le32(0), 1, "<none>"},                        // shorter than one note header
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Found(c.segment, 4, c.id), c.found) << c.segment.size() << " bytes, id " << c.id;
  }
}

}  // namespace
}  // namespace quillgate::platform
