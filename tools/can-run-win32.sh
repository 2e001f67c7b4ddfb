#!/usr/bin/env bash
# Tells whether the 32-bit program can be tested here, by starting a 32-bit Windows program
# under Wine: the build's windows_probe.exe (i686), which exits with status 32. Debian's wine
# command exists without Wine's 32-bit loader (package wine32), and some kernels start no
# 32-bit program at all, so neither the command nor the package alone decides.
# Usage: tools/can-run-win32.sh [BUILD_DIR]   (default build; after tools/build.sh)
# Exit status 0: it can. Otherwise prints why not on standard output and exits with 1.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

# The cheap answers first: no Wine prefix is made for a loader that cannot start.
why=$(bash tools/can-run-32bit.sh) || { echo "$why"; exit 1; }
command -v wine >/dev/null 2>&1 || { echo "Wine's wine command is not installed"; exit 1; }
if [ ! -e /usr/lib/wine/wine ] && ! dpkg -s wine32:i386 >/dev/null 2>&1; then
  echo "Wine's 32-bit loader (wine32:i386) is not installed"
  exit 1
fi
probe="$build/i686/tools/windows_probe/windows_probe.exe"
[ -f "$probe" ] || { echo "the 32-bit build has no $probe"; exit 1; }

source tools/wine-env.sh "$build" i686
hlr8_wine_start >/dev/null 2>&1
hlr8_wine "$probe" >/dev/null 2>&1
status=$?
hlr8_wine_stop
if [ $status -ne 32 ]; then
  echo "Wine did not start a 32-bit Windows program (exit status $status, wanted 32)"
  exit 1
fi
