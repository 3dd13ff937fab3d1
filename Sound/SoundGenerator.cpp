#include "Sound/SoundGenerator.h"

#include "CommonUtilities/EngineError.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <span>

namespace quillgate {
namespace {

constexpr const char* kLetterNotFound = "Letter not found in lookup table !";
constexpr const char* kNoResultMemory =
    "Failed to allocate the memory for the data for header and raw sound bytes!";
constexpr const char* kResourcesMissing = "The sound resources are missing from the module!";
constexpr const char* kHeaderDamaged = "The sound header resource is damaged!";
constexpr const char* kClipOutsideSamples =
    "The sound lookup table points outside the sample data!";
constexpr const char* kCodeTooLong = "The code is too long to be spoken in one sound file!";

// Offsets of the two size fields of the header that change with every sound.
constexpr std::size_t kRiffSizeAt = 4;
constexpr std::size_t kDataSizeAt = 40;
// The RIFF size counts everything after its own field: the rest of the header and the data.
constexpr std::uint32_t kRiffSizeOverData = SoundGenerator::kHeaderSize - 8;

std::uint32_t ReadU32(const std::byte* at) noexcept {
  return std::to_integer<std::uint32_t>(at[0]) | std::to_integer<std::uint32_t>(at[1]) << 8 |
         std::to_integer<std::uint32_t>(at[2]) << 16 | std::to_integer<std::uint32_t>(at[3]) << 24;
}

void WriteU32(std::byte* at, std::uint32_t value) noexcept {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::byte>(value >> (8 * i));
}

// Only the 26 ASCII capitals change: the table holds lowercase letters and digits, and no
// locale may turn another byte into one of them.
char Lowered(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::span<const std::byte> Resource(platform::ModuleHandle module, int id) {
  auto found = platform::FindResource(module, SoundGenerator::kResourceType, id);
  if (!found) throw EngineError(kResourcesMissing);
  return *found;
}

// The clip of one character, checked against the sample data so that a damaged table can
// never make the copy read past it.
LookupEntry ClipOf(char character, std::span<const std::byte> table,
                   std::span<const std::byte> samples) {
  const auto entry =
      SoundGenerator::FindLookupEntry(Lowered(character), table.data(),
                                      table.size() / SoundGenerator::kEntrySize);
  if (!entry) throw EngineError(kLetterNotFound);
  if (entry->offset > samples.size() || entry->length > samples.size() - entry->offset) {
    throw EngineError(kClipOutsideSamples);
  }
  return *entry;
}

}  // namespace

bool SoundGenerator::LoadResourceData(int id, std::byte* buffer, std::size_t& size,
                                      std::string_view type,
                                      platform::ModuleHandle module) noexcept {
  const auto found = platform::FindResource(module, type, id);
  if (!found) return false;
  const std::size_t capacity = size;
  size = found->size();
  if (buffer == nullptr) return true;
  if (capacity < found->size()) return false;
  std::copy(found->begin(), found->end(), buffer);
  return true;
}

std::optional<LookupEntry> SoundGenerator::FindLookupEntry(char character, const std::byte* table,
                                                           std::size_t entryCount) noexcept {
  for (std::size_t i = 0; i < entryCount; ++i) {
    const std::byte* row = table + i * kEntrySize;
    if (static_cast<char>(row[0]) == character) {
      return LookupEntry{character, ReadU32(row + 4), ReadU32(row + 8)};
    }
  }
  return std::nullopt;
}

std::span<const std::byte> SoundGenerator::ClipSamples(char character) const {
  const auto samples = Resource(module_, kSamplesResource);
  const LookupEntry clip = ClipOf(character, Resource(module_, kTableResource), samples);
  return samples.subspan(clip.offset, clip.length);
}

void SoundGenerator::GenerateWave(std::string_view code, ByteArray& out) const {
  // The table and the samples are read where the module holds them (read-only, mapped with
  // it); copying the whole sample block for every sound would cost more than the sound.
  const auto table = Resource(module_, kTableResource);
  const auto samples = Resource(module_, kSamplesResource);
  std::array<std::byte, kHeaderSize> header{};
  std::size_t headerSize = 0;
  if (!LoadResourceData(kHeaderResource, nullptr, headerSize, kResourceType, module_)) {
    throw EngineError(kResourcesMissing);
  }
  if (headerSize != kHeaderSize ||
      !LoadResourceData(kHeaderResource, header.data(), headerSize, kResourceType, module_)) {
    throw EngineError(kHeaderDamaged);
  }

  // Every character is checked, and the size known, before anything is allocated. The file's
  // length must fit its signed 32-bit count (and so both 32-bit size fields).
  constexpr std::uint64_t kMaxTotal = std::numeric_limits<std::int32_t>::max() - kHeaderSize;
  std::uint64_t total = 0;
  for (const char c : code) {
    total += ClipOf(c, table, samples).length;
    if (total > kMaxTotal) throw EngineError(kCodeTooLong);
  }

  WriteU32(header.data() + kRiffSizeAt, static_cast<std::uint32_t>(total) + kRiffSizeOverData);
  WriteU32(header.data() + kDataSizeAt, static_cast<std::uint32_t>(total));

  // The clips go straight behind the header in the one buffer handed to the caller. A
  // separate sample buffer copied over afterwards doubled the memory traffic, and freeing it
  // made the allocator hand pages back to the system and fault them in again on the next
  // sound: several times the cost of the sound itself.
  const std::size_t length = kHeaderSize + total;
  boost::shared_array<unsigned char> result;
  try {
    // shared_array frees the buffer itself should its own bookkeeping fail to allocate.
    result.reset(std::make_unique_for_overwrite<unsigned char[]>(length).release());
  } catch (const std::bad_alloc&) {
    throw EngineError(kNoResultMemory);
  }
  std::memcpy(result.get(), header.data(), kHeaderSize);
  std::size_t at = kHeaderSize;
  for (const char c : code) {
    const LookupEntry clip = ClipOf(c, table, samples);
    std::memcpy(result.get() + at, samples.data() + clip.offset, clip.length);
    at += clip.length;
  }

  out.buffer = std::move(result);
  out.length = static_cast<std::int32_t>(length);
}

}  // namespace quillgate
