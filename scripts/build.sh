#!/usr/bin/env bash
# Configures and builds a development build into build/ (or build-asan/ with --sanitize): the
# program opens this build's sample store and finds its converter bridge in the source tree.
# --werror makes compiler warnings errors (the test command and the continuous integration ask
# for it); without it the build keeps the setting it had. Prints the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
flags=(-DLORVA_DEVELOPMENT_BUILD=ON)
for arg in "$@"; do
  case "$arg" in
    --sanitize) dir=build-asan; flags+=(-DLORVA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
    --werror) flags+=(-DLORVA_WERROR=ON) ;;
    *) echo "usage: scripts/build.sh [--sanitize] [--werror]" >&2; exit 64 ;;
  esac
done
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" >&2
echo "$dir"
