#!/usr/bin/env bash
# Builds and starts the console. Installs what is missing on a fresh Debian machine first.
#
# Usage: tools/run-console.sh [--port COMn=DEVICE]... [program switches...]
#   With no --port the console runs on the virtual cameras (/SIM: cameras on COM1 and COM2).
#   --port COM1=/dev/ttyUSB0 maps a serial device to a COM port of the console's Wine prefix
#   (COM1 to COM4; repeat for more) and starts without /SIM, on the real camera.
#   Other arguments go to the program (-D, /SIM:<digits>, /SIMLOG:<path>).
#
# With a display ($DISPLAY) the window opens there and the script waits until it is closed.
# Without one the console runs on a private Xvfb: the script waits for the panel, saves a
# screenshot to build/console.png, closes the console as a user would (Alt+F4) and says where
# the picture is.
#
# The program is the 32-bit build where this machine can start a 32-bit Windows program under
# Wine (tools/can-run-win32.sh), otherwise the same sources built for 64 bits. Its settings file HLR8.INI lies beside it in the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build

ports=()
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --port)
      [ $# -ge 2 ] || { echo "run-console: --port needs COMn=DEVICE" >&2; exit 2; }
      ports+=("$2"); shift 2 ;;
    --port=*) ports+=("${1#--port=}"); shift ;;
    *) args+=("$1"); shift ;;
  esac
done
for mapping in "${ports[@]}"; do
  if ! [[ "$mapping" =~ ^COM[1-4]=/.+ ]]; then
    echo "run-console: --port $mapping: expected COM1..COM4=/path/to/device" >&2
    exit 2
  fi
done
[ ${#ports[@]} -gt 0 ] || args=(/SIM "${args[@]}")

bash tools/setup.sh
bash tools/build.sh "$build"

target=x86_64
if why_not_32=$(bash tools/can-run-win32.sh "$build"); then
  target=i686
else
  echo "run-console: the 64-bit build runs: $why_not_32"
fi
program="$build/$target/app/HLR8.exe"

source tools/wine-env.sh "$build" "$target" display
# The last line says which build ran when it was not the 32-bit program, and why.
say_build() { echo "run-console: this was the 64-bit build; the 32-bit one cannot run: $why_not_32"; }
[ "$target" = i686 ] || hlr8_at_exit say_build
private_display=0
if [ -z "${DISPLAY:-}" ]; then
  hlr8_xvfb_start
  private_display=1
fi
hlr8_at_exit hlr8_wine_stop
hlr8_wine_start
if [ ${#ports[@]} -gt 0 ]; then
  for mapping in "${ports[@]}"; do
    hlr8_wine reg add 'HKLM\Software\Wine\Ports' /v "${mapping%%=*}" /d "${mapping#*=}" /f \
      >/dev/null 2>&1
    echo "run-console: ${mapping%%=*} is ${mapping#*=}"
  done
  hlr8_wine_stop # the port mapping is read when the wineserver starts
  hlr8_wine_start
fi

echo "run-console: starting $program ${args[*]}"
if [ $private_display = 0 ]; then
  "$hlr8_wine_loader" "$program" "${args[@]}"
  exit 0
fi

"$hlr8_wine_loader" "$program" "${args[@]}" &
console=$!
window=$(hlr8_find_window '^(HLR8|Norvo HL-R8)$' 30)
[ -n "$window" ] || { echo "run-console: no console window within 30 s" >&2; exit 1; }
sleep 2 # the camera start-up runs before the panel takes input
import -window "$window" "$build/console.png"
echo "run-console: no display, so the console ran on a private Xvfb;" \
  "screenshot: $build/console.png"
xdotool mousemove --window "$window" 54 5 click 1
sleep 0.3
xdotool key alt+F4
if ! hlr8_wait_for_exit $console 15; then
  echo "run-console: the console did not close; stopping it" >&2
  kill $console
  exit 1
fi
echo "run-console: the console closed; its settings are in $(dirname "$program")/HLR8.INI"
