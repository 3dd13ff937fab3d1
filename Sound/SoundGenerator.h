#pragma once
// Spells a code aloud: a complete 16-bit mono 8000 Hz PCM WAV file built in memory by
// putting one recorded clip per character back to back. The clips, the table that says where
// each lies and the WAV header template are resources of type "WAVE" compiled into the
// component's module (tools/make-voice-clips.sh makes them); nothing is synthesised or mixed.

#include "CommonUtilities/ByteArray.h"
#include "Platform/Resources/ModuleResources.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quillgate {

// One row of the lookup table (resource 204): 12 bytes each, the character, three filler
// bytes, then the clip's offset and length in the sample resource (unsigned 32-bit LE).
struct LookupEntry {
  char character = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;  // bytes, whole 16-bit samples
};

class SoundGenerator {
 public:
  static constexpr const char* kResourceType = "WAVE";
  static constexpr int kHeaderResource = 203;    // 44-byte RIFF/WAVE header template
  static constexpr int kTableResource = 204;     // LookupEntry rows, a..z, 1..9, 0
  static constexpr int kSamplesResource = 206;   // the clips, raw samples
  static constexpr std::size_t kHeaderSize = 44;
  static constexpr std::size_t kEntrySize = 12;

  // Reads the resources of `module`: by default the one holding the component's code, so a
  // host executable's own resources never stand in for ours.
  explicit SoundGenerator(platform::ModuleHandle module = platform::ThisModule()) noexcept
      : module_(module) {}

  // The WAV for `code`: A-Z are spoken as a-z, digits as themselves; any other byte fails
  // with "Letter not found in lookup table !" before anything is allocated. An empty code
  // gives a bare 44-byte header. Throws EngineError; `out` is changed only on success.
  void GenerateWave(std::string_view code, ByteArray& out) const;

  // The recorded clip of one character (16-bit mono 8000 Hz little-endian samples, as they
  // lie in the module), for callers that make recordings of their own from the same voice.
  // Throws EngineError as GenerateWave does for a character without a clip.
  [[nodiscard]] std::span<const std::byte> ClipSamples(char character) const;

  // Finds resource `id` of `type` in `module`. With no buffer, only reports its size in
  // `size`. With a buffer, `size` is the buffer's capacity: the whole resource is copied when
  // it fits and `size` becomes the resource's size; when it does not fit nothing is copied,
  // `size` reports what is needed and the result is false. False also when it is missing.
  static bool LoadResourceData(int id, std::byte* buffer, std::size_t& size,
                               std::string_view type, platform::ModuleHandle module) noexcept;

  // The first of the table's `entryCount` rows whose character is `character`, or nothing.
  // `table` must hold at least entryCount * kEntrySize bytes.
  static std::optional<LookupEntry> FindLookupEntry(char character, const std::byte* table,
                                                    std::size_t entryCount) noexcept;

 private:
  platform::ModuleHandle module_;
};

}  // namespace quillgate
