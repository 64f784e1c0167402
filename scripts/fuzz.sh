#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (and the sanitizers) and runs each for a bounded time,
# seeded with the sample store and the Outlook-written corpus. Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DLORVA_FUZZ=ON -DLORVA_SANITIZE=ON \
  -DLORVA_WERROR=ON -DLORVA_GUI=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-fuzz -j "$(nproc)" >&2
shopt -s nullglob
for target in build-fuzz/tests/fuzz/*_fuzz; do
  name=$(basename "$target")
  seeds=build-fuzz/fuzz-seeds/$name
  mkdir -p "$seeds"
  for d in tests/fuzz/seeds/"$name" tests/data/msg tests/data/real build-fuzz/samples/store; do
    [ -d "$d" ] && find "$d" -type f -name '*' -size -4M -exec cp -n {} "$seeds"/ \; 2>/dev/null || true
  done
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    "$seeds" 2>&1 | tail -n 5
done
