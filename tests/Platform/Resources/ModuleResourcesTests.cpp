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

// The test module built beside this program (see deps.cmake): WAVE 7 = 01..05, WAVEX 7 = 5A,
// WAV 9 = empty, WAVE 0 = 5A.
class ResourceModule : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(RESOURCE_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    module_ = ModuleContaining(dlsym(handle_, "quillgate_fixture_anchor"));
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
  }
  void* handle_ = nullptr;
  ModuleHandle module_ = nullptr;
};

TEST_F(ResourceModule, FindsEachResourceByExactTypeAndIdInItsOwnModuleOnly) {
  EXPECT_EQ(Of(FindResource(module_, "WAVE", 7)), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(Of(FindResource(module_, "WAVEX", 7)), (Bytes{0x5A}));
  EXPECT_EQ(Of(FindResource(module_, "WAVE", 0)), (Bytes{0x5A}));
  const auto empty = FindResource(module_, "WAV", 9);
  ASSERT_TRUE(empty) << "an empty resource still exists";
  EXPECT_EQ(empty->size(), 0u);
  EXPECT_NE(module_, ThisModule());
  EXPECT_FALSE(FindResource(module_, "WAVE", 203)) << "found in the program, not this module";
  EXPECT_FALSE(FindResource(ThisModule(), "WAVE", 7));
}

TEST_F(ResourceModule, UnknownIdsAndOtherTypesAreNotFound) {
  EXPECT_FALSE(FindResource(module_, "WAVE", 9));
  EXPECT_FALSE(FindResource(module_, "WAVE", 8));
  EXPECT_FALSE(FindResource(module_, "WAVE", -7));
  EXPECT_FALSE(FindResource(module_, "WAV", 7)) << "a prefix of the type is another type";
  EXPECT_FALSE(FindResource(module_, "wave", 7)) << "types compare exactly";
  EXPECT_FALSE(FindResource(module_, "", 7));
  EXPECT_FALSE(FindResource(module_, std::string_view("WAVE\0", 5), 7));
}

TEST(ModuleResources, TheProgramCarriesTheCommittedSoundData) {
  EXPECT_EQ(Of(FindResource(ThisModule(), "WAVE", 203)), FileBytes(SOUND_DATA_DIR "/wave-header.bin"));
  EXPECT_EQ(Of(FindResource(ThisModule(), "WAVE", 204)), FileBytes(SOUND_DATA_DIR "/lookup-table.bin"));
  EXPECT_EQ(Of(FindResource(ThisModule(), "WAVE", 206)),
            FileBytes(SOUND_DATA_DIR "/letter-samples.raw"));
}

TEST(ModuleContaining, FindsTheModuleOfAnAddressAndNoneOutsideModules) {
  EXPECT_EQ(ThisModule(), ModuleContaining(reinterpret_cast<const void*>(&FindResource)));
  const auto libc = ModuleContaining(reinterpret_cast<const void*>(&std::memcpy));
  ASSERT_NE(libc, nullptr);
  EXPECT_NE(libc, ThisModule());
  EXPECT_FALSE(FindResource(libc, "WAVE", 203));
  EXPECT_FALSE(FindResource(nullptr, "WAVE", 203));
  const auto heap = std::make_unique<int>(0);
  EXPECT_EQ(ModuleContaining(heap.get()), nullptr);
  const int onStack = 0;
  EXPECT_EQ(ModuleContaining(&onStack), nullptr);
  EXPECT_EQ(ModuleContaining(nullptr), nullptr);
}

// ---- the note parser on hand-made segments ----------------------------------------------

constexpr std::uint32_t kType = 0x51474952;

// One Quillgate note: header, owner name, descriptor (id, type size, data size, type, data),
// each part padded to `align` unless the very end is left unpadded.
struct NoteBuilder {
  std::size_t align = 4;
  std::vector<std::byte> bytes;

  void Pad(std::size_t to) {
    while (bytes.size() % to != 0) bytes.push_back(std::byte{0});
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::byte>(v >> (8 * i)));
  }
  void Raw(std::string_view s) {
    for (const char c : s) bytes.push_back(static_cast<std::byte>(c));
  }
  // A note of any owner and type with the given descriptor bytes.
  void Note(std::string_view owner, std::uint32_t type, const std::vector<std::byte>& desc,
            bool padEnd = true) {
    U32(static_cast<std::uint32_t>(owner.size()));
    U32(static_cast<std::uint32_t>(desc.size()));
    U32(type);
    Raw(owner);
    Pad(align);
    bytes.insert(bytes.end(), desc.begin(), desc.end());
    if (padEnd) Pad(align);
  }
  static std::vector<std::byte> Descriptor(int id, std::string_view type, std::string_view data,
                                           std::uint32_t claimedDataSize = UINT32_MAX) {
    NoteBuilder d;
    d.U32(static_cast<std::uint32_t>(id));
    d.U32(static_cast<std::uint32_t>(type.size() + 1));
    d.U32(claimedDataSize == UINT32_MAX ? static_cast<std::uint32_t>(data.size()) : claimedDataSize);
    d.Raw(type);
    d.bytes.push_back(std::byte{0});
    d.Pad(4);
    d.Raw(data);
    return d.bytes;
  }
  void Resource(int id, std::string_view type, std::string_view data, bool padEnd = true) {
    Note(std::string_view("Quillgate\0", 10), kType, Descriptor(id, type, data), padEnd);
  }
};

