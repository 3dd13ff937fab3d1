#!/usr/bin/env bash
# Installs the npm packages pinned in package-lock.json (playwright-core, which drives the
# browser test) into the project's own node_modules. No browser is downloaded: the tests
# use Debian's chromium (setup/test-packages.txt). Safe to run again: it does nothing when
# node_modules already matches the lock file.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if ! command -v npm > /dev/null; then
  echo "Installing: nodejs npm"
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends nodejs npm
fi

# npm writes node_modules/.package-lock.json on every install: newer than the lock, and the
# package present, means nothing changed since.
if [ -d node_modules/playwright-core ] && [ node_modules/.package-lock.json -nt package-lock.json ]; then
  exit 0
fi
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
npm ci --no-audit --no-fund --ignore-scripts
