// Writes each of the 36 clips as the service speaks a letter: once unchanged and TAKES times
// with random changes inside the service's bounds, as 8000 Hz WAV files, for
// measure-audio-intelligibility.sh. Usage: letter-takes OUTPUT_DIR TAKES [SEED]
#include "Service/ChallengeAudio.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using namespace quillgate::service;

namespace {

void Write(const std::filesystem::path& file, const std::vector<float>& samples) {
  const std::vector<unsigned char> wave = EncodeWave(samples);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(wave.data()), static_cast<std::streamsize>(wave.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: letter-takes OUTPUT_DIR TAKES [SEED]\n");
    return 2;
  }
  try {
    const std::filesystem::path dir = argv[1];
    const int takes = std::stoi(argv[2]);
    std::mt19937 random(argc > 3 ? static_cast<unsigned>(std::stoul(argv[3])) : 1u);
    std::uniform_real_distribution<double> tempo(-kMaxTempoPercent, kMaxTempoPercent);
    std::uniform_real_distribution<double> pitch(-kMaxPitchSemitones, kMaxPitchSemitones);
    std::uniform_real_distribution<double> gain(kMinLetterGain, 1.0);
    std::filesystem::create_directories(dir);
    for (const char letter : std::string("abcdefghijklmnopqrstuvwxyz0123456789")) {
      Write(dir / (std::string(1, letter) + "-clean.wav"), TakeOfLetter(letter, LetterTake{}));
      for (int i = 0; i < takes; ++i) {
        Write(dir / (std::string(1, letter) + "-take" + std::to_string(i) + ".wav"),
              TakeOfLetter(letter, LetterTake{tempo(random), pitch(random), gain(random)}));
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "letter-takes: %s\n", error.what());
    return 1;
  }
  return 0;
}
