#!/usr/bin/env bash
# Regenerates the render-cost table of Service/RenderCost.cpp: each style's milliseconds for
# one 250 x 50 JPEG on one core (1000 / images per second, three significant digits), from
# the benchmark binary's BM_CreateImageJpeg runs. Prints the C++ initializer to paste over the
# table; run it on the machine whose speed the policies' max_render_ms are meant for.
#   tools/render-cost-table.sh [--build DIR]        runs DIR/bench/quillgate_bench (default build)
#   tools/render-cost-table.sh --from-json FILE     reads saved --benchmark_format=json output
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
from=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --from-json) from=$2; shift 2 ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "render-cost-table: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
command -v python3 >/dev/null || { echo "render-cost-table: python3 is needed" >&2; exit 1; }

if [ -z "$from" ]; then
  bench="$build/bench/quillgate_bench"
  [ -x "$bench" ] || { echo "render-cost-table: $bench is missing; build the quillgate_bench target first" >&2; exit 1; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  from="$work/bench.json"
  # The benchmark's own progress goes to stderr; only the JSON report is kept.
  "$bench" --benchmark_filter='BM_CreateImageJpeg/style:' --benchmark_format=json >"$from"
fi

python3 - "$from" <<'PY'
import json, re, sys

STYLES = 50
with open(sys.argv[1], encoding="utf-8") as f:
    report = json.load(f)

# With --benchmark_repetitions the median aggregate stands for a style; otherwise the
# mean of its iteration runs.
runs = {}
medians = {}
for run in report.get("benchmarks", []):
    match = re.fullmatch(r"BM_CreateImageJpeg/style:(\d+)", run.get("run_name", run.get("name", "")))
    if not match:
        continue
    style = int(match.group(1))
    if "images/s" in run:
        rate = float(run["images/s"])
    else:
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run.get("time_unit", "ns")]
        rate = 1.0 / (float(run["cpu_time"]) * scale)
    if rate <= 0:
        sys.exit(f"render-cost-table: style {style} has no positive rate")
    if run.get("run_type") == "aggregate":
        if run.get("aggregate_name") == "median":
            medians[style] = rate
    else:
        runs.setdefault(style, []).append(rate)

rates = {style: sum(r) / len(r) for style, r in runs.items()}
rates.update(medians)
missing = [s for s in range(STYLES) if s not in rates]
if missing:
    sys.exit("render-cost-table: no BM_CreateImageJpeg result for style(s) " + ", ".join(map(str, missing)))

print("constexpr std::array<double, kStyles> kMsPerReferenceImage{")
for style in range(STYLES):
    ms = float(f"{1000.0 / rates[style]:.3g}")
    print(f"    {ms:g},  // style {style}: {rates[style]:,.0f} images/s")
print("};")
PY
