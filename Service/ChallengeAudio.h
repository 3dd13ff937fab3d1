#pragma once
// The service's own recording of a challenge's code. The component's sound puts the same
// clip for each letter end to end on a one-second grid, so a table of the 36 clips reads it
// exactly. Here every letter is a different take: time-stretched and pitch-shifted by its
// own random amounts (SoundTouch), its formants raised as a smaller speaker's would be, its
// timbre coloured and its gain its own; neighbouring
// letters run into each other or leave a short gap, and under them runs a babble of other
// letters, played forwards in the same voice at a lower pitch: under each letter one that
// sounds like it, and a softer stream of any letters from the start to the end, all of it
// at least 6 dB below the letter it sounds under. A person follows the louder, higher
// voice, as in a crowd; a script can no longer find the letters by where the sound is,
// since the babble fills every gap.
//
// The randomness comes from a per-challenge seed, so the recording is made the same on
// every fetch and every server of a fleet: averaging fetches gains nothing, and no server
// has to keep it.

#include "Service/Token.h"

#include <array>
#include <cstddef>
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

// The bounds of each spoken letter's random changes. Within them a listener still hears the
// letter (tools/measure-audio-intelligibility.sh measures it with a speech recogniser).
inline constexpr double kMaxTempoPercent = 15;
inline constexpr double kMaxPitchSemitones = 2;
inline constexpr double kMinLetterGain = 0.55;

// How far the timbre of a letter is coloured, either way (a boost or cut of one band):
// a listener hears another microphone, not another letter.
inline constexpr double kMaxColourDb = 8;
// How much further than its pitch a letter's formants may rise: the voice of a smaller
// speaker saying the same word.
inline constexpr double kMaxFormantSemitones = 4;

// The babble's pitch, below the unchanged voice's: at least 2.5 semitones below any spoken
// letter's, so the ear separates the two voices.
inline constexpr double kMinBabblePitchSemitones = 4.5;
inline constexpr double kMaxBabblePitchSemitones = 7;
// All of the babble together stays at least this far below the letter it sounds under.
inline constexpr double kMinBabbleBelowLetterDb = 6;

// How much one letter is changed.
struct LetterTake {
  double tempoPercent = 0;    // SoundTouch tempo change
  double pitchSemitones = 0;
  double gain = 1;
  double colourHz = 1000;     // the centre of a one-octave boost or cut of the voice's timbre
  double colourDb = 0;
  double formantSemitones = 0;  // how much further than the pitch the formants rise
};

// One letter's take alone, as 8000 Hz samples in [-1, 1] (no neighbours, babble or noise).
[[nodiscard]] std::vector<float> TakeOfLetter(char letter, const LetterTake& take);

// The spoken part of a letter's clip, from which every take of it is made: the clip less
// the silence around the word, and nothing of the word itself.
[[nodiscard]] const std::vector<float>& SpokenPart(char letter);

// One take laid in a recording: samples [begin, end) hold TakeOfLetter(letter, take).
struct PlacedTake {
  char letter = 0;
  LetterTake take;
  std::size_t begin = 0;
  std::size_t end = 0;
};

// A recording before its parts are added up: the spoken letters, the babble and the noise
// as tracks of one length, and where each take lies. RecordChallengeAudio encodes Sum().
struct ChallengeMix {
  std::vector<float> letters;
  std::vector<float> babble;
  std::vector<float> noise;
  std::vector<PlacedTake> spoken;   // the code's letters, in order
  std::vector<PlacedTake> babbled;  // the babble's takes, in the order they were laid

  // The three tracks added up, with one gain that puts the loudest point a little under
  // full scale.
  [[nodiscard]] std::vector<float> Sum() const;
};

[[nodiscard]] ChallengeMix MixChallengeAudio(std::string_view code, const AudioSeed& seed);

// Samples in [-1, 1] as a 16-bit mono 8000 Hz PCM WAV file.
[[nodiscard]] std::vector<unsigned char> EncodeWave(const std::vector<float>& samples);

}  // namespace quillgate::service
