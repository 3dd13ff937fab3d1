#!/usr/bin/env bash
# Regenerates the spoken-code sound data in Sound/data/ (committed; the build needs no
# synthesiser):
#   wave-header.bin     44-byte RIFF/WAVE header template, 16-bit mono PCM at 8000 Hz
#   lookup-table.bin    36 entries of 12 bytes: char, 3 x 0xCD, offset u32 LE, length u32 LE,
#                       in the order a..z, 1..9, 0; clips back to back from offset 0
#   letter-samples.raw  the clips, raw signed 16-bit little-endian mono at 8000 Hz
#
# Needs: flite and its t2p (Debian package "flite", voice cmu_us_rms built in), sox, python3 (standard
# library only). Usage: tools/make-voice-clips.sh [output-dir]   (default: Sound/data)
#
# Why flite's rms voice and not espeak-ng (measured, since nobody can listen here):
#   espeak-ng's English voices are formant synthesis; flite's rms, slt and awb are statistical
#   voices trained on natural recordings (CMU ARCTIC), kal16 is a diphone voice. With a
#   forced choice between the 36 names (pocketsphinx, en-us model, clean 16 kHz audio),
#   isolated letter names scored: flite rms 29-31/36, slt 28-29, kal16 27-29, awb 28;
#   espeak-ng en-us 11, en-us+f3 14, en-us+m3 10. The flite misses are mostly the b/d/e/g/p/v
#   set that people confuse as well. What decided between the flite voices is the 8000 Hz
#   storage: slt puts its "s" and "f" noise almost wholly above 4 kHz, so at 8 kHz its
#   "ess" loses 0.22 s of hiss and becomes "eh" (also c, f, x, 4-7); rms, a US male voice,
#   keeps every consonant (no clip loses more than 7 ms of sound above -45 dB). awb is
#   Scottish English.
#
# Each clip: the letter's name as spoken when spelling, US English ("zee", "double-u"),
# 15% slower than the voice's default (best of 1.0/1.15/1.3 in the test above), converted by
# sox to 8000 Hz (very-high-quality resampler), peak-normalised, leading and trailing sound
# below -52 dBFS trimmed (the voice leaves a faint noise floor around the speech), levelled to
# the same RMS (-20 dBFS, peaks held at or below -1 dBFS so nothing clips), 5 ms fades at the
# cut ends, then framed in silence: 0.12 s before the voice and after it as much as makes the
# clip 1.00 s (at least 0.20 s). A name too long for that frame is sped up with sox's tempo
# (pitch kept) to fit 1.30 s; none needs it with this voice. Every clip therefore lasts 1.00
# to 1.30 s, so the clips of a code, which the assembled WAV puts back to back, come with a
# natural pause between the characters.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:-$here/../Sound/data}"

for tool in flite sox python3; do
  command -v "$tool" >/dev/null || { echo "make-voice-clips: $tool is not installed" >&2; exit 1; }
done
flite -lv | grep -qw rms || { echo "make-voice-clips: flite has no rms voice" >&2; exit 1; }

mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$out" <<'PYTHON'
import array, hashlib, math, os, struct, subprocess, sys

work, out = sys.argv[1], sys.argv[2]
RATE = 8000
VOICE = "rms"
STRETCH = "1.15"
LEAD = 0.12          # seconds of silence before the voice
MIN_TAIL = 0.20      # seconds of silence after it, at least
MIN_CLIP, MAX_CLIP = 1.00, 1.30
TARGET_RMS = 32768 * 10 ** (-20 / 20)
PEAK_LIMIT = 32768 * 10 ** (-1 / 20)
FADE = int(0.005 * RATE)

# What flite is given for each character. Bare letters already read as their names; "a"
# alone reads unstressed (as the article), "ay" gives the stressed name.
ORDER = "abcdefghijklmnopqrstuvwxyz1234567890"
TEXT = {c: c for c in ORDER}
TEXT["a"] = "ay"
# The pronunciation flite must choose (its phone set); checked so that another lexicon
# cannot silently change a name.
PHONES = {
    "a": "ey1", "b": "b iy1", "c": "s iy1", "d": "d iy1", "e": "iy1", "f": "eh1 f",
    "g": "jh iy1", "h": "ey1 ch", "i": "ay1", "j": "jh ey1", "k": "k ey1", "l": "eh1 l",
    "m": "eh1 m", "n": "eh1 n", "o": "ow1", "p": "p iy1", "q": "k y uw1", "r": "aa1 r",
    "s": "eh1 s", "t": "t iy1", "u": "y uw1", "v": "v iy1", "w": "d ah1 b ax l y uw",
    "x": "eh1 k s", "y": "w ay1", "z": "z iy1", "1": "w ah1 n", "2": "t uw1",
    "3": "th r iy1", "4": "f ao1 r", "5": "f ay1 v", "6": "s ih1 k s", "7": "s eh1 v ax n",
    "8": "ey1 t", "9": "n ay1 n", "0": "z ih1 r ow",
}

