#!/usr/bin/env bash
# The console's start-up and idle figures, in a real window on a private Xvfb:
# - cold start: the launch of the program under Wine to the end of its first WM_PAINT, split
#   into Wine's own start (launch to main(), then its display driver's start at the first
#   screen device context) and the program's own (from there to the end of the paint);
#   the first run after the wineserver was stopped, then RUNS runs with it running;
# - idle: the console on the virtual camera for 10 s after its start, CPU of its process
#   (GetProcessTimes) and of the wineserver (/proc), as a share of one core.
# Usage: bench/console-figures.sh [BUILD_DIR] [RUNS]   (after tools/test.sh built BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-10}
cmake --build "$build/x86_64" --target console_start_bench >/dev/null
program="$build/x86_64/bench/console_start_bench.exe"

source tools/wine-env.sh "$build" x86_64 display
hlr8_xvfb_start
hlr8_at_exit hlr8_wine_stop
hlr8_wine_start

field() { echo "$1" | tr ' ' '\n' | awk -F= -v k="$2" '$1 == k {print $2}'; }
one_run() { # label
  local launch line main display paint ready
  launch=$(date +%s%3N)
  line=$("$hlr8_wine_loader" "$program" 0 | tr -d '\r')
  main=$(field "$line" main_unix_ms)
  display=$(field "$line" display_ms)
  paint=$(field "$line" first_paint_ms)
  ready=$(field "$line" camera_ready_ms)
  printf '%-5s wine: to main %4d ms, display %5.1f ms; program to first paint %6.1f ms;' \
    "$1" $((main - launch)) "$display" "$paint"
  printf ' total %6.1f ms; camera ready after %6.1f ms\n' \
    "$(awk -v a=$((main - launch)) -v b="$display" -v c="$paint" 'BEGIN {print a + b + c}')" "$ready"
}

hlr8_wine_stop
sleep 0.5
one_run cold
for _ in $(seq "$runs"); do one_run warm; done

server=$(pgrep -n -f wineserver)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks "$server")
line=$("$hlr8_wine_loader" "$program" 10 | tr -d '\r')
after=$(ticks "$server")
cpu=$(field "$line" idle_cpu_ms)
server_ms=$(( (after - before) * 1000 / hz ))
echo "idle 10 s: console ${cpu} ms CPU ($(awk -v c="$cpu" 'BEGIN {printf "%.3f", c / 100}') % of a core);" \
  "wineserver ${server_ms} ms over the whole run (start and close included)"
