#!/usr/bin/env bash
# Redraws the committed reference picture of every style (tests/Styles/reference/styleN.png)
# from the current code. Run it only when a change of look is intended, then look at the
# pictures (and `git diff --stat`) before committing them.
#   tools/make-style-references.sh [BUILD_DIR]     (default: build)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target tests_Styles
QUILLGATE_WRITE_STYLE_REFERENCES=1 "$build/tests/tests_Styles" --gtest_filter='EveryDrawnStyle/StyleReference.*' \
  | grep -E '^(\[  (SKIPPED|FAILED) \]|.*wrote )' || true
ls -l "$root/tests/Styles/reference"
