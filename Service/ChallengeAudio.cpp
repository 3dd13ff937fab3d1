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
#include <span>
#include <string>

namespace quillgate::service {
namespace {

constexpr int kSampleRate = 8000;
constexpr std::size_t kWindow = kSampleRate / 100;  // 10 ms, the unit of every level below

// Silence before the first letter and after the last, which the babble fills.
constexpr double kMinEdgeMs = 200;
constexpr double kMaxEdgeMs = 450;
// How far a letter runs into the next, as a share of the shorter of the two: a negative
// share leaves a gap. At most a third, so each letter's onset comes after the loud part of
// the one before, and the letters are heard in order.
constexpr double kMinOverlap = -0.15;
constexpr double kMaxOverlap = 0.3;
// The babble: two streams of letters end to end, the first some 9 to 13 dB under the letter
// it sounds under, the second 16 to 20 dB: together at least 8 dB under where the loudest
// parts of both meet.
struct BabbleStream {
  double minBelowDb;
  double maxBelowDb;
};
constexpr std::array<BabbleStream, 2> kBabbleStreams{{{9, 13}, {16, 20}}};
constexpr double kMaxBabbleTempoPercent = 20;
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

char Lowered(char letter) { return letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter; }

// Energy of each 10 ms window of `samples`, the last one possibly shorter.
std::vector<double> WindowEnergies(const std::vector<float>& samples, std::size_t begin, std::size_t end) {
  std::vector<double> energy;
  for (std::size_t at = begin; at < end; at += kWindow) {
    double sum = 0;
    for (std::size_t i = at; i < std::min(end, at + kWindow); ++i) sum += double{samples[i]} * samples[i];
    energy.push_back(sum);
  }
  return energy;
}

// The spoken part of a clip: each clip is a second long with silence around the word, and
// keeping that silence would leave the letters on a fixed grid that a script can cut at.
// The cut is at 50 dB under the loudest 10 ms window, with 20 ms to spare: well below the
// softest consonant (the "f" of "f", the "th" of "three", the closing "t" of "eight"),
// which tell letters apart and must not be lost. The clips' silence is digital (about
// -120 dB), so nothing else passes.
std::vector<float> TrimmedClip(char letter) {
  const std::span<const std::byte> bytes = SoundGenerator().ClipSamples(letter);
  std::vector<float> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto low = std::to_integer<std::uint16_t>(bytes[2 * i]);
    const auto high = std::to_integer<std::uint16_t>(bytes[2 * i + 1]);
    samples[i] = static_cast<float>(static_cast<std::int16_t>(low | high << 8)) / 32768.0F;
  }
  const std::vector<double> energy = WindowEnergies(samples, 0, samples.size());
  const double loudest = energy.empty() ? 0 : *std::max_element(energy.begin(), energy.end());
  if (loudest <= 0) return {};
  const auto spoken = [&](double e) { return e > loudest * 1e-5; };
  const auto first = static_cast<std::size_t>(std::find_if(energy.begin(), energy.end(), spoken) - energy.begin());
  const auto last = static_cast<std::size_t>(energy.rend() - std::find_if(energy.rbegin(), energy.rend(), spoken));
  const std::size_t begin = (first >= 2 ? first - 2 : 0) * kWindow;
  const std::size_t end = std::min(samples.size(), (last + 2) * kWindow);
  return {samples.begin() + static_cast<std::ptrdiff_t>(begin), samples.begin() + static_cast<std::ptrdiff_t>(end)};
}

// The 36 trimmed clips, cut once: every recording uses several of them.
const std::vector<float>& TrimmedClipOf(char letter) {
  static const std::array<std::vector<float>, kLetters.size()> parts = [] {
    std::array<std::vector<float>, kLetters.size()> all;
    for (std::size_t i = 0; i < kLetters.size(); ++i) all[i] = TrimmedClip(kLetters[i]);
    return all;
  }();
  const std::size_t at = kLetters.find(Lowered(letter));
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

// Adds `gain` times `sound` to `track` from `at`, cutting what would run past the track's end
// (with a 20 ms fade, so the cut does not click).
void MixInto(std::vector<float>& track, std::size_t at, const std::vector<float>& sound, double gain) {
  if (at >= track.size()) return;
  const std::size_t length = std::min(sound.size(), track.size() - at);
  const std::size_t fade = length < sound.size() ? std::min<std::size_t>(length, kSampleRate / 50) : 0;
  for (std::size_t i = 0; i < length; ++i) {
    const double taper = i + fade >= length ? static_cast<double>(length - i) / static_cast<double>(fade + 1) : 1.0;
    track[at + i] += static_cast<float>(gain * taper * sound[i]);
  }
}

std::size_t MsToSamples(double ms) { return static_cast<std::size_t>(ms * kSampleRate / 1000); }

// How loud a sound is to the ear: the energy of its loudest 50 ms (a letter's vowel).
double Loudness(const std::vector<float>& sound) {
  const std::vector<double> energy = WindowEnergies(sound, 0, sound.size());
  double loudest = 0;
  for (std::size_t k = 0; k < energy.size(); ++k) {
    double sum = 0;
    for (std::size_t i = k; i < std::min(energy.size(), k + 5); ++i) sum += energy[i];
    loudest = std::max(loudest, sum);
  }
  return loudest;
}

double DbToGain(double db) { return std::pow(10.0, db / 20); }

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

const std::vector<float>& SpokenPart(char letter) { return TrimmedClipOf(letter); }

std::vector<float> TakeOfLetter(char letter, const LetterTake& take) {
  std::vector<float> sound = Transformed(TrimmedClipOf(letter), take.tempoPercent, take.pitchSemitones);
  for (float& sample : sound) sample = static_cast<float>(sample * take.gain);
  return sound;
}

ChallengeMix MixChallengeAudio(std::string_view code, const AudioSeed& seed) {
  SeededRandom random(seed);
  ChallengeMix mix;

  // The letters: every take first, since how far one runs into the next depends on both.
  std::vector<std::vector<float>> takes;
  std::vector<double> levels;
  for (const char letter : code) {
    LetterTake take;
    take.tempoPercent = random.Between(-kMaxTempoPercent, kMaxTempoPercent);
    take.pitchSemitones = random.Between(-kMaxPitchSemitones, kMaxPitchSemitones);
    take.gain = random.Between(kMinLetterGain, 1.0);
    takes.push_back(TakeOfLetter(letter, take));
    levels.push_back(Loudness(takes.back()));
    mix.spoken.push_back({letter, take, 0, 0});
  }
  std::size_t at = MsToSamples(random.Between(kMinEdgeMs, kMaxEdgeMs));
  for (std::size_t i = 0; i < takes.size(); ++i) {
    mix.spoken[i].begin = at;
    mix.spoken[i].end = at + takes[i].size();
    if (i + 1 < takes.size()) {
      const double shorter = static_cast<double>(std::min(takes[i].size(), takes[i + 1].size()));
      const double overlap = random.Between(kMinOverlap, kMaxOverlap) * shorter;
      at = static_cast<std::size_t>(std::max(0.0, static_cast<double>(mix.spoken[i].end) - overlap));
      at = std::max(at, mix.spoken[i].begin + 1);
    }
  }
  const std::size_t lastEnd = mix.spoken.empty() ? at : mix.spoken.back().end;
  const std::size_t length = lastEnd + MsToSamples(random.Between(kMinEdgeMs, kMaxEdgeMs));
  mix.letters.assign(length, 0.0F);
  for (std::size_t i = 0; i < takes.size(); ++i) MixInto(mix.letters, mix.spoken[i].begin, takes[i], 1.0);

  // The babble: letters that are not in the code (so a listener never hears one of the
  // code's letters twice), forwards, at a pitch the spoken voice never takes, laid end to
  // end from the start to the end. Each take is set against the quietest letter it sounds
  // under, or the nearest where it sounds under none.
  std::string others;
  for (const char c : kLetters) {
    if (std::none_of(code.begin(), code.end(), [c](char letter) { return Lowered(letter) == c; })) others += c;
  }
  if (others.empty()) others = kLetters;
  mix.babble.assign(length, 0.0F);
  for (const BabbleStream& stream : kBabbleStreams) {
    std::size_t place = MsToSamples(random.Between(0, 120));
    while (place < length) {
      LetterTake take;
      const char letter = others[random.Below(others.size())];
      const double apart = random.Between(kMinBabblePitchSemitones, kMaxBabblePitchSemitones);
      take.pitchSemitones = random.Unit() < 0.5 ? -apart : apart;
      take.tempoPercent = random.Between(-kMaxBabbleTempoPercent, kMaxBabbleTempoPercent);
      std::vector<float> sound = TakeOfLetter(letter, take);
      const double own = Loudness(sound);
      if (own <= 0 || mix.spoken.empty()) break;
      const std::size_t end = place + sound.size();
      double under = std::numeric_limits<double>::infinity();
      std::size_t nearest = 0;
      std::size_t nearestDistance = std::numeric_limits<std::size_t>::max();
      for (std::size_t i = 0; i < mix.spoken.size(); ++i) {
        const PlacedTake& letterTake = mix.spoken[i];
        if (letterTake.begin < end && place < letterTake.end) under = std::min(under, levels[i]);
        const std::size_t distance = letterTake.end <= place ? place - letterTake.end : letterTake.begin - std::min(letterTake.begin, end);
        if (distance < nearestDistance) {
          nearestDistance = distance;
          nearest = i;
        }
      }
      if (!std::isfinite(under)) under = levels[nearest];
      take.gain = std::sqrt(under / own) * DbToGain(-random.Between(stream.minBelowDb, stream.maxBelowDb));
      MixInto(mix.babble, place, sound, take.gain);
      mix.babbled.push_back({letter, take, place, std::min(end, length)});
      place = end;
    }
  }

  // Noise, softened by a one-pole low-pass so it hisses less than white noise would.
  mix.noise.assign(length, 0.0F);
  float smoothed = 0;
  for (float& sample : mix.noise) {
    const auto white = static_cast<float>(random.Between(-1, 1));
    smoothed = 0.6F * smoothed + 0.4F * white;
    sample = static_cast<float>(kNoiseLevel) * smoothed;
  }
  return mix;
}

std::vector<float> ChallengeMix::Sum() const {
  std::vector<float> track(letters.size());
  for (std::size_t i = 0; i < track.size(); ++i) track[i] = letters[i] + babble.at(i) + noise.at(i);
  float peak = 0;
  for (const float sample : track) peak = std::max(peak, std::abs(sample));
  if (peak > 0) {
    const float scale = 0.9F / peak;
    for (float& sample : track) sample *= scale;
  }
  return track;
}

std::vector<unsigned char> RecordChallengeAudio(std::string_view code, const AudioSeed& seed) {
  return EncodeWave(MixChallengeAudio(code, seed).Sum());
}

}  // namespace quillgate::service
