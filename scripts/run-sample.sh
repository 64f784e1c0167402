#!/usr/bin/env bash
# Builds the program and runs it on the bundled sample knowledge base: opens the window when
# there is a display; otherwise says so and archives the sample with the batch mode into
# out/sample-archive (or the folder given as the first argument), then says where index.htm is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=$(scripts/build.sh)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$dir/lorva-archive" --folder "Knowledge Base"
fi
echo "No display to open the window on: archiving the sample knowledge base with the batch mode."
out=${1:-out/sample-archive}
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
"$dir/lorva-archive" --generate --folder "Knowledge Base" --set "DestinationFolder=$out"
echo "Open $out/index.htm in a browser to read the archive."
