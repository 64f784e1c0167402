#!/usr/bin/env bash
# Builds the program and archives the bundled sample knowledge base with the batch mode into
# out/sample-archive (or the folder given as the first argument), then says where index.htm is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=$(scripts/build.sh)
out=${1:-out/sample-archive}
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
"$dir/lorva-archive" --generate --folder "Knowledge Base" --set "DestinationFolder=$out"
echo "Open $out/index.htm in a browser to read the archive."
