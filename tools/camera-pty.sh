#!/usr/bin/env bash
# The native camera (hlr8-camera, built into TARGET_DIR/sim) on a pty, for a console under Wine
# or any serial console. Its files lie in TARGET_DIR/camera/:
#   NAME          the link to the pty (map a COM port to it: HKLM\Software\Wine\Ports)
#   NAME.lines    the shared modem-line page for the test shim
#   NAME.control  the command FIFO (hlr8-camera --help lists the commands)
#   NAME.replies  one answer line per command
#   NAME.log      the frame log;  NAME.pid, NAME.out (its "ready" line), NAME.err
#
# Usage: tools/camera-pty.sh start TARGET_DIR [NAME] [hlr8-camera options...]   (NAME: com1)
#        tools/camera-pty.sh stop TARGET_DIR [NAME]
#   or:  source tools/camera-pty.sh; hlr8_camera_start ...; hlr8_camera_send DIR NAME 'unplug'
# start prints what a Wine process needs to see the pty's modem lines (the shim is a test
# fixture; a console without it sees no CTS and RTS counts as on):
#   export HLR8_MODEM_LINES=... LD_PRELOAD=TARGET_DIR/tests/modem_shim.so

hlr8_camera_dir() {
  echo "$(cd "$1" && pwd)/camera"
}

hlr8_camera_running_pid() { # dir name
  local pid
  pid=$(cat "$1/$2.pid" 2>/dev/null) || return 1
  [ -n "$pid" ] && grep -qaF "$1/$2" "/proc/$pid/cmdline" 2>/dev/null || return 1
  echo "$pid"
}

hlr8_camera_stop() { # target_dir [name]
  local dir name=${2:-com1} pid
  dir=$(hlr8_camera_dir "$1") || return 0
  if pid=$(hlr8_camera_running_pid "$dir" "$name"); then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  fi
  rm -f "$dir/$name.pid" "$dir/$name.control"
}

hlr8_camera_start() { # target_dir [name] [options...]
  local target=$1 name=${2:-com1} dir camera pid
  shift $(($# >= 2 ? 2 : 1))
  dir=$(hlr8_camera_dir "$target") || return 1
  camera="$(cd "$target" && pwd)/sim/hlr8-camera"
  [ -x "$camera" ] || { echo "camera-pty: $camera is not built" >&2; return 1; }
  hlr8_camera_stop "$target" "$name"
  mkdir -p "$dir"
  rm -f "$dir/$name.out" "$dir/$name.replies"
  : >"$dir/$name.replies"
  # No inherited output: the camera must not hold the caller's pipes open (ctest).
  "$camera" --link "$dir/$name" --log "$dir/$name.log" --control "$dir/$name.control" \
    --reply "$dir/$name.replies" "$@" </dev/null >"$dir/$name.out" 2>"$dir/$name.err" &
  pid=$!
  echo "$pid" >"$dir/$name.pid"
  for _ in $(seq 50); do
    if grep -q '^ready ' "$dir/$name.out" 2>/dev/null; then
      echo "export HLR8_MODEM_LINES='$dir/$name.lines'" \
        "LD_PRELOAD='$(cd "$target" && pwd)/tests/modem_shim.so'"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "camera-pty: the camera did not start (see $dir/$name.err)" >&2
  return 1
}

# Sends one command and prints its answer line (waits up to 5 s for it).
hlr8_camera_send() { # target_dir name command...
  local dir name=$2 count
  dir=$(hlr8_camera_dir "$1") || return 1
  shift 2
  count=$(wc -l <"$dir/$name.replies")
  # A FIFO nobody reads would block the writer: give up after 5 s.
  timeout 5 bash -c 'echo "$1" >"$2"' _ "$*" "$dir/$name.control" || {
    echo "camera-pty: the camera does not read its commands" >&2
    return 1
  }
  for _ in $(seq 500); do
    if [ "$(wc -l <"$dir/$name.replies")" -gt "$count" ]; then
      sed -n "$((count + 1))p" "$dir/$name.replies"
      return 0
    fi
    sleep 0.01
  done
  echo "camera-pty: no answer to '$*'" >&2
  return 1
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case "${1:-}" in
    start) shift; hlr8_camera_start "${1:?target build directory}" "${@:2}" ;;
    stop) hlr8_camera_stop "${2:?target build directory}" "${3:-com1}" ;;
    *)
      echo "usage: $0 start|stop TARGET_DIR [NAME] [hlr8-camera options...]" >&2
      exit 2
      ;;
  esac
fi
