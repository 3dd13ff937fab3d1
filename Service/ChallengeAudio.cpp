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
// The babble, in two parts: under each letter one that sounds like it, some 6.5 to 8 dB
// under it, and a stream of any letters end to end, 14 to 18 dB under the letter it sounds
// under. Where they add up past kMinBabbleBelowLetterDb, a limiter turns them down.
struct BabbleLevel {
  double minBelowDb;
  double maxBelowDb;
};
constexpr BabbleLevel kAlikeBabble{6.5, 8};
constexpr BabbleLevel kFillerBabble{14, 18};
// How far the like-sounding letter starts from the letter's own start, either way.
constexpr double kMaxAlikeShiftMs = 25;
// Letters whose names differ only in a consonant or sound close: the letter is told apart
// from these by the quiet parts a babble can mask.
constexpr std::array<std::string_view, 7> kSoundAlike{"bcdegptvz3", "ahjk8", "fsxmnl67", "iy59", "quw2o", "r4", "01"};
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

// The period of the clips' voice in samples: the autocorrelation's best lag over the whole
// sound, looked for between 70 and 95 Hz, where that voice holds its pitch (79 to 85 Hz
// in every clip). A wider search takes a glide or a fricative for the period.
double PeriodOf(const std::vector<float>& sound, double shiftedSemitones) {
  const double scale = std::pow(2.0, shiftedSemitones / 12);
  double best = -1;
  auto bestLag = static_cast<std::size_t>(kSampleRate / (82 * scale));
  const auto shortest = static_cast<std::size_t>(kSampleRate / (95 * scale));
  const auto longest = static_cast<std::size_t>(kSampleRate / (70 * scale));
  for (std::size_t lag = shortest; lag <= longest && lag < sound.size(); ++lag) {
    double ab = 0;
    double aa = 0;
    double bb = 0;
    for (std::size_t i = 0; i + lag < sound.size(); ++i) {
      ab += double{sound[i]} * sound[i + lag];
      aa += double{sound[i]} * sound[i];
      bb += double{sound[i + lag]} * sound[i + lag];
    }
    const double r = ab / std::sqrt(aa * bb + 1e-30);
    if (r > best) {
      best = r;
      bestLag = lag;
    }
  }
  return static_cast<double>(bestLag);
}

// A one-octave peaking filter (the audio cookbook's) of `db` at `hz`, in place.
void Colour(std::vector<float>& sound, double hz, double db) {
  if (db == 0) return;
  const double a = std::pow(10.0, db / 40);
  const double w0 = 2 * 3.141592653589793 * hz / kSampleRate;
  const double alpha = std::sin(w0) * std::sinh(std::log(2.0) / 2 * w0 / std::sin(w0));
  const double a0 = 1 + alpha / a;
  const double b0 = (1 + alpha * a) / a0;
  const double b1 = -2 * std::cos(w0) / a0;
  const double b2 = (1 - alpha * a) / a0;
  const double a1 = b1;
  const double a2 = (1 - alpha / a) / a0;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (float& sample : sound) {
    const double x = sample;
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    sample = static_cast<float>(y);
  }
}

