// Makes many challenge recordings in one process with the service's own recording code, as
// an attacker who builds it from the source makes labelled training data: reads lines
// "CODE SEED PATH" (SEED: 64 hex digits) from standard input, writes each recording to PATH
// as the server serves it, and prints "PATH BEGIN END ..." with the sample range of each of
// the code's letters in it.
//
//   audio-batch < jobs            the recordings
//   audio-batch --waves-only < jobs   the recordings, no places (to time the recording code)
//   audio-batch --trim-loss       for each of the 36 clips, the ms of its sound within 35 dB
//                                 of its loudest 10 ms that the cut to the spoken part drops
//
// Built against the current recording code (target audio_batch) and against an earlier
// revision's (audio_batch_revision, with QUILLGATE_AUDIO_NO_LAYOUT). That code does not say
// where its letters lie, so the tool replays its draws, as an attacker reading it would:
// revision d4e5d32 laid each letter's take after a gap of 120 to 480 ms, drawing the gap,
// then each letter's tempo, pitch and gain and the next gap, from a ChaCha20 keystream
// under the seed.
#include "Service/ChallengeAudio.h"
#include "Sound/SoundGenerator.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace quillgate::service;

namespace {

bool ParseSeed(std::string_view hex, AudioSeed& seed) {
  if (hex.size() != 2 * seed.size()) return false;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < seed.size(); ++i) {
    const int high = digit(hex[2 * i]);
    const int low = digit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    seed[i] = static_cast<unsigned char>(high << 4 | low);
  }
  return true;
}

#ifdef QUILLGATE_AUDIO_NO_LAYOUT
// Where revision d4e5d32's recording puts each letter, from the same draws it makes.
std::vector<std::pair<std::size_t, std::size_t>> ReplayedLayout(std::string_view code, const AudioSeed& seed) {
  std::array<std::uint64_t, 64> block{};
  std::size_t used = block.size();
  std::uint64_t counter = 0;
  const auto unit = [&] {
    if (used == block.size()) {
      std::array<unsigned char, crypto_stream_chacha20_ietf_NONCEBYTES> nonce{};
      std::memcpy(nonce.data(), &counter, sizeof counter);
      ++counter;
      crypto_stream_chacha20_ietf(reinterpret_cast<unsigned char*>(block.data()), sizeof block, nonce.data(), seed.data());
      used = 0;
    }
    return static_cast<double>(block[used++] >> 11) * 0x1.0p-53;
  };
  const auto between = [&](double low, double high) { return low + (high - low) * unit(); };
  const auto samples = [](double ms) { return static_cast<std::size_t>(ms * 8000 / 1000); };
  std::vector<std::pair<std::size_t, std::size_t>> layout;
  std::size_t at = samples(between(120, 480));
  for (const char letter : code) {
    LetterTake take;
    take.tempoPercent = between(-kMaxTempoPercent, kMaxTempoPercent);
    take.pitchSemitones = between(-kMaxPitchSemitones, kMaxPitchSemitones);
    take.gain = between(kMinLetterGain, 1.0);
    const std::size_t length = TakeOfLetter(letter, take).size();
    layout.emplace_back(at, at + length);
    at += length + samples(between(120, 480));
  }
  return layout;
}
#else
// Milliseconds of the clip's 10 ms windows within 35 dB of its loudest that lie outside the
// spoken part (found in the clip by its samples, so a cut that lost its place shows too).
int TrimLossMs(char letter) {
  const auto bytes = quillgate::SoundGenerator().ClipSamples(letter);
  std::vector<float> clip(bytes.size() / 2);
  for (std::size_t i = 0; i < clip.size(); ++i) {
    const auto low = std::to_integer<std::uint16_t>(bytes[2 * i]);
    const auto high = std::to_integer<std::uint16_t>(bytes[2 * i + 1]);
    clip[i] = static_cast<float>(static_cast<std::int16_t>(low | high << 8)) / 32768.0F;
  }
  const std::vector<float>& part = SpokenPart(letter);
  const auto found = std::search(clip.begin(), clip.end(), part.begin(), part.end());
  if (part.empty() || found == clip.end()) throw std::runtime_error("the spoken part is not a piece of the clip");
  const auto begin = static_cast<std::size_t>(found - clip.begin());
  const std::size_t end = begin + part.size();
  constexpr std::size_t kWindow = 80;
  std::vector<double> energy;
  for (std::size_t at = 0; at < clip.size(); at += kWindow) {
    double sum = 0;
    for (std::size_t i = at; i < std::min(clip.size(), at + kWindow); ++i) sum += double{clip[i]} * clip[i];
    energy.push_back(sum);
  }
  const double loudest = *std::max_element(energy.begin(), energy.end());
  std::size_t lost = 0;
  for (std::size_t w = 0; w < energy.size(); ++w) {
    if (energy[w] <= loudest * 3.1622776601683794e-4) continue;  // 35 dB under
    for (std::size_t i = w * kWindow; i < std::min(clip.size(), (w + 1) * kWindow); ++i) lost += i < begin || i >= end;
  }
  return static_cast<int>(lost / 8);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--trim-loss") {
#ifdef QUILLGATE_AUDIO_NO_LAYOUT
    std::fprintf(stderr, "audio-batch: this recording code does not show its spoken parts\n");
    return 2;
#else
    for (const char letter : std::string_view("abcdefghijklmnopqrstuvwxyz0123456789")) {
      std::printf("%c %d\n", letter, TrimLossMs(letter));
    }
    return 0;
#endif
  }
  const bool wavesOnly = argc > 1 && std::string_view(argv[1]) == "--waves-only";
  if (argc > 1 && !wavesOnly) {
    std::fprintf(stderr, "usage: audio-batch [--trim-loss | --waves-only] < lines of CODE SEED PATH\n");
    return 2;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream fields(line);
    std::string code;
    std::string hex;
    std::string path;
    AudioSeed seed{};
    if (!(fields >> code >> hex >> path) || !ParseSeed(hex, seed)) {
      std::fprintf(stderr, "audio-batch: bad line \"%s\" (want CODE SEED PATH, SEED 64 hex digits)\n", line.c_str());
      return 2;
    }
    try {
#ifdef QUILLGATE_AUDIO_NO_LAYOUT
      const std::vector<unsigned char> wave = RecordChallengeAudio(code, seed);
      std::cout << path;
      if (!wavesOnly) {
        for (const auto& [begin, end] : ReplayedLayout(code, seed)) std::cout << ' ' << begin << ' ' << end;
      }
      std::cout << '\n';
#else
      std::vector<unsigned char> wave;
      if (wavesOnly) {
        wave = RecordChallengeAudio(code, seed);
        std::cout << path << '\n';
      } else {
        const ChallengeMix mix = MixChallengeAudio(code, seed);
        wave = EncodeWave(mix.Sum());
        std::cout << path;
        for (const PlacedTake& letter : mix.spoken) std::cout << ' ' << letter.begin << ' ' << letter.end;
        std::cout << '\n';
      }
#endif
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(wave.data()), static_cast<std::streamsize>(wave.size()));
      if (!out) throw std::runtime_error("cannot write " + path);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "audio-batch: %s: %s\n", code.c_str(), error.what());
      return 1;
    }
  }
  return std::cout.flush() ? 0 : 1;
}
