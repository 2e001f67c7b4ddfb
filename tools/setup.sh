#!/usr/bin/env bash
# Installs what building and testing the console needs on a Debian machine, if it is missing:
# the i386 architecture, MinGW-w64, Wine (32-bit), CMake, Ninja, GoogleTest, socat, Xvfb,
# xdotool and ImageMagick. Quiet and quick when everything is there already.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686)
have i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have socat || need+=(socat)
have Xvfb || need+=(xvfb)
have xdotool || need+=(xdotool)
have import || need+=(imagemagick)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
if ! have wine || ! dpkg -s wine32:i386 >/dev/null 2>&1; then
  need+=(wine wine64 wine32:i386)
fi

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "setup: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
echo "setup: done"
