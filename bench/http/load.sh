#!/usr/bin/env bash
# Load test of `quillgate serve` with wrk on 127.0.0.1 (a benchmark, not a test), with a
# sites file, so the policy, the origins and the per-client buckets are all at work (the
# load site's buckets are large enough for the load client): challenges per second with
# style 31 at 1 and 2 workers (each pinned to as many cores), siteverifies per second with
# the memory and the Redis store, the p99 latency of challenges at half the peak rate, and
# a normal visitor's p99 while another client floods the heaviest allowed challenge, while
# 500 slow connections from one address trickle header bytes, and while 64 addresses in 8
# networks hold 2,048 of them. Prints a Markdown table.
# Usage: bench/http/load.sh [QUILLGATE_BINARY] [SECONDS_PER_RUN]
# Needs wrk and redis-server (setup/test-packages.txt). Every run is bounded in time.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
binary=${1:-$here/../../build/quillgate}
seconds=${2:-10}
connections=16
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; wait "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

secret=load_secret_0123456789_abcdefghijklmnop
umask 077
# The load site: the default policy (all 50 styles) with buckets the load client never
# empties, and the style, size and length opened to the request, so that the load asks for
# one style and the flood for the heaviest; the visitor site: the default policy, choosing
# nothing, under its own site key (the visitor asks 200 times in a few seconds, as no
# person would, to have a p99). Neither asks work under load: this measures the drawing
# path at full speed, which that work would turn into refusals (tools/attack-rates.py
# work-flood measures the server under load with it).
cat > "$work/sites.json" << JSON
{"sites": [
  {"sitekey": "load_site", "secret": "$secret", "origins": ["*"],
   "policy": {"client_choice": ["style", "size", "length"], "pow": {"under_load": 0},
              "limits": {"challenge": {"per_minute": 1e9, "burst": 1e9},
                         "verify": {"per_minute": 1e9, "burst": 1e9}}}},
  {"sitekey": "visitor_site", "secret": "visitor_secret_0123456789_abcdefghijk", "origins": ["*"],
   "policy": {"pow": {"under_load": 0}, "limits": {"challenge": {"per_minute": 1e9, "burst": 1e9}}}}]}
JSON

