# Sourced by the build and test scripts: a private, headless Wine prefix inside a target's
# build tree.
# Usage: source tools/wine-env.sh BUILD_DIR [x86_64|i686] [display]   (default x86_64)
#   The target's tree is BUILD_DIR/<target>, its prefix BUILD_DIR/<target>/wine; hlr8_wine runs
#   a program of that target (the 64-bit loader for x86_64, the 32-bit one for i686).
#   The prefix uses Wine's null graphics driver (no display needed), unless "display" is given:
#   then a second prefix, BUILD_DIR/<target>/wine-display, draws on $DISPLAY (an Xvfb).
#   hlr8_xvfb_start starts a private Xvfb and points $DISPLAY at it; hlr8_at_exit runs commands
#   when the script ends (the Xvfb's stop is one of them), so a script sets no EXIT trap itself.
hlr8_root_dir=$(cd "$1" && pwd)
hlr8_target=${2:-x86_64}
hlr8_graphics=${3:-null}
hlr8_build_dir="$hlr8_root_dir/$hlr8_target"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$hlr8_graphics" = display ]; then
  export WINEPREFIX="$hlr8_build_dir/wine-display"
else
  export WINEPREFIX="$hlr8_build_dir/wine"
  unset DISPLAY
fi
if [ "$hlr8_target" = i686 ]; then
  export WINEARCH=win32
  hlr8_wine_loader=wine
  hlr8_wineserver=wineserver
else
  export WINEARCH=win64
  hlr8_wine_loader=/usr/lib/wine/wine64
  [ -x "$hlr8_wine_loader" ] || hlr8_wine_loader=wine64
  hlr8_wineserver=/usr/lib/wine/wineserver
  [ -x "$hlr8_wineserver" ] || hlr8_wineserver=wineserver
fi

hlr8_wine() {
  "$hlr8_wine_loader" "$@"
}

# The fonts the panel and the dialogs name: "Small Fonts" and "MS Sans Serif". A prefix does
# not pick up Debian's Wine fonts by itself (it would fall back to DejaVu Sans).
hlr8_wine_fonts() {
  local fonts=/usr/share/wine/fonts font
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  for font in smalle.fon sserife.fon; do
    if [ -f "$fonts/$font" ]; then
      cp "$fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
    else
      echo "wine: $fonts/$font is missing (package fonts-wine); text will fall back" >&2
    fi
  done
}

hlr8_wine_start() {
  if [ ! -f "$WINEPREFIX/.hlr8-ready" ]; then
    echo "wine: creating prefix $WINEPREFIX"
    mkdir -p "$hlr8_build_dir"
    hlr8_wine wineboot -i >/dev/null 2>&1 || true
    # Windows, timers and GDI into memory work without an X display on the null driver.
    if [ "$hlr8_graphics" != display ]; then
      hlr8_wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    fi
    # The COM-port tests reach the two ends of a socat pty pair (tools/pty-ports.sh) as COM3
    # and COM4; the links are made by each test run, the mapping only once.
    local ports='HKLM\Software\Wine\Ports'
    hlr8_wine reg add "$ports" /v COM3 /d "$hlr8_root_dir/pty/com3" /f >/dev/null 2>&1
    hlr8_wine reg add "$ports" /v COM4 /d "$hlr8_root_dir/pty/com4" /f >/dev/null 2>&1
    "$hlr8_wineserver" -w
    hlr8_wine_fonts # read when the next wineserver starts
    touch "$WINEPREFIX/.hlr8-ready"
  fi
  # Start the prefix's services before any test, so that none inherits ctest's pipes.
  ("$hlr8_wineserver" -p >/dev/null 2>&1 &)
  hlr8_wine cmd /c exit >/dev/null 2>&1 || true
}

hlr8_wine_stop() {
  "$hlr8_wineserver" -k >/dev/null 2>&1 || true
}

# Waits up to the given seconds for a process to end; status 0 when it has ended.
hlr8_wait_for_exit() { # pid seconds
  for _ in $(seq $(($2 * 10))); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  ! kill -0 "$1" 2>/dev/null
}

# Prints the X id of the first window whose title matches the pattern (an extended regular
# expression), waiting up to the given seconds for it; prints nothing when none came.
hlr8_find_window() { # pattern seconds
  local tries=$(($2 * 10)) window
  for _ in $(seq "$tries"); do
    window=$(xdotool search --name "$1" 2>/dev/null | head -n 1)
    [ -n "$window" ] && { echo "$window"; return 0; }
    sleep 0.1
  done
}

# Commands run when the script that sourced this file ends, last registered first.
hlr8_exit_commands=()
hlr8_at_exit() { # command...
  hlr8_exit_commands+=("$*")
  trap hlr8_run_exit_commands EXIT
}
hlr8_run_exit_commands() {
  local i
  for ((i = ${#hlr8_exit_commands[@]} - 1; i >= 0; i--)); do
    eval "${hlr8_exit_commands[$i]}" || true
  done
}

# Starts a private Xvfb of the given screen size (default 1024x768x24) on a free display, waits
# until it takes connections, exports DISPLAY and stops the server when the script ends. Xvfb
# picks the display itself (-displayfd) and writes its number only once it is ready, so two
# scripts never race for one number and nothing sleeps a fixed time.
hlr8_xvfb_start() { # [WxHxD]
  local ready display
  ready=$(mktemp "${TMPDIR:-/tmp}/hlr8-xvfb.XXXXXX")
  Xvfb -displayfd 3 -screen 0 "${1:-1024x768x24}" -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
  hlr8_xvfb_pid=$!
  hlr8_at_exit hlr8_xvfb_stop
  for _ in $(seq 200); do # 10 s
    display=$(tr -dc 0-9 <"$ready")
    [ -n "$display" ] && break
    kill -0 "$hlr8_xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$ready"
  if [ -z "$display" ]; then
    echo "xvfb: the X server did not start" >&2
    return 1
  fi
  export DISPLAY=:$display
}

hlr8_xvfb_stop() {
  [ -n "${hlr8_xvfb_pid:-}" ] || return 0
  kill "$hlr8_xvfb_pid" 2>/dev/null || true
  wait "$hlr8_xvfb_pid" 2>/dev/null || true
  hlr8_xvfb_pid=""
}
