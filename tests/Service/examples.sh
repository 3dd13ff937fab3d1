#!/usr/bin/env bash
# The README's siteverify examples (curl, Python, PHP) run against a real `quillgate serve`
# with a sites file: each accepts the right answer and refuses the replayed one, and each
# stands in the README exactly as it is in Service/examples/.
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
"$binary" serve --listen 127.0.0.1:0 --workers 1 --secret-file "$work/keys" --sites "$work/sites.json" --quiet \
  > "$work/serve.log" 2>&1 &
server=$!
url=
for _ in $(seq 100); do
  url=$(sed -n 's/^Listening on \(http:[^ ]*\).*/\1/p' "$work/serve.log")
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { echo "serve did not start:"; cat "$work/serve.log"; exit 1; }

# What the widget does in the visitor's browser: a challenge, then TOKEN.ANSWER in the form.
new_response() {
  local token
  token=$(curl -sS -H 'Origin: https://www.example.org' -H 'Content-Type: application/json' \
    -d '{"sitekey":"example_site"}' "$url/api/challenge" | python3 -c 'import json,sys; print(json.load(sys.stdin)["token"])')
  echo "$token.$("$binary" token open --secret-file "$work/keys" "$token" | python3 -c 'import json,sys; print(json.load(sys.stdin)["code"])')"
}
succeeds() { "$@" | python3 -c 'import json,sys; r=json.load(sys.stdin); sys.exit(0 if r["success"] is True and r["hostname"] == "www.example.org" else 1)'; }
refused_as_duplicate() {
  local out
  out=$("$@" || true)
  python3 -c 'import json,sys; r=json.loads(sys.argv[1]); sys.exit(0 if r["success"] is False and r["error-codes"] == ["timeout-or-duplicate"] else 1)' "$out"
}

for example in "sh $examples/siteverify.sh" "python3 $examples/siteverify.py" "php $examples/siteverify.php"; do
  response=$(new_response)
  check "$example accepts the right answer" succeeds $example "$url" "$secret" "$response"
  check "$example refuses it replayed" refused_as_duplicate $example "$url" "$secret" "$response"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
