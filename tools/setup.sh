#!/usr/bin/env bash
# Installs what building and testing the console needs on a Debian machine, if it is missing:
# MinGW-w64 for both targets (the 32-bit program and the 64-bit build the tests run on), Wine's
# 64-bit loader and its fonts, CMake, Ninja, GoogleTest, socat, Xvfb, xdotool and ImageMagick.
# Wine's 32-bit loader (the i386 architecture and wine32) only on a machine that can start
# 32-bit programs (tools/can-run-32bit.sh). Quiet and quick when everything is there already.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
have() { command -v "$1" >/dev/null 2>&1; }
installed() { dpkg -s "$1" >/dev/null 2>&1; }
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686)
have i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64)
have x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64-x86-64)
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have socat || need+=(socat)
have Xvfb || need+=(xvfb)
have xdotool || need+=(xdotool)
have import || need+=(imagemagick)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
installed fonts-wine || need+=(fonts-wine)

with_32bit=0
if bash tools/can-run-32bit.sh >/dev/null; then
  with_32bit=1
  if ! have wine || ! installed wine32:i386; then
    need+=(wine wine32:i386)
  fi
fi

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "setup: installing ${need[*]}"
if [ $with_32bit -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
echo "setup: done"
