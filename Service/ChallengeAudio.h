#pragma once
// The service's own recording of a challenge's code. The component's sound puts the same
// clip for each letter end to end on a one-second grid, so a table of the 36 clips reads it
// exactly. Here every letter is a different take: trimmed, time-stretched and pitch-shifted by
// its own random amounts (SoundTouch), with its own gain and random gaps, over a low babble
// of other clips played backwards and a little noise. A person still hears the letters; a
// clean clip no longer lines up with any of them.
//
// The randomness comes from a per-challenge seed, so the recording is made the same on
// every fetch: averaging fetches gains nothing, and no server has to keep it.

#include "Service/Token.h"

#include <array>
#include <string_view>
#include <vector>

namespace quillgate::service {

using AudioSeed = std::array<unsigned char, 32>;

// The seed of a token's recording: derived from its random, sealed id (which the visitor
// never sees) and its code, so two challenges with one code sound different.
[[nodiscard]] AudioSeed AudioSeedOf(const TokenClaims& claims);

// A complete 16-bit mono 8000 Hz PCM WAV file speaking `code` (A-Z, a-z, 0-9). Throws
// EngineError for a character without a clip, as the component's sound does.
[[nodiscard]] std::vector<unsigned char> RecordChallengeAudio(std::string_view code, const AudioSeed& seed);

// The bounds of each letter's random changes. Within them a listener still hears the letter
// (tools/measure-audio-intelligibility.sh measures it with a speech recogniser).
inline constexpr double kMaxTempoPercent = 15;
inline constexpr double kMaxPitchSemitones = 2;
inline constexpr double kMinLetterGain = 0.55;

// How much one letter is changed.
struct LetterTake {
  double tempoPercent = 0;    // SoundTouch tempo change
  double pitchSemitones = 0;
  double gain = 1;
};

// One letter's take alone, as 8000 Hz samples in [-1, 1] (no gaps, babble or noise).
[[nodiscard]] std::vector<float> TakeOfLetter(char letter, const LetterTake& take);

// Samples in [-1, 1] as a 16-bit mono 8000 Hz PCM WAV file.
[[nodiscard]] std::vector<unsigned char> EncodeWave(const std::vector<float>& samples);

}  // namespace quillgate::service