std::string Found(const std::vector<std::byte>& segment, std::size_t align, std::string_view type,
                  int id) {
  // An exact-size heap copy, so that the sanitizer sees any read past the segment.
  const auto copy = std::make_unique<std::byte[]>(segment.size());
  std::memcpy(copy.get(), segment.data(), segment.size());
  const auto found = detail::FindInNotes({copy.get(), segment.size()}, align, type, id);
  if (!found) return "<none>";
  return std::string(reinterpret_cast<const char*>(found->data()), found->size());
}

TEST(NoteParser, FindsAResourceBehindOtherNotes) {
  NoteBuilder b;
  b.Note(std::string_view("GNU\0", 4), 3, std::vector<std::byte>(20, std::byte{0x11}));
  b.Note(std::string_view("Quillgatf\0", 10), kType, NoteBuilder::Descriptor(1, "WAVE", "bad"));
  b.Resource(2, "WAVE", "two");
  b.Resource(1, "WAVE", "one");
  EXPECT_EQ(Found(b.bytes, 4, "WAVE", 1), "one") << "another owner's note is not ours";
  EXPECT_EQ(Found(b.bytes, 4, "WAVE", 2), "two");
  EXPECT_EQ(Found(b.bytes, 4, "WAVE", 3), "<none>");
}

TEST(NoteParser, FollowsEightByteAlignmentInEightByteAlignedSegments) {
  NoteBuilder b;
  b.align = 8;
  b.Resource(1, "WAVE", "abcde");  // a 25-byte descriptor: padded to 28 or to 32
  b.Resource(2, "WAVE", "second");
  EXPECT_EQ(Found(b.bytes, 8, "WAVE", 2), "second");
  EXPECT_EQ(Found(b.bytes, 8, "WAVE", 1), "abcde");
}

TEST(NoteParser, StopsAtTheEndOfASegmentWhoseLastNoteIsUnpadded) {
  NoteBuilder b;
  b.Resource(1, "WAVE", "x");
  b.Resource(2, "WAVE", "abcde", /*padEnd=*/false);
  ASSERT_NE(b.bytes.size() % 4, 0u);
  EXPECT_EQ(Found(b.bytes, 4, "WAVE", 3), "<none>");
  EXPECT_EQ(Found(b.bytes, 4, "WAVE", 2), "abcde");
}

TEST(NoteParser, DamagedNotesEndTheSearchWithoutReadingPastTheSegment) {
  {
    NoteBuilder b;  // a note claiming a descriptor longer than the segment
    b.Resource(1, "WAVE", "ok");
    b.U32(10);
    b.U32(0x7FFFFFF0);
    b.U32(kType);
    b.Raw(std::string_view("Quillgate\0\0\0", 12));
    EXPECT_EQ(Found(b.bytes, 4, "WAVE", 2), "<none>");
    EXPECT_EQ(Found(b.bytes, 4, "WAVE", 1), "ok");
  }
  {
    NoteBuilder b;  // a name size beyond the segment
    b.U32(0xFFFFFFFF);
    b.U32(0);
    b.U32(kType);
    EXPECT_EQ(Found(b.bytes, 4, "WAVE", 1), "<none>");
  }
  {
    NoteBuilder b;  // a descriptor whose data size runs past the descriptor
    b.Note(std::string_view("Quillgate\0", 10), kType, NoteBuilder::Descriptor(1, "WAVE", "abc", 64));
    b.Resource(2, "WAVE", "fine");
    EXPECT_EQ(Found(b.bytes, 4, "WAVE", 1), "<none>");
    EXPECT_EQ(Found(b.bytes, 4, "WAVE", 2), "fine");
  }
  {
    NoteBuilder b;  // a segment shorter than one note header
    b.U32(10);
    b.U32(0);
    EXPECT_EQ(Found(b.bytes, 4, "WAVE", 1), "<none>");
  }
}

}  // namespace
}  // namespace quillgate::platform
