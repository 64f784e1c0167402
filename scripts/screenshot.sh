#!/usr/bin/env bash
# Pictures of the window on the bundled sample knowledge base, taken under a virtual X server
# (Xvfb), for the continuous integration to keep and a person to look at (they are not compared):
#   out/screenshots/window.png               the Tahoma-compatible font, Qt's Fusion style
#   out/screenshots/window-fallback.png      the fallback font (DejaVu Sans), Fusion
#   out/screenshots/window-windows-style.png the Tahoma-compatible font, Qt's Windows style
# Usage: scripts/screenshot.sh [BUILD_DIR] (default build; the folder must hold a built tree).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
out=out/screenshots
mkdir -p "$out"
# A fresh settings folder: the window opens with the first start's options and stores nothing.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
shoot() {  # NAME STYLE [ARGUMENT...]
  local name=$1 style=$2
  shift 2
  XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb QT_STYLE_OVERRIDE="$style" \
    xvfb-run -a -s "-screen 0 640x600x24" \
    "$dir/window_screenshot" "$out/$name" --folder "Knowledge Base" "$@"
  echo "$out/$name"
}
shoot window.png Fusion
shoot window-fallback.png Fusion --fallback-font
shoot window-windows-style.png Windows
