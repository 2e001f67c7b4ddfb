#!/usr/bin/env bash
# The native camera through Wine's real serial driver: COM5 of a private 64-bit prefix mapped to
# the camera's pty link, the modem-line shim preloaded into Wine, and tests/modem_probe.exe as
# the console. Checks that GetCommModemStatus and an EV_CTS wait follow the camera's CTS
# (unplug, plug), that a version query is answered through the pty, and that the probe's
# CLRRTS and SETRTS reach the camera (its frame log). Prints the CTS latencies it saw.
# Usage: camera_wine_check.sh SOURCE_DIR TARGET_DIR MODEM_PROBE_EXE
set -euo pipefail
source "$1/tools/camera-pty.sh"
target=$(cd "$2" && pwd)
probe=$3
dir="$target/camera"
out="$dir/probe.out"

export WINEPREFIX="$target/wine-serial" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

failed=0
check() { # description condition...
  local what=$1
  shift
  if "$@" >/dev/null; then echo "ok: $what"; else echo "FAILED: $what"; failed=$((failed + 1)); fi
}

# Waits up to the seconds for a line matching the pattern in the probe's output; prints it.
wait_line() { # pattern seconds
  for _ in $(seq $(($2 * 20))); do
    tr -d '\r' <"$out" 2>/dev/null | grep -m1 -E "$1" && return 0 # CR LF: a Windows program
    sleep 0.05
  done
  return 1
}

cleanup() {
  [ -n "${probe_pid:-}" ] && kill "$probe_pid" 2>/dev/null
  hlr8_camera_stop "$target" com5
  "$wineserver" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

# The prefix is made once (about 10 s); COM5 stays mapped to the link, which each start renews.
if [ ! -f "$WINEPREFIX/.hlr8-serial-ready" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$dir/com5" /f >/dev/null 2>&1
  "$wineserver" -w
  touch "$WINEPREFIX/.hlr8-serial-ready"
fi
# The prefix's services start without the shim and hold none of the caller's pipes.
("$wineserver" -p >/dev/null 2>&1 &)
"$wine" cmd /c exit >/dev/null 2>&1 || true

hlr8_camera_start "$target" com5 --com 5 >/dev/null
rm -f "$out"
HLR8_MODEM_LINES="$dir/com5.lines" LD_PRELOAD="$target/tests/modem_shim.so" \
  "$wine" "$probe" COM5 </dev/null >"$out" 2>"$dir/probe.err" &
probe_pid=$!

check "the probe opens COM5 and reads CTS on" wait_line '^open cts 1' 30
# Straight into the FIFO, so the times below are the camera's and Wine's, not a helper's.
unplugged=$(date +%s%3N)
echo unplug >"$dir/com5.control"
seen_off=$(wait_line '^cts 0 at ' 5 | awk '{print $4}') || true
check "CTS off reaches the probe's EV_CTS wait" test -n "$seen_off"
plugged=$(date +%s%3N)
echo plug >"$dir/com5.control"
seen_on=$(wait_line '^cts 1 at ' 5 | awk '{print $4}') || true
check "CTS on reaches it again" test -n "$seen_on"
answer=$(wait_line '^answer' 5) || true
check "both commands answered ok" test "$(grep -c '^ok$' "$dir/com5.replies")" -eq 2
check "the version query is answered through the pty ($answer)" \
  test "$answer" = "answer 03 88 00 75 06 08 84 00 52 21 FB"
check "the probe ends well" wait_line '^done' 10
wait "$probe_pid" && probe_status=0 || probe_status=$?
probe_pid=""
check "the probe's exit status is 0" test "$probe_status" -eq 0

log=$(tr -d '\r' <"$dir/com5.log")
after_plug=$(sed -n '/COM5 CTS on$/,$p' <<<"$log")
check "CLRRTS then SETRTS reach the camera after the plug" \
  grep -qzE 'PC>CAM 04 08 04 00 F0.*COM5 RTS off.*COM5 RTS on' <<<"$after_plug"
lines=$(od -An -tu4 -j24 -N8 "$dir/com5.lines" | tr -s ' ')
echo "CTS off seen $((${seen_off:-0} - unplugged)) ms after the unplug command," \
  "CTS on $((${seen_on:-0} - plugged)) ms after the plug command"
echo "shim: console writes and modem reads in the page: $lines"
if [ $failed -ne 0 ]; then
  echo "--- probe output"; cat "$out"; echo "--- frame log"; echo "$log"
fi
echo "$((8 - failed)) passed, $failed failed"
exit $((failed > 0))
