#!/usr/bin/env bash
# Fails when two source folders include each other, directly or around a circle. A folder is the
# first component of a path (base, support, outlook, page, ...), and each platform/<x> is a folder
# of its own. Reads the `#include "..."` lines of the tracked C++ files and hands each pair of
# folders to tsort, which names the folders of a circle when it meets one.
set -euo pipefail
cd "$(dirname "$0")/.."
folder='s@^(platform/[^/]+|[^/]+)/.*@\1@'
pairs=$(git ls-files '*.cpp' '*.h' | while read -r file; do
  from=$(sed -E "$folder" <<<"$file")
  sed -nE 's@^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*@\1@p' "$file" |
    sed -E "$folder" | while read -r to; do
      [ "$from" = "$to" ] || echo "$from $to"
    done
done | sort -u)
if ! loop=$(tsort <<<"$pairs" 2>&1 >/dev/null); then
  echo "check-layers: these folders include each other around a circle:" >&2
  awk '/input contains a loop/ { if (line) print line; line = " "; next }
       { sub(/^tsort: /, ""); line = line " " $0 } END { print line }' <<<"$loop" >&2
  exit 1
fi
