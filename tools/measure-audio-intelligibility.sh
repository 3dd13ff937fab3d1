#!/usr/bin/env bash
# How recognisable the service's changed letters stay, by an objective proxy: Debian's
# pocketsphinx (en-us model) chooses among the 36 letter and digit names for each clip,
# once as the component speaks it and TAKES times as the service may change it (random
# tempo, pitch and gain inside the service's bounds). Prints both rates and their ratio; the
# service's changes should keep at least 80 % of the clean rate.
# Needs a configured build directory; installs pocketsphinx, its en-us model and sox when missing.
# Usage: tools/measure-audio-intelligibility.sh [BUILD_DIR] [TAKES] [SEED]   (defaults: build 5 1)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../build}
takes=${2:-5}
seed=${3:-1}
model=/usr/share/pocketsphinx/model/en-us
# Installed on demand, as the OCR measurement installs Tesseract: CI never needs them.
if ! command -v pocketsphinx_continuous > /dev/null || ! command -v sox > /dev/null || [ ! -d "$model/en-us" ]; then
  bash "$here/../setup/install-deps.sh" pocketsphinx pocketsphinx-en-us sox
fi
cmake --build "$build" --target letter_takes > /dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/letter_takes" "$work/takes" "$takes" "$seed"

# The names as the clips speak them, which are the dictionary's words.
names=(a b c d e f g h i j k l m n o p q r s t u v w x y z zero one two three four five six seven eight nine)
{
  echo '#JSGF V1.0;'
  echo 'grammar names;'
  echo "public <name> = $(IFS='|'; echo "${names[*]}" | sed 's/|/ | /g');"
} > "$work/names.jsgf"
name_of() {
  case $1 in
    [a-z]) echo "$1" ;;
    0) echo zero ;; 1) echo one ;; 2) echo two ;; 3) echo three ;; 4) echo four ;;
    5) echo five ;; 6) echo six ;; 7) echo seven ;; 8) echo eight ;; 9) echo nine ;;
  esac
}

# The model is for 16 kHz speech: each clip is resampled first, and framed in silence so
# that the recogniser finds where the speech begins.
heard() {
  sox "$1" -r 16000 "$work/16k.wav" pad 0.3 0.3
  pocketsphinx_continuous -infile "$work/16k.wav" -hmm "$model/en-us" -dict "$model/cmudict-en-us.dict" \
    -jsgf "$work/names.jsgf" 2> /dev/null | head -n 1
}

clean_right=0; clean_total=0; changed_right=0; changed_total=0
for file in "$work"/takes/*.wav; do
  base=$(basename "$file" .wav)
  expected=$(name_of "${base%%-*}")
  got=$(heard "$file")
  if [[ $base == *-clean ]]; then
    clean_total=$((clean_total + 1)); [ "$got" = "$expected" ] && clean_right=$((clean_right + 1))
  else
    changed_total=$((changed_total + 1)); [ "$got" = "$expected" ] && changed_right=$((changed_right + 1))
  fi
done
python3 - "$clean_right" "$clean_total" "$changed_right" "$changed_total" << 'PY'
import sys
cr, ct, xr, xt = map(int, sys.argv[1:])
clean, changed = cr / ct, xr / xt
print(f"| pocketsphinx, forced choice of 36 names | recognised |")
print(f"|---|---|")
print(f"| clean letters (the component's clips) | {cr}/{ct} ({100 * clean:.1f} %) |")
print(f"| changed letters (the service's takes) | {xr}/{xt} ({100 * changed:.1f} %) |")
print(f"| changed / clean | {changed / clean:.2f} |")
PY
