#!/usr/bin/env bash
# Takes the pictures of the panel under docs/: the program's own painting in a real window on a
# private Xvfb, with Wine's "Small Fonts", both sizes, at 1:1 and enlarged 4 times.
# Usage: tools/panel-pictures.sh [BUILD_DIR]   (after tools/test.sh has built BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bash tools/setup.sh
cmake --build "$build/x86_64" --target panel_preview >/dev/null

source tools/wine-env.sh "$build" x86_64 display
hlr8_xvfb_start 640x480x24
hlr8_at_exit hlr8_wine_stop
hlr8_wine_start

mkdir -p docs
for size in large small; do
  # The loader itself in the background (not a shell function), so that $! is the program.
  "$hlr8_wine_loader" "$build/x86_64/tests/panel_preview.exe" $size lights &
  preview=$!
  window=$(hlr8_find_window '^HLR8$' 10)
  [ -n "$window" ] || { echo "panel-pictures: no window for the $size panel" >&2; exit 1; }
  sleep 1 # let it paint
  import -window "$window" "docs/panel-$size.png"
  convert "docs/panel-$size.png" -scale 400% "docs/panel-$size-x4.png"
  kill $preview 2>/dev/null || true
  wait $preview 2>/dev/null || true
  for _ in $(seq 100); do # the next size must not find this window
    xdotool search --name '^HLR8$' >/dev/null 2>&1 || break
    sleep 0.1
  done
  echo "panel-pictures: docs/panel-$size.png ($(identify -format '%wx%h' "docs/panel-$size.png"))"
done
