#!/usr/bin/env bash
# Builds the program and runs it on the bundled sample knowledge base.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=$(scripts/build.sh)
"$dir/lorva-archive" --list-items