def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout

def speech(c, tempo=None):
    wav = os.path.join(work, f"{c}.wav")
    raw = os.path.join(work, f"{c}.raw")
    run("flite", "-voice", VOICE, "--setf", f"duration_stretch={STRETCH}", "-t", TEXT[c], "-o", wav)
    effects = ["rate", "-v", str(RATE)]
    if tempo:
        effects = ["tempo", "-s", f"{tempo:.4f}"] + effects
    effects += ["gain", "-n", "-1",
                "silence", "1", "0.005", "-52d", "reverse", "silence", "1", "0.005", "-52d", "reverse"]
    # -D: no dither, so that the same voice always gives the same bytes (and the trimmed
    # silence holds no dither noise).
    run("sox", "-D", wav, "-t", "raw", "-r", str(RATE), "-e", "signed-integer", "-b", "16", "-c", "1",
        "-L", raw, *effects)
    samples = array.array("h")
    with open(raw, "rb") as f:
        samples.frombytes(f.read())
    if sys.byteorder != "little":
        samples.byteswap()
    return samples

def level(samples):
    rms = math.sqrt(sum(x * x for x in samples) / len(samples))
    peak = max(abs(x) for x in samples)
    gain = min(TARGET_RMS / rms, PEAK_LIMIT / peak)
    n = len(samples)
    result = array.array("h")
    for i, x in enumerate(samples):
        ramp = min(1.0, (i + 1) / FADE, (n - i) / FADE)
        result.append(int(round(x * gain * ramp)))
    return result

clips = []
for c in ORDER:
    got = run("t2p", TEXT[c]).split()
    want = ["pau"] + PHONES[c].split() + ["pau"]
    if got != want:
        sys.exit(f"make-voice-clips: flite reads {c!r} as {' '.join(got)}, expected {' '.join(want)}")
    voice = speech(c)
    print(f"{c}: voice {len(voice) / RATE:.3f} s", file=sys.stderr) if os.environ.get("VERBOSE") else None
    if len(voice) == 0:
        sys.exit(f"make-voice-clips: flite produced no sound for {c!r}")
    room = MAX_CLIP - LEAD - MIN_TAIL
    if len(voice) / RATE > room:
        voice = speech(c, tempo=(len(voice) / RATE) / room * 1.01)
    voice = level(voice)
    lead = int(LEAD * RATE)
    tail = max(int(MIN_TAIL * RATE), int(MIN_CLIP * RATE) - lead - len(voice))
    clip = array.array("h", [0] * lead) + voice + array.array("h", [0] * tail)
    clips.append((c, clip))

# Checks before anything is written: the assembled WAV must be usable as it stands.
seconds = [len(clip) / RATE for _, clip in clips]
if not all(MIN_CLIP - 1e-9 <= s <= MAX_CLIP + 1e-9 for s in seconds):
    sys.exit(f"make-voice-clips: clip lengths out of range: {seconds}")
digests = {hashlib.sha256(clip.tobytes()).digest() for _, clip in clips}
if len(digests) != len(clips):
    sys.exit("make-voice-clips: two characters produced the same clip")
for c, clip in clips:
    if max(abs(x) for x in clip) >= 32767:
        sys.exit(f"make-voice-clips: clip {c!r} is clipped")

samples = bytearray()
table = bytearray()
for c, clip in clips:
    if sys.byteorder != "little":
        clip = array.array("h", clip)
        clip.byteswap()
    data = clip.tobytes()
    table += struct.pack("<c3sII", c.encode("ascii"), b"\xcd\xcd\xcd", len(samples), len(data))
    samples += data
assert len(table) == 36 * 12

# Template sizes: those of a WAV holding the first clip alone; they are replaced per sound.
first = len(clips[0][1]) * 2
header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", first + 36, b"WAVE", b"fmt ", 16, 1, 1,
                     RATE, RATE * 2, 2, 16, b"data", first)
assert len(header) == 44

for name, data in (("wave-header.bin", header), ("lookup-table.bin", table),
                   ("letter-samples.raw", samples)):
    path = os.path.join(out, name)
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)

print(f"make-voice-clips: {len(clips)} clips, {min(seconds):.3f}-{max(seconds):.3f} s each, "
      f"{len(samples)} sample bytes -> {out}")
PYTHON
