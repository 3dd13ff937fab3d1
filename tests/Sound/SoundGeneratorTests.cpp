#include "Sound/SoundGenerator.h"

#include "CommonUtilities/EngineError.h"
#include "Platform/Resources/ModuleResources.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quillgate {
namespace {

using Bytes = std::vector<unsigned char>;

constexpr const char* kLetterNotFound = "Letter not found in lookup table !";
constexpr const char* kMissing = "The sound resources are missing from the module!";
constexpr const char* kOutside = "The sound lookup table points outside the sample data!";
constexpr const char* kHeaderDamaged = "The sound header resource is damaged!";
constexpr const char* kTooLong = "The code is too long to be spoken in one sound file!";
constexpr char kTableOrder[] = "abcdefghijklmnopqrstuvwxyz1234567890";

std::uint32_t U32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

Bytes ResourceBytes(int id) {
  const auto found = platform::FindResource(platform::ThisModule(), "WAVE", id);
  if (!found) return {};
  const auto* p = reinterpret_cast<const unsigned char*>(found->data());
  return Bytes(p, p + found->size());
}

// A character's clip, found the way a WAV reader of this table format would: rows of 12 bytes.
Bytes ClipOf(char c) {
  const Bytes table = ResourceBytes(SoundGenerator::kTableResource);
  const Bytes samples = ResourceBytes(SoundGenerator::kSamplesResource);
  for (std::size_t at = 0; at + 12 <= table.size(); at += 12) {
    if (table[at] == static_cast<unsigned char>(c)) {
      const auto clip = samples.begin() + U32(&table[at + 4]);
      return Bytes(clip, clip + U32(&table[at + 8]));
    }
  }
  ADD_FAILURE() << "no row for " << c;
  return {};
}

// (Every caller checks the size, which a missing buffer would not have.)
Bytes Wave(std::string_view code, platform::ModuleHandle module = platform::ThisModule()) {
  ByteArray out;
  SoundGenerator(module).GenerateWave(code, out);
  return Bytes(out.Bytes().begin(), out.Bytes().end());
}

// Runs GenerateWave and returns the EngineError's message ("" when it succeeded), checking
// that a failure leaves the caller's array as it was.
std::string FailureOf(std::string_view code,
                      platform::ModuleHandle module = platform::ThisModule()) {
  ByteArray out;
  const boost::shared_array<unsigned char> before(std::make_unique<unsigned char[]>(3).release());
  out.buffer = before;
  out.length = 3;
  try {
    SoundGenerator(module).GenerateWave(code, out);
  } catch (const EngineError& error) {
    EXPECT_EQ(out.buffer.get(), before.get());
    EXPECT_EQ(out.length, 3);
    return error.what();
  }
  return "";
}

// ---- the shipped resources -------------------------------------------------------------

TEST(SoundResources, EveryCharacterHasOneDistinctAudibleClipOfAboutASecond) {
  const Bytes table = ResourceBytes(SoundGenerator::kTableResource);
  ASSERT_EQ(table.size(), 36u * 12u);
  std::set<Bytes> seen;
  for (std::size_t i = 0; i < 36; ++i) {
    SCOPED_TRACE(kTableOrder[i]);
    const Bytes clip = ClipOf(kTableOrder[i]);
    EXPECT_EQ(clip.size() % 2, 0u) << "clips hold whole 16-bit samples";
    EXPECT_GE(clip.size(), 0.8 * 16000) << "clip shorter than 0.8 s";
    EXPECT_LE(clip.size(), 1.3 * 16000) << "clip longer than 1.3 s";
    EXPECT_TRUE(seen.insert(clip).second) << "sounds like another character";
    int peak = 0;
    for (std::size_t at = 0; at + 1 < clip.size(); at += 2) {
      peak = std::max(peak, std::abs(static_cast<std::int16_t>(clip[at] | clip[at + 1] << 8)));
    }
    EXPECT_GT(peak, 3000) << "no audible speech";
    EXPECT_LT(peak, 32767) << "samples at full scale: clipped";
  }
}

// ---- assembly --------------------------------------------------------------------------

TEST(GenerateWave, IsTheTemplateWithItsSizesFollowedByTheClipsInCodeOrder) {
  // As a WAV reader walks it: RIFF, then one 16-byte fmt chunk of 16-bit mono PCM at 8000 Hz
  // (16000 bytes a second, 2 a frame), then a data chunk that runs to the end.
  const Bytes format = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0, 0x40,
                        0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a'};
  std::vector<std::string> codes{"", "aaa", "z09a", "captcha"};
  for (const char c : std::string_view(kTableOrder)) codes.emplace_back(1, c);
  for (const std::string& code : codes) {
    SCOPED_TRACE(code);
    const Bytes wave = Wave(code);
    Bytes clips;
    for (const char c : code) {
      const Bytes clip = ClipOf(c);
      clips.insert(clips.end(), clip.begin(), clip.end());
    }
    ASSERT_EQ(wave.size(), 44 + clips.size());
    EXPECT_EQ(std::memcmp(&wave[0], "RIFF", 4), 0);
    EXPECT_EQ(U32(&wave[4]), wave.size() - 8);
    EXPECT_EQ(Bytes(wave.begin() + 8, wave.begin() + 40), format);
    EXPECT_EQ(U32(&wave[40]), clips.size());
    EXPECT_EQ(Bytes(wave.begin() + 44, wave.end()), clips);
  }
  EXPECT_EQ(Wave("QUILLGATEXYZ12"), Wave("quillgatexyz12")) << "capitals are spoken as lowercase";
}

TEST(GenerateWave, CharactersWithoutAClipFailBeforeAnythingIsMade) {
  using namespace std::string_literals;
  for (const std::string& code : {"a b"s, "caf\xC3\xA9"s /* UTF-8 */, "caf\xE9"s /* Latin-1 */,
                                  "a\0b"s, "\xCD"s /* the table's filler byte */}) {
    EXPECT_EQ(FailureOf(code), kLetterNotFound) << code;
  }
}

TEST(GenerateWave, RefusesACodeWhoseFileWouldPassTheSignedLengthLimit) {
  // About 2.2 GB of clips: rejected from the table alone, long before any allocation.
  const std::size_t clip = ClipOf('w').size();
  const std::string code((std::size_t{1} << 31) / clip + 1, 'w');
  EXPECT_EQ(FailureOf(code), kTooLong);
}

// ---- modules without usable resources --------------------------------------------------

// A module made by the build for these tests, with resources of its own. It stays loaded
// until the tests end.
platform::ModuleHandle FixtureModule(const char* path) {
  void* const handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) ADD_FAILURE() << dlerror();
  const auto module =
      handle ? platform::ModuleContaining(dlsym(handle, "quillgate_fixture_anchor")) : nullptr;
  EXPECT_NE(module, nullptr) << path;
  return module;
}

