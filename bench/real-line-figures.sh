#!/usr/bin/env bash
# The link figures on the real serial path beside the simulated line's, measured in one run:
# - link_bench at 9600 baud: on the simulated line against the in-process virtual camera, then
#   on COM1 of a private 64-bit prefix through Wine's serial driver to hlr8-camera on a pty,
#   the modem-line shim preloaded for CTS; both cameras answer at once (reply delay 0);
# - hold_bench: release to stop of 100 holds of the left-arrow button, on the simulated line
#   (/SIM:1) and on COM1 (the console without /SIM), the cameras at their usual reply delay.
# Prints the rows of both and a side-by-side summary, and how long the whole run took.
# Usage: bench/real-line-figures.sh [BUILD_DIR]   (the 64-bit tree: tools/build.sh BUILD_DIR x86_64)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
baud=9600
cmake --build "$build/x86_64" --target link_bench hold_bench hlr8_camera \
  hlr8_camera_native_tests >/dev/null
target=$(cd "$build/x86_64" && pwd)
link_bench="$target/bench/link_bench.exe"
hold_bench="$target/bench/hold_bench.exe"
run_start=$(date +%s)

source tools/wine-env.sh "$build" x86_64
source tools/camera-pty.sh
name=bench-com1
private="$target/wine-bench-serial"
stop_private() { WINEPREFIX="$private" "$hlr8_wineserver" -k >/dev/null 2>&1 || true; }
hlr8_at_exit hlr8_wine_stop
hlr8_at_exit stop_private
hlr8_at_exit hlr8_camera_stop "$target" "$name"

# The simulated line: the build's own prefix.
hlr8_wine_start
# The real path: COM1 of a private prefix mapped (once) to the camera's link.
link="$(hlr8_camera_dir "$target")/$name"
if [ ! -f "$private/.hlr8-bench-ready" ]; then
  mkdir -p "$private"
  WINEPREFIX="$private" hlr8_wine wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX="$private" hlr8_wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
    >/dev/null 2>&1
  WINEPREFIX="$private" hlr8_wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$link" /f \
    >/dev/null 2>&1
  WINEPREFIX="$private" "$hlr8_wineserver" -w
  WINEPREFIX="$private" hlr8_wine_fonts
  touch "$private/.hlr8-bench-ready"
fi
# Its services start without the shim.
(WINEPREFIX="$private" "$hlr8_wineserver" -p >/dev/null 2>&1 &)
WINEPREFIX="$private" hlr8_wine cmd /c exit >/dev/null 2>&1 || true
hlr8_camera_start "$target" "$name" --baud "$baud" --com 1 >/dev/null
camera_dir=$(hlr8_camera_dir "$target")
on_com1() { # program args...: in the private prefix, the shim preloaded
  WINEPREFIX="$private" HLR8_MODEM_LINES="$camera_dir/$name.lines" \
    LD_PRELOAD="$target/tests/modem_shim.so" "$hlr8_wine_loader" "$@" </dev/null | tr -d '\r'
}
camera() { hlr8_camera_send "$target" "$name" "$@" >/dev/null; }

echo "=== machine: $(nproc) cores; load average at the start: $(uptime | sed 's/.*load average: //')"
echo "=== link_bench $baud, simulated line"
sim_link=$(hlr8_wine "$link_bench" "$baud" </dev/null | tr -d '\r') || true
echo "$sim_link"
echo "=== link_bench $baud --port COM1 (hlr8-camera on a pty, reply delay 0)"
camera reply-delay 0
real_link=$(on_com1 "$link_bench" "$baud" --port COM1) || true
echo "$real_link"
camera reply-delay 30
echo "=== hold_bench, simulated line"
sim_hold=$(hlr8_wine "$hold_bench" </dev/null | tr -d '\r') || true
echo "$sim_hold"
echo "=== hold_bench --port COM1"
real_hold=$(on_com1 "$hold_bench" --port COM1) || true
echo "$real_hold"

# median p95 wire ratio of an operation's row (the five numbers after its kind)
row() { # output operation
  awk -v op="$2" '$2 == op {
    for (i = 3; i + 4 <= NF; i++)
      if ($i ~ /^[0-9]+$/ && $(i+1) ~ /^[0-9.]+$/ && $(i+2) ~ /^[0-9.]+$/ &&
          $(i+3) ~ /^[0-9.]+$/ && $(i+4) ~ /^[0-9.]+$/) {
        printf "%8s %8s %8s %6s", $(i+1), $(i+2), $(i+3), $(i+4)
        if (match($0, /camera.s bytes [0-9.]+ ms, ratio [0-9.]+/)) {
          split(substr($0, RSTART, RLENGTH), w, " ")
          printf " %8s %6s", w[3], w[6]
        }
        exit
      }
    printf "%33s", "(no figures)"
  }' <<<"$1"
}
hold() { grep -m1 '^release to stop:' <<<"$1" | sed 's/^release to stop: //' || echo "(no figures)"; }

echo
echo "=== summary, $baud baud: median / p95 / wire in ms, ratio = median / wire"
printf '%-15s  %-33s    %-33s\n' "" "simulated line" "COM1, hlr8-camera on a pty"
columns=$(printf '%8s %8s %8s %6s' median p95 wire ratio)
printf '%-15s %s    %s %s\n' "" "$columns" "$columns" \
  " camera's bytes ms, ratio (a pty paces only what the camera sends)"
for op in PanTiltStop QueryVersions ZoomToPosition ReadPresetData; do
  printf '%-15s  %s    %s\n' "$op" "$(row "$sim_link" "$op")" "$(row "$real_link" "$op")"
done
echo "release to stop, simulated line: $(hold "$sim_hold")"
echo "release to stop, COM1:           $(hold "$real_hold")"
echo "load average at the end: $(uptime | sed 's/.*load average: //')"
echo "whole run: $(($(date +%s) - run_start)) s"
