#!/usr/bin/env bash
# The test command: installs what is needed, builds (compiler warnings are errors), and runs
# every test.
# --sanitize runs the same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/browser-deps.sh
dir=$(scripts/build.sh --werror "$@")
# Under the sanitizers, leaks inside system libraries are not ours to mend.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
