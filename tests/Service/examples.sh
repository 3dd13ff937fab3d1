#!/usr/bin/env bash
# The README's siteverify examples (curl, Python, PHP) run against a real `quillgate serve`
# with a sites file: each accepts the right answer and refuses the replayed one, and each
# stands in the README exactly as it is in Service/examples/. Then what an operator does to
# that server: SIGHUP rereads the sites (a broken file keeps the old ones), every request
# leaves one JSON log line, and SIGTERM ends it cleanly.
# Usage: examples.sh QUILLGATE_BINARY
set -euo pipefail
binary=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
examples=$root/Service/examples
work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2> /dev/null && wait "$server" 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT
passed=0
failed=0
check() {  # check NAME COMMAND...: the command must succeed
  if "${@:2}" > "$work/out" 2>&1; then
    passed=$((passed + 1)); echo "ok   $1"
  else
    failed=$((failed + 1)); echo "FAIL $1"; sed 's/^/     /' "$work/out"
  fi
}

for file in siteverify.sh siteverify.py siteverify.php; do
  # The README shows it as a code block: every line indented by four spaces.
  check "the README shows $file as it is" python3 -c '
import sys
readme = open(sys.argv[1], encoding="utf-8").read()
lines = open(sys.argv[2], encoding="utf-8").read().rstrip("\n").split("\n")
sys.exit(0 if "\n".join("    " + l if l else "" for l in lines) + "\n" in readme else 1)' "$root/README.md" "$examples/$file"
done

secret=example_secret_0123456789_abcdefghijk
umask 077
cat > "$work/sites.json" << JSON
{"sites": [{"name": "example", "sitekey": "example_site", "secret": "$secret",
            "origins": ["https://www.example.org"]}]}
JSON
# The log exists before the server starts: the started job opens it only when it runs, and
# reading a file not there yet would end this script (set -e) under a loaded machine.
: > "$work/serve.log"
"$binary" serve --listen 127.0.0.1:0 --workers 1 --secret-file "$work/keys" --sites "$work/sites.json" \
  > "$work/serve.log" 2> "$work/requests.log" &
server=$!
url=
for _ in $(seq 100); do
  url=$(sed -n 's/^Listening on \(http:[^ ]*\).*/\1/p' "$work/serve.log")
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { echo "serve did not start:"; cat "$work/serve.log"; exit 1; }

# What the widget does in the visitor's browser: a challenge, then TOKEN.ANSWER in the form.
new_response() {  # new_response [ORIGIN]: a right answer, for a page of ORIGIN (default the site's)
  local token
  token=$(curl -sS -H "Origin: ${1-https://www.example.org}" -H 'Content-Type: application/json' \
    -d '{"sitekey":"example_site"}' "$url/api/challenge" | python3 -c 'import json,sys; print(json.load(sys.stdin)["token"])')
  echo "$token.$("$binary" token open --secret-file "$work/keys" "$token" | python3 -c 'import json,sys; print(json.load(sys.stdin)["code"])')"
}
succeeds() { "$@" | python3 -c 'import json,sys; r=json.load(sys.stdin); sys.exit(0 if r["success"] is True and r["hostname"] == "www.example.org" else 1)'; }
fails() { ! "$@"; }
refused_as_duplicate() {
  local out
  out=$("$@" || true)
  python3 -c 'import json,sys; r=json.loads(sys.argv[1]); sys.exit(0 if r["success"] is False and r["error-codes"] == ["timeout-or-duplicate"] else 1)' "$out"
}

for example in "sh $examples/siteverify.sh" "python3 $examples/siteverify.py" "php $examples/siteverify.php"; do
  response=$(new_response)
  check "$example accepts the right answer" succeeds $example "$url" "$secret" "$response" www.example.org
  check "$example refuses it replayed" refused_as_duplicate $example "$url" "$secret" "$response" www.example.org
  # A script with no page (no Origin) gets a token whose hostname is empty: right answer,
  # "success": true, yet not an answer from the site's page.
  check "$example refuses a right answer with no page" fails $example "$url" "$secret" "$(new_response '')" www.example.org
done
# Key rotation as the README gives it: a new file renamed over the old one, then SIGHUP. A
# token sealed before still verifies, and new ones are sealed with the new key.
before=$(new_response)
old_key=$(grep -v '^#' "$work/keys" | head -1)
(cd "$work" && PID=$server && (umask 077; { openssl rand -hex 32; cat keys; } > keys.new) && mv keys.new keys && kill -HUP "$PID")
rotated() { for _ in $(seq 50); do grep -q '"event":"reloaded"' "$work/requests.log" && return 0; sleep 0.1; done; return 1; }
check "the README's rotation reloads the keys" rotated
check "a token sealed before the rotation verifies" succeeds python3 "$examples/siteverify.py" "$url" "$secret" "$before" www.example.org
printf '%s\n' "$old_key" > "$work/old-key" && chmod 600 "$work/old-key"
check "a new token is sealed with the new key" fails "$binary" token open --secret-file "$work/old-key" "$(new_response | cut -d. -f1)"
# SIGHUP: a second site appears; a broken file is refused and the sites stay as they were.
status_for() {  # status_for SITEKEY ORIGIN: the status of a challenge request
  curl -s -o /dev/null -w '%{http_code}' -H "Origin: $2" -H 'Content-Type: application/json' \
    -d "{\"sitekey\":\"$1\"}" "$url/api/challenge"
}
check "an unknown site is refused" test "$(status_for second_site https://two.example.org)" = 400
cat > "$work/sites.json" << JSON
{"sites": [{"name": "example", "sitekey": "example_site", "secret": "$secret",
            "origins": ["https://www.example.org"]},
           {"name": "second", "sitekey": "second_site", "secret": "second_secret_0123456789_abcdefghijk",
            "origins": ["https://two.example.org"]}]}
JSON
kill -HUP "$server"
reloaded() { for _ in $(seq 50); do [ "$(status_for second_site https://two.example.org)" = 200 ] && return 0; sleep 0.1; done; return 1; }
check "SIGHUP rereads the sites file" reloaded
echo '{"sites": [' > "$work/sites.json"
kill -HUP "$server"
sleep 0.5
check "a broken sites file keeps the sites that were" test "$(status_for second_site https://two.example.org)" = 200
check "the failed reload is logged" grep -q '"event":"reload_failed"' "$work/requests.log"
check "each answer logs one JSON line, refusals a summary" python3 -c '
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
answers = [l for l in lines if "route" in l and "event" not in l]
refused = [l for l in lines if l.get("event") == "refused"]
assert any(l["route"] == "siteverify" and l["status"] == 200 and l["site"] == "example_site" for l in answers), lines
assert all(set(l) >= {"time", "client", "method", "route", "status", "ms", "site"} for l in answers)
assert refused and all(set(l) >= {"time", "route", "status", "error", "count"} for l in refused), refused' "$work/requests.log"
kill -TERM "$server"
stopped() { wait "$server"; }
check "SIGTERM stops the server cleanly" stopped
server=

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
