# Sourced by the build and test scripts: a private, headless Wine prefix inside the build tree.
# Usage: source tools/wine-env.sh BUILD_DIR
hlr8_build_dir=$(cd "$1" && pwd)
export WINEPREFIX="$hlr8_build_dir/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

hlr8_wine_start() {
  if [ ! -f "$WINEPREFIX/.hlr8-ready" ]; then
    echo "wine: creating prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    # Windows, timers and GDI into memory work without an X display on the null driver.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # The COM-port tests reach the two ends of a socat pty pair (tools/pty-ports.sh) as COM3
    # and COM4; the links are made by each test run, the mapping only once.
    local ports='HKLM\Software\Wine\Ports'
    wine reg add "$ports" /v COM3 /d "$hlr8_build_dir/pty/com3" /f >/dev/null 2>&1
    wine reg add "$ports" /v COM4 /d "$hlr8_build_dir/pty/com4" /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.hlr8-ready"
  fi
  # Start the prefix's services before any test, so that none inherits ctest's pipes.
  (wineserver -p >/dev/null 2>&1 &)
  wine cmd /c exit >/dev/null 2>&1 || true
}

hlr8_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
}
