#!/usr/bin/env bash
# Builds and starts the console. Installs what is missing on a fresh Debian machine first.
#
# Usage: tools/run-console.sh [--port COMn=DEVICE]... [--camera] [program switches...]
#   With no --port the console runs on the virtual cameras (/SIM: cameras on COM1 and COM2).
#   --port COM1=/dev/ttyUSB0 maps a serial device to a COM port of the console's Wine prefix
#   (COM1 to COM4; repeat for more) and starts without /SIM, on the real camera.
#   --camera: the console on Wine's real serial driver, without /SIM, talking to hlr8-camera
#   (the camera model as a native program) on a pty mapped to COM1. The camera's files lie in
#   build/x86_64/camera/ (tools/camera-pty.sh): com1 the link to the pty (the registry maps
#   COM1 to this link once per prefix; each start renews the link), com1.log its frame log,
#   com1.control its command FIFO (e.g. echo unplug >build/x86_64/camera/com1.control; see
#   hlr8-camera --help). The test-only modem-line shim is preloaded into the console's Wine
#   loader so the pty has CTS and RTS; the shim is a 64-bit library, so --camera runs the
#   64-bit build. HLR8.INI beside the program is set to COM1 at 9600 first. Closing the
#   console stops the camera.
#   Other arguments go to the program (-D, /SIM:<digits>, /SIMLOG:<path>, /LINELOG:<path>).
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
camera=0
while [ $# -gt 0 ]; do
  case "$1" in
    --camera) camera=1; shift ;;
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
if [ $camera = 1 ] && [[ " ${ports[*]} " == *" COM1="* ]]; then
  echo "run-console: --camera takes COM1; map the device to another port" >&2
  exit 2
fi
[ ${#ports[@]} -gt 0 ] || [ $camera = 1 ] || args=(/SIM "${args[@]}")

bash tools/setup.sh
target=x86_64
if [ $camera = 1 ]; then
  bash tools/build.sh "$build" x86_64
  echo "run-console: --camera runs the 64-bit build: the modem-line shim is a 64-bit library" \
    "for Wine's 64-bit loader"
else
  bash tools/build.sh "$build"
  if why_not_32=$(bash tools/can-run-win32.sh "$build"); then
    target=i686
  else
    echo "run-console: the 64-bit build runs: $why_not_32"
  fi
fi
program="$build/$target/app/HLR8.exe"

# A settings file from an earlier run may name another port or speed: COM1 at 9600 for the
# camera (port index 0 at byte 80, baud at byte 84, little-endian; a fresh file has these).
set_com1_at_9600() { # settings file
  [ "$(stat -c %s "$1" 2>/dev/null)" = 4904 ] || return 0
  printf '\x00\x00\x00\x00\x80\x25\x00\x00' | dd of="$1" bs=1 seek=80 conv=notrunc status=none
}

source tools/wine-env.sh "$build" "$target" display
# The last line says which build ran when it was not the 32-bit program, and why.
say_build() { echo "run-console: this was the 64-bit build; the 32-bit one cannot run: $why_not_32"; }
[ "$target" = i686 ] || [ $camera = 1 ] || hlr8_at_exit say_build
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
loader_env=()
if [ $camera = 1 ]; then
  source tools/camera-pty.sh
  camera_link="$(hlr8_camera_dir "$build/$target")/com1"
  # COM1 points at the link the camera renews at each start: written once per prefix.
  if ! grep -qF "\"COM1\"=\"$camera_link\"" "$WINEPREFIX/system.reg" 2>/dev/null; then
    hlr8_wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$camera_link" /f >/dev/null 2>&1
    hlr8_wine_stop # the port mapping is read when the wineserver starts
    hlr8_wine_start
  fi
  set_com1_at_9600 "$(dirname "$program")/HLR8.INI"
  hlr8_at_exit hlr8_camera_stop "$build/$target" com1
  shim_env=$(hlr8_camera_start "$build/$target" com1) ||
    { echo "run-console: the camera did not start" >&2; exit 1; }
  eval "loader_env=(${shim_env#export })"
  echo "run-console: COM1 is hlr8-camera on $(readlink "$camera_link");" \
    "its frame log: $camera_link.log, its commands: $camera_link.control"
fi

echo "run-console: starting $program ${args[*]}"
if [ $private_display = 0 ]; then
  env "${loader_env[@]}" "$hlr8_wine_loader" "$program" "${args[@]}"
  exit 0
fi

env "${loader_env[@]}" "$hlr8_wine_loader" "$program" "${args[@]}" &
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
