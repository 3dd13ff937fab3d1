#!/usr/bin/env bash
# Installs the Debian packages that building needs (setup/build-packages.txt), with --tests
# also those that the tests need (setup/test-packages.txt), or the packages named as
# arguments, skipping those already installed.
# Uses sudo when not run as root. Safe to run again: it does nothing when all are present.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
read_list() { sed -e 's/#.*//' -e 's/[[:space:]]//g' "$here/$1" | grep -v '^$'; }
if [ "${1:-}" = --tests ]; then
  mapfile -t wanted < <(read_list build-packages.txt; read_list test-packages.txt)
elif [ $# -gt 0 ]; then
  # Packages named as arguments (tools that only a script needs) instead of the lists.
  wanted=("$@")
else
  mapfile -t wanted < <(read_list build-packages.txt)
fi

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
