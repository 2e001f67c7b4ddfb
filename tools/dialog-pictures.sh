#!/usr/bin/env bash
# Takes the pictures of the four dialogs under docs/: each opened from the running console (with
# its virtual cameras) in a Wine virtual desktop on a private Xvfb, so that Wine draws the
# caption and the frame itself, with Wine's "MS Sans Serif".
# Usage: tools/dialog-pictures.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bash tools/setup.sh
[ -f "$build/x86_64/build.ninja" ] || bash tools/build.sh "$build" >/dev/null # a new tree
cmake --build "$build/x86_64" --target dialog_preview >/dev/null

source tools/wine-env.sh "$build" x86_64 display
hlr8_xvfb_start 800x600x24
hlr8_at_exit hlr8_wine_stop
hlr8_wine_start
# Wine draws the caption's close box with the Marlett font; without it the box shows an "r".
if [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]
then
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  hlr8_wine_stop # read when the next wineserver starts
  hlr8_wine_start
fi

# Wine's own path of a file, by the Z: drive that maps the Unix root.
dos_path() { local path; path=$(realpath -m "$1"); echo "Z:${path//\//\\}"; }
preview=$(dos_path "$build/x86_64/tests/dialog_preview.exe")
shots=$(mktemp -d)
hlr8_at_exit rm -rf "$shots"
mkdir -p docs
for pair in options:program-options image:image-control preset:preset-cycle about:about; do
  name=${pair%%:*}
  picture=docs/dialog-${pair#*:}.png
  rm -f "$shots/$name.bmp"
  # The virtual desktop ends by itself when the preview's windows are gone.
  timeout 60 "$hlr8_wine_loader" explorer /desktop=pictures,640x480 \
    "$preview" "$name" "$(dos_path "$shots/$name.bmp")" || true
  [ -s "$shots/$name.bmp" ] || { echo "dialog-pictures: no picture of $name" >&2; exit 1; }
  convert "$shots/$name.bmp" "$picture"
  echo "dialog-pictures: $picture ($(identify -format '%wx%h' "$picture"))"
done
