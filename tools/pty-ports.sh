#!/usr/bin/env bash
# A virtual null-modem cable for the COM-port tests: a socat pseudo-terminal pair whose ends are
# the links BUILD_DIR/pty/com3 (the camera's side) and BUILD_DIR/pty/com4 (the console's side).
#
# Usage: tools/pty-ports.sh start|stop BUILD_DIR
#   or:  source tools/pty-ports.sh; hlr8_pty_start BUILD_DIR; ...; hlr8_pty_stop BUILD_DIR
#
# The Wine prefix maps COM3 and COM4 to these two link paths (tools/wine-env.sh). The links
# are made afresh by every start and point at new /dev/pts devices each time; Wine follows the
# link when a port is opened, so the mapping made once per prefix stays right.
# socat's pid is kept in BUILD_DIR/pty/socat.pid; a test may end socat itself (to see the line
# drop), so stop copes with a socat that is already gone. Without socat, start only warns and
# the COM-port tests skip.

hlr8_pty_dir() {
  echo "$(cd "$1" && pwd)/pty"
}

# The pid in the pid file, if that process is still our socat (pids are reused).
hlr8_pty_running_pid() {
  local dir=$1 pid
  pid=$(cat "$dir/socat.pid" 2>/dev/null) || return 1
  [ -n "$pid" ] && grep -qaF "link=$dir/com3" "/proc/$pid/cmdline" 2>/dev/null || return 1
  echo "$pid"
}

hlr8_pty_stop() {
  local dir pid i
  dir=$(hlr8_pty_dir "$1") || return 0
  if pid=$(hlr8_pty_running_pid "$dir"); then
    kill -TERM "$pid" 2>/dev/null || true
    for i in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  fi
  rm -f "$dir/socat.pid" "$dir/com3" "$dir/com4"
  return 0
}

hlr8_pty_start() {
  local dir pid i
  dir=$(hlr8_pty_dir "$1") || return 1
  if ! command -v socat >/dev/null 2>&1; then
    echo "pty-ports: socat not found; the COM-port tests will be skipped" >&2
    return 0
  fi
  hlr8_pty_stop "$1" # a socat left behind by an interrupted run
  mkdir -p "$dir"
  # No inherited output: socat must not hold the caller's pipes open (ctest, CI).
  socat pty,raw,echo=0,link="$dir/com3" pty,raw,echo=0,link="$dir/com4" \
    </dev/null >/dev/null 2>"$dir/socat.log" &
  pid=$!
  echo "$pid" >"$dir/socat.pid"
  for i in $(seq 50); do
    if [ -L "$dir/com3" ] && [ -L "$dir/com4" ]; then
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "pty-ports: socat did not make $dir/com3 and $dir/com4 (see $dir/socat.log);" \
    "the COM-port tests will be skipped" >&2
  hlr8_pty_stop "$1"
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case "${1:-}" in
    start) hlr8_pty_start "${2:?build directory}" ;;
    stop) hlr8_pty_stop "${2:?build directory}" ;;
    *)
      echo "usage: $0 start|stop BUILD_DIR" >&2
      exit 2
      ;;
  esac
fi