# COUNT tokens from the server at $url, one per line, over one kept-alive connection.
fetch_tokens() {
  python3 - "$url" "$1" << 'PY'
import http.client, json, sys, urllib.parse
url = urllib.parse.urlparse(sys.argv[1])
connection = http.client.HTTPConnection(url.hostname, url.port)
for _ in range(int(sys.argv[2])):
    connection.request("POST", "/api/challenge", body='{"sitekey":"load_site","width":120,"height":40,"style":31}',
                       headers={"Content-Type": "application/json"})
    print(json.loads(connection.getresponse().read())["token"])
PY
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Starts serve with the given options; sets $url.
start_serve() {
  local log=$work/serve-$RANDOM.log
  ${pin:-} "$binary" serve --listen 127.0.0.1:0 --secret-file "$work/keys" --sites "$work/sites.json" --quiet \
    --memory-capacity 10000000 --render-per-client 64 "$@" > "$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    url=$(sed -n 's/^Listening on \(http:[^ ]*\).*/\1/p' "$log")
    [ -n "$url" ] && return 0
    sleep 0.1
  done
  echo "serve did not start:" >&2; cat "$log" >&2; exit 1
}
stop_serve() { kill "${pids[-1]}"; wait "${pids[-1]}" 2> /dev/null || true; unset 'pids[-1]'; }

# CPU seconds (user + system) the server has used so far: on a busy machine wall-clock
# rates vary with the neighbours, CPU time per request much less.
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$1/stat"; }
requests() { sed -n 's/^ *\([0-9]*\) requests in.*/\1/p'; }

# wrk's requests per second, and its p99 latency, from its output; refused() counts the
# answers that were not 2xx (a rate that counted refusals would measure nothing).
rps() { sed -n 's/^Requests\/sec: *\([0-9.]*\).*/\1/p'; }
refused() { sed -n 's/^ *Non-2xx or 3xx responses: *\([0-9]*\).*/\1/p' | grep . || echo 0; }
p99() { awk '$1 == "99%" { print $2 }'; }

run_wrk() { wrk -t2 -c"${wrk_connections:-$connections}" -d"${seconds}s" --timeout 5s --latency "$@"; }

# Challenges at 1 and 2 workers.
declare -A challenges challenge_p99 challenge_cpu challenge_refused
for workers in 1 2; do
  pin="taskset -c 0-$((workers - 1))" start_serve --workers "$workers"
  before=$(cpu_seconds "${pids[-1]}")
  out=$(STYLE=31 SITEKEY=load_site run_wrk -s "$here/challenge.lua" "$url/api/challenge")
  after=$(cpu_seconds "${pids[-1]}")
  challenges[$workers]=$(echo "$out" | rps)
  challenge_refused[$workers]=$(echo "$out" | refused)
  challenge_p99[$workers]=$(echo "$out" | p99)
  challenge_cpu[$workers]=$(python3 -c "print(round(($after - $before) * 1e6 / $(echo "$out" | requests)))")
  stop_serve
done

# p99 at half the 2-worker peak. Many connections, each waiting long between requests, so
# that the time a request takes hardly shifts the rate (wrk's delay starts when the answer
# arrives); the server lets this one client hold them all.
start_serve --workers 2 --max-client-connections 128
half=$(python3 -c "print(int(${challenges[2]} / 2))")
out=$(wrk_connections=64; STYLE=31 SITEKEY=load_site RATE=$half CONNECTIONS=64 run_wrk -s "$here/challenge.lua" "$url/api/challenge")
half_rps=$(echo "$out" | rps)
half_p99=$(echo "$out" | p99)
half_refused=$(echo "$out" | refused)
stop_serve

# The visitor runs, on a server with the default per-client connection cap.
start_serve --workers 2

# A normal visitor (127.0.0.3, 200 challenges one after another, default buckets) while
# another client (127.0.0.2) keeps 8 of the heaviest challenges the default policy allows in
# flight, then while a third (127.0.0.4) holds 500 connections trickling header bytes.
visitor() { python3 "$here/clients.py" visitor "$url" visitor_site 127.0.0.3 200; }
visitor_quiet=$(visitor)
python3 "$here/clients.py" flood "$url" load_site 127.0.0.2 "$seconds" 8 '{"style":7,"width":400,"height":150,"length":8}' &
flood_pid=$!
sleep 1
visitor_flood=$(visitor)
wait "$flood_pid" || true
python3 "$here/clients.py" slow "$url" 127.0.0.4 "$seconds" 500 &
slow_pid=$!
sleep 2
visitor_slow=$(visitor)
wait "$slow_pid" || true
networks=$(python3 -c "print(','.join(f'127.0.{n}.{m}' for n in range(1, 9) for m in range(1, 9)))")
python3 "$here/clients.py" slow "$url" "$networks" "$((seconds + 10))" 32 &
slow_pid=$!
sleep 8
visitor_networks=$(visitor)
wait "$slow_pid" || true

# Tokens for the Redis verify run: real ones, from this server.
fetch_tokens 2000 > "$work/tokens"
stop_serve

# Siteverifies with each store (fresh servers; same secret file, so the tokens open).
redis_port=$(free_port)
redis-server --port "$redis_port" --bind 127.0.0.1 --save "" --appendonly no --dir "$work" --loglevel warning &
pids+=($!)
sleep 0.5
declare -A verifies
for store in memory "redis://127.0.0.1:$redis_port"; do
  # The memory store refuses tokens issued before it started: give it ones it issued.
  start_serve --workers 2 --store "$store"
  if [ "$store" = memory ]; then
    fetch_tokens 2000 > "$work/tokens-memory"
    tokens=$work/tokens-memory
  else
    tokens=$work/tokens
  fi
  out=$(TOKENS_FILE=$tokens SECRET=$secret run_wrk -s "$here/siteverify.lua" "$url/siteverify")
  verifies[$store]="$(echo "$out" | rps) ($(echo "$out" | refused) not 2xx)"
  stop_serve
done

cat << TABLE
| measure (wrk -t2 -c$connections, ${seconds} s each, 127.0.0.1; policy, origins and buckets on) | result |
|---|---|
| challenges/s, style 31, 1 worker on 1 core | ${challenges[1]} (p99 ${challenge_p99[1]}, server CPU ${challenge_cpu[1]} µs each, ${challenge_refused[1]} not 2xx) |
| challenges/s, style 31, 2 workers on 2 cores | ${challenges[2]} (p99 ${challenge_p99[2]}, server CPU ${challenge_cpu[2]} µs each, ${challenge_refused[2]} not 2xx) |
| 2 workers / 1 worker | $(python3 -c "print(round(${challenges[2]} / ${challenges[1]}, 2))") |
| p99 latency at half the 2-worker peak (asked $half/s over 64 connections, got $half_rps/s) | $half_p99 ($half_refused not 2xx) |
| a visitor's challenge, p50 / p99 ms (errors), quiet server | $(echo "$visitor_quiet" | awk '{ print $1 " / " $2 " (" $3 ")" }') |
| the same while one client floods style 7 at 400x150, 8 at a time | $(echo "$visitor_flood" | awk '{ print $1 " / " $2 " (" $3 ")" }') |
| the same while 500 connections trickle header bytes | $(echo "$visitor_slow" | awk '{ print $1 " / " $2 " (" $3 ")" }') |
| the same while 64 addresses in 8 networks hold 2,048 such connections | $(echo "$visitor_networks" | awk '{ print $1 " / " $2 " (" $3 ")" }') |
| siteverifies/s, memory store, 2 workers | ${verifies[memory]} |
| siteverifies/s, Redis store, 2 workers | ${verifies[redis://127.0.0.1:$redis_port]} |
TABLE
