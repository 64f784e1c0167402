#!/usr/bin/env bash
# Installs the browser test's Node packages (tests/browser/node_modules) exactly as
# package-lock.json lists them. Quiet, and does nothing when they are already in place. The test
# drives Debian's chromium, so no browser is ever downloaded.
set -euo pipefail
cd "$(dirname "$0")/../tests/browser"
command -v npm >/dev/null 2>&1 || { echo "npm is missing: the browser test will not run" >&2; exit 0; }
stamp=node_modules/.lorva-lock
if [ -f "$stamp" ] && cmp -s package-lock.json "$stamp"; then
  exit 0
fi
PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null
cp package-lock.json "$stamp"
