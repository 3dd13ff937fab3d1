#!/usr/bin/env bash
# What a site's proof of work costs a person and a bot, on the same puzzles.
# Usage: tools/measure-work.sh QUILLGATE [--algorithm pbkdf2-sha256|argon2id] [--units N] [--solves N]
# Starts `QUILLGATE serve` on a free loopback port, in a temporary folder, with one site whose
# policy asks for N units of the algorithm's work (default pbkdf2-sha256, 2400 units, the
# policy's default under load). For each of the puzzles (default 30) it takes one from
# /api/puzzle and has it solved twice: by the widget's own worker in Debian's chromium (the
# widget on a page of the site, its /api/puzzle answered with that puzzle, its challenge
# request going to the server, which must accept it), and by `QUILLGATE work solve` on one
# core (taskset -c 0 where there is taskset); both must find the same answers. Progress goes
# to standard error; the last line on standard output is one JSON object: algorithm, units,
# puzzles, browser_median_ms, browser_p95_ms, native_median_ms, native_p95_ms, ratio (the
# browser's median over the native one), then the milliseconds a unit took each side.
# Needs node with the project's playwright-core (setup/install-node-packages.sh) and chromium.
set -euo pipefail

usage() {
  echo "usage: $0 QUILLGATE [--algorithm pbkdf2-sha256|argon2id] [--units N] [--solves N]" >&2
  exit 64
}
[ $# -ge 1 ] || usage
binary=$1
shift
[ -x "$binary" ] || { echo "$0: $binary is not an executable quillgate" >&2; exit 64; }
algorithm=pbkdf2-sha256
units=2400
solves=30
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case $1 in
    --algorithm) algorithm=$2 ;;
    --units) units=$2 ;;
    --solves) solves=$2 ;;
    *) usage ;;
  esac
  shift 2
done
case $algorithm in pbkdf2-sha256 | argon2id) ;; *) echo "$0: unknown algorithm $algorithm" >&2; exit 64 ;; esac
[[ $units =~ ^[1-9][0-9]{0,8}$ ]] || { echo "$0: --units takes a whole number above 0" >&2; exit 64; }
[[ $solves =~ ^[1-9][0-9]{0,4}$ ]] || { echo "$0: --solves takes a whole number above 0" >&2; exit 64; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sitekey=measure_work
# Nothing but the work limits the requests: the measure asks for every puzzle itself.
cat >"$work/sites.json" <<JSON
{"sites": [{"sitekey": "$sitekey", "secret": "$(head -c 24 /dev/urandom | od -An -tx1 | tr -d ' \n')",
  "origins": ["*"],
  "policy": {"pow": {"algorithm": "$algorithm", "units": $units},
    "limits": {"challenge": {"per_minute": 0, "burst": 1}, "audio": {"per_minute": 0, "burst": 1},
               "verify": {"per_minute": 0, "burst": 1}, "puzzle": {"per_minute": 0, "burst": 1}}}}]}
JSON
chmod 600 "$work/sites.json"

native=("$binary")
if command -v taskset >/dev/null; then native=(taskset -c 0 "$binary"); fi
node "$(dirname "$0")/measure-work.mjs" "$work" "$sitekey" "$solves" "$binary" "${native[@]}"