// The sound's pitch moved by `semitones` while its formants stay (pitch-synchronous overlap
// and add): grains two periods long, cut around each period's peak, laid at the new
// period's spacing at the same place in time. A voice at another pitch saying a word in
// the same timbre: the ear hears two voices, a spectrum classifier one.
std::vector<float> PitchMoved(const std::vector<float>& input, double semitones, double shiftedSemitones = 0) {
  if (input.size() < 4 * kSampleRate / 50 || semitones == 0) return input;
  const double period = PeriodOf(input, shiftedSemitones);
  const auto half = static_cast<std::size_t>(period);
  // A mark on each period's peak, each found near where the last one predicts.
  std::vector<std::size_t> marks;
  for (double at = period; at + period < static_cast<double>(input.size());) {
    const auto from = static_cast<std::size_t>(at - period / 4);
    const auto to = std::min(input.size(), static_cast<std::size_t>(at + period / 4));
    std::size_t peak = from;
    for (std::size_t i = from; i < to; ++i) {
      if (input[i] > input[peak]) peak = i;
    }
    marks.push_back(peak);
    at = static_cast<double>(peak) + period;
  }
  if (marks.empty()) return input;
  std::vector<double> window(2 * half);
  for (std::size_t i = 0; i < window.size(); ++i) {
    window[i] = 0.5 - 0.5 * std::cos(2 * 3.141592653589793 * (static_cast<double>(i) + 0.5) / static_cast<double>(window.size()));
  }
  std::vector<double> output(input.size() + 2 * half, 0.0);
  std::vector<double> weight(output.size(), 0.0);
  // Each grain is laid one local period (the spacing of the marks about it, which follows
  // the voice where the whole sound's estimate does not) shortened or stretched on from the
  // last.
  const double ratio = std::pow(2.0, semitones / 12);
  std::size_t nearest = 0;
  double step = period / ratio;
  for (double place = static_cast<double>(marks.front()); place < static_cast<double>(marks.back()) + 1; place += step) {
    while (nearest + 1 < marks.size() &&
           std::abs(static_cast<double>(marks[nearest + 1]) - place) < std::abs(static_cast<double>(marks[nearest]) - place)) {
      ++nearest;
    }
    const std::size_t next = std::min(nearest + 1, marks.size() - 1);
    const std::size_t previous = next - std::min<std::size_t>(next, 1);
    if (next > previous) step = static_cast<double>(marks[next] - marks[previous]) / ratio;
    const std::size_t source = marks[nearest];
    const auto target = static_cast<std::size_t>(std::lround(place));
    for (std::size_t i = 0; i < window.size(); ++i) {
      if (source + i < half || source + i - half >= input.size() || target + i < half) continue;
      output[target + i - half] += window[i] * input[source + i - half];
      weight[target + i - half] += window[i];
    }
  }
  // The grains overlap more where the pitch rises: each sample is divided by the windows
  // that cover it (at least one half of a window, so the edges fade rather than swell).
  std::vector<float> moved(input.size());
  for (std::size_t i = 0; i < moved.size(); ++i) moved[i] = static_cast<float>(output[i] / std::max(weight[i], 0.5));
  return moved;
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
  // The formants move with the pitch in SoundTouch's shift; the pitch-synchronous shift then
  // brings the pitch alone back down, leaving the formants higher: a shorter vocal tract.
  std::vector<float> sound = PitchMoved(
      Transformed(TrimmedClipOf(letter), take.tempoPercent, take.pitchSemitones + take.formantSemitones),
      -take.formantSemitones, take.pitchSemitones + take.formantSemitones);
  Colour(sound, take.colourHz, take.colourDb);
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
    take.colourHz = 300 * std::pow(2.0, random.Between(0, 3.2));
    take.colourDb = random.Between(-kMaxColourDb, kMaxColourDb);
    take.formantSemitones = random.Between(0, kMaxFormantSemitones);
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
  // code's letters twice), forwards, at a pitch the spoken voice never takes. Each take is set
  // against the quietest letter it sounds under, or the nearest where it sounds under none.
  std::string others;
  for (const char c : kLetters) {
    if (std::none_of(code.begin(), code.end(), [c](char letter) { return Lowered(letter) == c; })) others += c;
  }
  if (others.empty()) others = kLetters;
  mix.babble.assign(length, 0.0F);
  const auto babble = [&](char letter, std::size_t place, const BabbleLevel& level) {
    LetterTake take;
    // The same timbres as the letters', so that only the pitch tells the voices apart.
    take.pitchSemitones = -random.Between(kMinBabblePitchSemitones, kMaxBabblePitchSemitones);
    take.formantSemitones = -take.pitchSemitones + random.Between(0, kMaxFormantSemitones);
    take.colourHz = 300 * std::pow(2.0, random.Between(0, 3.2));
    take.colourDb = random.Between(-kMaxColourDb, kMaxColourDb);
    take.tempoPercent = random.Between(-kMaxBabbleTempoPercent, kMaxBabbleTempoPercent);
    const std::vector<float> sound = TakeOfLetter(letter, take);
    const double own = Loudness(sound);
    const std::size_t end = place + sound.size();
    if (own <= 0 || mix.spoken.empty()) return end;
    double under = std::numeric_limits<double>::infinity();
    std::size_t nearest = 0;
    std::size_t nearestDistance = std::numeric_limits<std::size_t>::max();
    for (std::size_t i = 0; i < mix.spoken.size(); ++i) {
      const PlacedTake& spoken = mix.spoken[i];
      if (spoken.begin < end && place < spoken.end) under = std::min(under, levels[i]);
      const std::size_t distance = spoken.end <= place ? place - spoken.end : spoken.begin - std::min(spoken.begin, end);
      if (distance < nearestDistance) {
        nearestDistance = distance;
        nearest = i;
      }
    }
    if (!std::isfinite(under)) under = levels[nearest];
    take.gain = std::sqrt(under / own) * DbToGain(-random.Between(level.minBelowDb, level.maxBelowDb));
    MixInto(mix.babble, place, sound, take.gain);
    mix.babbled.push_back({letter, take, place, std::min(end, length)});
    return end;
  };
  // Under each letter, starting with it, a letter that sounds like it: the two differ in
  // the consonant and in pitch, which a listener hears and a classifier of spectra confuses.
  for (const PlacedTake& spoken : mix.spoken) {
    std::string alike;
    for (const std::string_view group : kSoundAlike) {
      if (group.find(Lowered(spoken.letter)) == std::string_view::npos) continue;
      for (const char c : group) {
        if (others.find(c) != std::string::npos) alike += c;
      }
    }
    const std::string& from = alike.empty() ? others : alike;
    const double shift = random.Between(-kMaxAlikeShiftMs, kMaxAlikeShiftMs);
    const auto place = static_cast<std::size_t>(std::max(0.0, static_cast<double>(spoken.begin) + shift * kSampleRate / 1000));
    (void)babble(from[random.Below(from.size())], place, kAlikeBabble);
  }
  // And a softer stream of any letters end to end, from the start to the end.
  std::size_t place = MsToSamples(random.Between(0, 120));
  while (place < length) place = babble(others[random.Below(others.size())], place, kFillerBabble);

  // Where takes meet, the babble could add up past its bound: there it is turned down, with
  // 10 ms ramps, so that its loudest 50 ms under each letter, and in each gap under the
  // quieter neighbour, stay a little more than kMinBabbleBelowLetterDb down.
  std::vector<float> limit(length, 1.0F);
  const auto bound = [&](std::size_t begin, std::size_t end, double level) {
    const double loudest = Loudness(std::vector<float>(mix.babble.begin() + static_cast<std::ptrdiff_t>(begin),
                                                       mix.babble.begin() + static_cast<std::ptrdiff_t>(end)));
    const double allowed = level * std::pow(10.0, -(kMinBabbleBelowLetterDb + 0.5) / 10);
    if (loudest <= allowed) return;
    const double factor = std::sqrt(allowed / loudest);
    constexpr std::size_t kRamp = kSampleRate / 100;
    for (std::size_t i = begin >= kRamp ? begin - kRamp : 0; i < std::min(length, end + kRamp); ++i) {
      const std::size_t outside = i < begin ? begin - i : i >= end ? i - end + 1 : 0;
      const double g = factor + (1 - factor) * static_cast<double>(outside) / kRamp;
      limit[i] = std::min(limit[i], static_cast<float>(g));
    }
  };
  for (std::size_t i = 0; i <= mix.spoken.size() && !mix.spoken.empty(); ++i) {
    if (i < mix.spoken.size()) bound(mix.spoken[i].begin, mix.spoken[i].end, levels[i]);
    const std::size_t begin = i == 0 ? 0 : mix.spoken[i - 1].end;
    const std::size_t end = i == mix.spoken.size() ? length : mix.spoken[i].begin;
    const double quieter = std::min(levels[i == 0 ? 0 : i - 1], levels[std::min(i, levels.size() - 1)]);
    if (end > begin) bound(begin, end, quieter);
  }
  for (std::size_t i = 0; i < length; ++i) mix.babble[i] *= limit[i];

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
