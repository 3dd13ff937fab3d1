#include "Service/ChallengeAudio.h"

#include "Sound/SoundGenerator.h"

#include <SoundTouch.h>
#include <sodium.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace quillgate::service {
namespace {

constexpr int kSampleRate = 8000;

constexpr int kMinGapMs = 120;
constexpr int kMaxGapMs = 480;
constexpr double kBabbleMinGain = 0.08;
constexpr double kBabbleMaxGain = 0.18;
constexpr double kNoiseLevel = 0.025;

// A keystream under the seed: the same values on every server and every fetch, none of them
// predictable without the seed.
class SeededRandom {
 public:
  explicit SeededRandom(const AudioSeed& seed) : seed_(seed) {}

  std::uint64_t Next() {
    if (used_ == block_.size()) Refill();
    return block_[used_++];
  }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  double Between(double low, double high) { return low + (high - low) * Unit(); }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Unit() * static_cast<double>(n)); }

 private:
  void Refill() {
    std::array<unsigned char, crypto_stream_chacha20_ietf_NONCEBYTES> nonce{};
    std::memcpy(nonce.data(), &counter_, sizeof counter_);
    ++counter_;
    crypto_stream_chacha20_ietf(reinterpret_cast<unsigned char*>(block_.data()), sizeof block_, nonce.data(),
                                seed_.data());
    used_ = 0;
  }

  AudioSeed seed_;
  std::array<std::uint64_t, 64> block_{};
  std::size_t used_ = block_.size();
  std::uint64_t counter_ = 0;
};

constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";

// The spoken part of a clip: each clip is a second long with silence around the word, and
// keeping that silence would leave the letters on a fixed grid that a script can cut at.
std::vector<float> TrimmedClip(char letter) {
  const std::span<const std::byte> bytes = SoundGenerator().ClipSamples(letter);
  std::vector<float> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto low = std::to_integer<std::uint16_t>(bytes[2 * i]);
    const auto high = std::to_integer<std::uint16_t>(bytes[2 * i + 1]);
    samples[i] = static_cast<float>(static_cast<std::int16_t>(low | high << 8)) / 32768.0F;
  }
  // 10 ms windows; the word spans those with more than a fiftieth of the loudest's energy.
  constexpr std::size_t kWindow = kSampleRate / 100;
  std::vector<double> energy;
  for (std::size_t at = 0; at < samples.size(); at += kWindow) {
    double sum = 0;
    for (std::size_t i = at; i < std::min(samples.size(), at + kWindow); ++i) sum += double{samples[i]} * samples[i];
    energy.push_back(sum);
  }
  const double loudest = energy.empty() ? 0 : *std::max_element(energy.begin(), energy.end());
  if (loudest <= 0) return {};
  const auto spoken = [&](double e) { return e > loudest / 50; };
  const auto first = static_cast<std::size_t>(std::find_if(energy.begin(), energy.end(), spoken) - energy.begin());
  const auto last = static_cast<std::size_t>(energy.rend() - std::find_if(energy.rbegin(), energy.rend(), spoken));
  // Two windows of margin keep soft onsets and endings (the "f" of "f", the "s" of "s").
  const std::size_t begin = (first >= 2 ? first - 2 : 0) * kWindow;
  const std::size_t end = std::min(samples.size(), (last + 2) * kWindow);
  return {samples.begin() + static_cast<std::ptrdiff_t>(begin), samples.begin() + static_cast<std::ptrdiff_t>(end)};
}

// The 36 trimmed clips, cut once: every recording uses several of them.
const std::vector<float>& SpokenPart(char letter) {
  static const std::array<std::vector<float>, kLetters.size()> parts = [] {
    std::array<std::vector<float>, kLetters.size()> all;
    for (std::size_t i = 0; i < kLetters.size(); ++i) all[i] = TrimmedClip(kLetters[i]);
    return all;
  }();
  const char lowered = letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
  const std::size_t at = kLetters.find(lowered);
  // No clip: the voice's own refusal, word for word.
  if (at == std::string_view::npos) (void)SoundGenerator().ClipSamples(letter);
  return parts.at(at);
}

std::vector<float> Transformed(const std::vector<float>& input, double tempoPercent, double pitchSemitones) {
  soundtouch::SoundTouch touch;
  touch.setSampleRate(kSampleRate);
  touch.setChannels(1);
  touch.setTempoChange(tempoPercent);
  touch.setPitchSemiTones(pitchSemitones);
  // Speech settings (SoundTouch's defaults suit music at 44.1 kHz): short sequences keep
  // the consonants from smearing or echoing.
  touch.setSetting(SETTING_SEQUENCE_MS, 40);
  touch.setSetting(SETTING_SEEKWINDOW_MS, 15);
  touch.setSetting(SETTING_OVERLAP_MS, 8);
  touch.putSamples(input.data(), static_cast<unsigned>(input.size()));
  touch.flush();
  std::vector<float> output;
  std::array<float, 2048> chunk{};
  while (const unsigned got = touch.receiveSamples(chunk.data(), static_cast<unsigned>(chunk.size()))) {
    output.insert(output.end(), chunk.begin(), chunk.begin() + got);
  }
  // flush() pads with silence to push the last samples through; the padding is no speech.
  const double expected = static_cast<double>(input.size()) / (1 + tempoPercent / 100) + kSampleRate / 50.0;
  if (static_cast<double>(output.size()) > expected) output.resize(static_cast<std::size_t>(expected));
  return output;
}

