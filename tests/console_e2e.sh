#!/usr/bin/env bash
# End to end: the program itself on virtual cameras, in a real window on a private Xvfb. Waits
# for the window, checks its size, takes a screenshot, holds the left-arrow button and then the
# Left key for about a second each, closes it as a user would (Alt+F4), and reads the camera's
# frame log and the settings file the program wrote beside itself.
# Usage: tests/console_e2e.sh SOURCE_DIR BUILD_ROOT TARGET PROGRAM
#   BUILD_ROOT holds the target's build tree (BUILD_ROOT/TARGET); PROGRAM is HLR8.exe.
# Prints a GoogleTest-style summary so the test count includes it.
set -uo pipefail
source_dir=$1 build_root=$2 target=$3 program=$4

work="$build_root/$target/e2e"
failures=0
fail() { echo "console_e2e: FAILED: $*"; failures=$((failures + 1)); }

for tool in Xvfb xdotool import; do
  command -v $tool >/dev/null || { echo "console_e2e: $tool is missing (tools/setup.sh)"; exit 1; }
done
rm -rf "$work" && mkdir -p "$work"
cp "$program" "$work/HLR8.exe" # alone in a fresh directory: no settings file yet

source "$source_dir/tools/wine-env.sh" "$build_root" "$target" display
hlr8_xvfb_start || { echo "[  FAILED  ] 1 test, no X server"; exit 1; }
hlr8_at_exit hlr8_wine_stop
hlr8_wine_start

log="$work/frames.log"
windows_log="Z:$(echo "$log" | tr / '\\')"
"$hlr8_wine_loader" "$work/HLR8.exe" /SIM "/SIMLOG:$windows_log" &
console=$!

window=$(hlr8_find_window '^HLR8$' 30)
if [ -z "$window" ]; then
  fail "no window titled HLR8 within 30 s"
else
  # No window manager: the X window is the client area of the 114 x (257 + caption) window.
  geometry=$(xdotool getwindowgeometry "$window" | awk '/Geometry/ {print $2}')
  [ "$geometry" = 108x251 ] || fail "client area $geometry, wanted 108x251"
  # The start-up sequence runs before the message loop; the panel is green when it is done.
  for _ in $(seq 50); do
    grep -q 'PC>CAM 04 01 04 03' "$log" 2>/dev/null && break
    sleep 0.1
  done
  sleep 0.5
  import -window "$window" "$work/console.png"
  # Two lights green (camera 1 and OPERATE): each a plus of five pure green pixels.
  green=$(convert "$work/console.png" -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' \
    -format '%[fx:round(mean*w*h)]' info:)
  [ "$green" = 10 ] || fail "$green pure green pixels in the screenshot, wanted 10 (two lights)"
  echo "console_e2e: screenshot $work/console.png"

  # The left-arrow button (small panel: 21 x 11 at 12, 182) held about 1 s, then the Left key
  # after a click on an empty spot of the panel has given the window the keyboard focus.
  xdotool mousemove --window "$window" 22 187 mousedown 1
  sleep 1
  xdotool mouseup 1
  sleep 0.5
  xdotool mousemove --window "$window" 54 5 click 1
  sleep 0.3
  xdotool keydown Left
  sleep 1
  xdotool keyup Left
  sleep 0.5
  xdotool key alt+F4
fi

hlr8_wait_for_exit $console 15 || { fail "the console did not end within 15 s of Alt+F4"; kill $console; }

expected=(
  "05 08 17 01 00" "04 08 04 00" "04 01 04 00" "04 05 04 00" "05 01 12 03 00"
  "06 01 12 04 02 07" "07 05 12 03 02 46 46" "05 08 12 01 00" "05 08 12 02 00"
  "05 01 10 01 00" "06 05 19 00 01 00" "05 08 10 01 00" "05 01 14 03 00" "05 01 14 01 00"
  "05 01 14 02 00" "04 01 04 03"
  "06 05 12 01 02 00" "04 05 12 02" "06 05 12 01 02 00" "04 05 12 02"
  "05 08 17 01 01")
# Requests of COM1, the program's ACKs and the checksums left out.
actual=$(tr -d '\r' < "$log" 2>/dev/null | awk '$2 == "COM1" && $3 == "PC>CAM" && $6 != "00" {
  line = $4; for (i = 5; i < NF; ++i) line = line " " $i; print line }')
wanted=$(printf '%s\n' "${expected[@]}")
if [ "$actual" != "$wanted" ]; then
  fail "COM1 requests differ from start-up, two left holds and shutdown:"
  diff <(echo "$wanted") <(echo "$actual") | head -20
fi
size=$(stat -c %s "$work/HLR8.INI" 2>/dev/null || echo none)
[ "$size" = 4904 ] || fail "HLR8.INI beside the program is $size bytes, wanted 4904"

if [ $failures -eq 0 ]; then
  echo "[  PASSED  ] 1 test."
else
  echo "[  FAILED  ] 1 test, listed above"
  exit 1
fi
