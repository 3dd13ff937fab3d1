#!/usr/bin/env bash
# How well an off-the-shelf OCR reads each text style: Debian's Tesseract (single-line mode,
# told the default alphabet, as an attacker would) on IMAGES random codes per style at the
# default settings (250 x 50 JPEG, five characters of the default alphabet). Prints a table
# of the share of codes read exactly and of characters read right (by edit distance), and
# writes it to OUT (default build/ocr-rates.md). It takes minutes: it is a measurement to
# publish, not a test.
#   tools/measure-ocr.sh [--images N] [--styles "0 1 2"] [--out FILE] [--build DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
images=100
styles=""
build="$root/build"
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --images) images=$2; shift 2 ;;
    --styles) styles=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "measure-ocr: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
case "$images" in ''|*[!0-9]*|0) echo "measure-ocr: --images takes a positive whole number" >&2; exit 2 ;; esac
out=${out:-$build/ocr-rates.md}

if ! command -v tesseract >/dev/null || ! command -v python3 >/dev/null; then
  bash "$root/setup/install-deps.sh" tesseract-ocr python3
fi
[ -x "$build/quillgate" ] || { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build "$build" -j2 --target quillgate; }
quillgate="$build/quillgate"
if [ -z "$styles" ]; then
  gallery=$(mktemp -d)
  "$quillgate" gallery -o "$gallery" >/dev/null
  styles=$(ls "$gallery" | sed -n 's/^style-\([0-9]*\)\.jpg$/\1/p' | sort -n | tr '\n' ' ')
  rm -rf "$gallery"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
alphabet=2345689ABCDEFGHJKMNPQRSTUVWXYZ
for style in $styles; do
  echo "style $style: drawing $images images" >&2
  for i in $(seq 1 "$images"); do
    code=$("$quillgate" image --style "$style" -o "$work/$style-$i.jpg" | sed -n 's/^Code: //p')
    printf '%s\t%s\t%s\n' "$style" "$work/$style-$i.jpg" "$code" >> "$work/expected.tsv"
  done
done
echo "reading $(wc -l < "$work/expected.tsv") images with $(tesseract --version 2>&1 | head -n 1)" >&2
cut -f2 "$work/expected.tsv" | xargs -P "$(nproc)" -I{} sh -c \
  'OMP_THREAD_LIMIT=1 tesseract "$1" - --psm 7 -c tessedit_char_whitelist='"$alphabet"' 2>/dev/null | tr -d " \n\f" > "$1.txt"' _ {}

PYTHONPATH="$root/tools" python3 - "$work/expected.tsv" "$images" > "$out" <<'PY'
import sys
from collections import defaultdict

from edit_distance import edit_distance as distance

exact = defaultdict(int); right = defaultdict(int); chars = defaultdict(int); count = defaultdict(int)
for line in open(sys.argv[1]):
    style, path, code = line.rstrip("\n").split("\t")
    read = open(path + ".txt").read().strip()
    count[style] += 1
    exact[style] += read == code
    chars[style] += len(code)
    right[style] += max(0, len(code) - distance(code, read))
print(f"| Style | Codes read exactly | Characters read right |")
print(f"|---:|---:|---:|")
for style in sorted(count, key=int):
    print(f"| {style} | {100 * exact[style] / count[style]:.0f} % | {100 * right[style] / chars[style]:.0f} % |")
print(f"\n{sys.argv[2]} images per style, 250 x 50 JPEG, default alphabet; Tesseract --psm 7 with the alphabet as whitelist.")
PY
cat "$out"
echo "written to $out" >&2