void MixInto(std::vector<float>& track, std::size_t at, const std::vector<float>& sound, double gain) {
  if (track.size() < at + sound.size()) track.resize(at + sound.size(), 0.0F);
  for (std::size_t i = 0; i < sound.size(); ++i) track[at + i] += static_cast<float>(gain * sound[i]);
}

std::size_t MsToSamples(double ms) { return static_cast<std::size_t>(ms * kSampleRate / 1000); }

}  // namespace

std::vector<unsigned char> EncodeWave(const std::vector<float>& track) {
  const auto dataBytes = static_cast<std::uint32_t>(track.size() * 2);
  std::vector<unsigned char> wave(44 + std::size_t{dataBytes});
  std::size_t at = 0;
  const auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) wave[at++] = static_cast<unsigned char>(value >> (8 * i));
  };
  const auto tag = [&](std::string_view text) {
    for (const char c : text) wave[at++] = static_cast<unsigned char>(c);
  };
  tag("RIFF");
  put(36 + dataBytes, 4);
  tag("WAVEfmt ");
  put(16, 4);
  put(1, 2);  // PCM
  put(1, 2);  // mono
  put(kSampleRate, 4);
  put(kSampleRate * 2, 4);
  put(2, 2);
  put(16, 2);
  tag("data");
  put(dataBytes, 4);
  for (const float sample : track) {
    const long value = std::lround(std::clamp(sample, -1.0F, 1.0F) * 32767.0F);
    put(static_cast<std::uint16_t>(static_cast<std::int16_t>(value)), 2);
  }
  return wave;
}

AudioSeed AudioSeedOf(const TokenClaims& claims) {
  InitializeSodium();
  AudioSeed seed{};
  crypto_generichash_state state;
  crypto_generichash_init(&state, claims.id.data(), claims.id.size(), seed.size());
  constexpr std::string_view kPurpose = "quillgate challenge audio";
  crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(kPurpose.data()), kPurpose.size());
  crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(claims.code.data()), claims.code.size());
  crypto_generichash_final(&state, seed.data(), seed.size());
  return seed;
}

std::vector<float> TakeOfLetter(char letter, const LetterTake& take) {
  std::vector<float> sound = Transformed(SpokenPart(letter), take.tempoPercent, take.pitchSemitones);
  for (float& sample : sound) sample = static_cast<float>(sample * take.gain);
  return sound;
}

std::vector<unsigned char> RecordChallengeAudio(std::string_view code, const AudioSeed& seed) {
  SeededRandom random(seed);
  std::vector<float> track;
  std::size_t at = MsToSamples(random.Between(kMinGapMs, kMaxGapMs));
  for (const char letter : code) {
    LetterTake take;
    take.tempoPercent = random.Between(-kMaxTempoPercent, kMaxTempoPercent);
    take.pitchSemitones = random.Between(-kMaxPitchSemitones, kMaxPitchSemitones);
    take.gain = random.Between(kMinLetterGain, 1.0);
    const std::vector<float> sound = TakeOfLetter(letter, take);
    MixInto(track, at, sound, 1.0);
    at += sound.size() + MsToSamples(random.Between(kMinGapMs, kMaxGapMs));
  }
  track.resize(at, 0.0F);

  // Babble: other clips, backwards and shifted, laid anywhere, two per letter. They keep a
  // matcher from finding a letter by where the sound is, and sound like nothing a person
  // would take for a letter.
  for (std::size_t i = 0; i < 2 * code.size(); ++i) {
    std::vector<float> other = Transformed(SpokenPart(kLetters[random.Below(kLetters.size())]),
                                           random.Between(-25, 25), random.Between(-4, 4));
    std::reverse(other.begin(), other.end());
    const std::size_t place = track.size() > other.size() ? random.Below(track.size() - other.size()) : 0;
    MixInto(track, place, other, random.Between(kBabbleMinGain, kBabbleMaxGain));
  }

  // Noise, softened by a one-pole low-pass so it hisses less than white noise would.
  float smoothed = 0;
  for (float& sample : track) {
    const auto white = static_cast<float>(random.Between(-1, 1));
    smoothed = 0.6F * smoothed + 0.4F * white;
    sample += static_cast<float>(kNoiseLevel) * smoothed;
  }

  // One gain for the whole recording, so its loudest point is a little under full scale.
  float peak = 0;
  for (const float sample : track) peak = std::max(peak, std::abs(sample));
  if (peak > 0) {
    const float scale = 0.9F / peak;
    for (float& sample : track) sample *= scale;
  }
  return EncodeWave(track);
}

}  // namespace quillgate::service