TEST(GenerateWaveResources, AModuleWithoutTheResourcesOrWithADamagedHeaderIsRefused) {
  const auto libc = platform::ModuleContaining(reinterpret_cast<const void*>(&std::strlen));
  ASSERT_NE(libc, nullptr);
  ASSERT_NE(libc, platform::ThisModule());
  EXPECT_EQ(FailureOf("a", libc), kMissing);
  // The lookup table and the samples are there, but the header is missing or 40 bytes long.
  EXPECT_EQ(FailureOf("c", FixtureModule(SOUND_MODULE_NO_HEADER)), kMissing);
  EXPECT_EQ(FailureOf("c", FixtureModule(SOUND_MODULE_SHORT_HEADER)), kHeaderDamaged);
}

TEST(GenerateWaveResources, ADamagedTableNeverReadsPastTheSamples) {
  // Table rows (100 sample bytes 0..99): c 0+10; a 90+20; b 0xFFFFFFF0+0x20 (wraps in 32
  // bits); d 100+0; c again 50+10; e 101+0; then a two-byte fragment starting with z.
  const auto module = FixtureModule(SOUND_MODULE_DAMAGED_TABLE);
  ASSERT_NE(module, nullptr);

  const Bytes c = Wave("c", module);
  ASSERT_EQ(c.size(), 54u);
  EXPECT_EQ(c[44], 0);   // the first c row wins
  EXPECT_EQ(c[53], 9);
  EXPECT_EQ(Wave("d", module).size(), 44u);  // an empty clip at the very end is fine
  EXPECT_EQ(Wave("cdC", module).size(), 64u);

  for (const char* code : {"a", "b", "e", "ca"}) {
    EXPECT_EQ(FailureOf(code, module), kOutside) << code;
  }
  EXPECT_EQ(FailureOf("z", module), kLetterNotFound) << "a partial row is no entry";
}

}  // namespace
}  // namespace quillgate
