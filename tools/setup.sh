#!/usr/bin/env bash
# Installs what building and testing the console needs on a Debian machine, if it is missing.
#
# First what the 64-bit build and its tests need: MinGW-w64 for both targets (the 32-bit
# program and the 64-bit build the tests run on), the machine's own C and C++ compiler (the
# native camera and the test shim), Wine's 64-bit loader and its fonts, CMake,
# Ninja, GoogleTest, socat, Xvfb, xdotool, ImageMagick, Python 3, zip and nc. Failing to
# install these is the one fatal error: it names the packages and gives apt's reason.
#
# Then, as an extra, Wine's 32-bit loader (the i386 architecture, wine and wine32), only on a
# machine that can start 32-bit programs (tools/can-run-32bit.sh). When it cannot be installed
# (the registry's i386 side out of step with the amd64 side, say) one line says why, and the
# setup ends well: the tests then run on the 64-bit build alone.
#
# An apt-get update that leaves some index files unread is tried once more, then the install
# goes on with the lists it has. Quiet and quick when everything is there already.
#
# HLR8_CAN_RUN_32BIT names the command that decides whether 32-bit programs start (default
# tools/can-run-32bit.sh); the setup's own test replaces it.
set -euo pipefail
cd "$(dirname "$0")/.."
can_run_32bit=${HLR8_CAN_RUN_32BIT:-tools/can-run-32bit.sh}

have() { command -v "$1" >/dev/null 2>&1; }
installed() { dpkg -s "$1" >/dev/null 2>&1; }

needed_64bit() {
  have i686-w64-mingw32-g++-posix || echo g++-mingw-w64-i686
  have i686-w64-mingw32-windres || echo binutils-mingw-w64-i686
  have x86_64-w64-mingw32-g++-posix || echo g++-mingw-w64-x86-64
  have x86_64-w64-mingw32-windres || echo binutils-mingw-w64-x86-64
  have g++ || echo g++ # the native camera (sim/) and the modem-line shim (tests/) for Linux
  have cmake || echo cmake
  have ninja || echo ninja-build
  have socat || echo socat
  have Xvfb || echo xvfb
  have xdotool || echo xdotool
  have import || echo imagemagick
  have python3 || echo python3 # the control port's test client
  have zip || echo zip
  have nc || echo netcat-openbsd # to talk to the control port by hand
  [ -f /usr/src/googletest/CMakeLists.txt ] || echo googletest
  [ -x /usr/lib/wine/wine64 ] || echo wine64
  installed fonts-wine || echo fonts-wine
}

needed_32bit() {
  have wine || echo wine
  installed wine32:i386 || echo wine32:i386
}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
apt_log=$(mktemp "${TMPDIR:-/tmp}/hlr8-apt.XXXXXX")
trap 'rm -f "$apt_log"' EXIT

# apt's own words for a failure: its error lines, else its last line.
apt_reason() {
  local reason
  reason=$(grep -E '^E: ' "$apt_log" | sed 's/^E: //' | tail -n 2 | tr '\n' ' ')
  [ -n "$reason" ] || reason=$(tail -n 1 "$apt_log")
  echo "${reason% }"
}

# Reads the package lists; a run that leaves some index files unread (a mirror in the middle of
# a sync) is tried once more, and then the lists that were read serve.
update_lists() {
  $SUDO apt-get update -qq >"$apt_log" 2>&1 && return 0
  sleep 2
  $SUDO apt-get update -qq >"$apt_log" 2>&1 && return 0
  echo "setup: apt-get update left some package lists unread ($(apt_reason)); going on with the lists it has"
}

install_packages() { # package...
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" \
    >"$apt_log" 2>&1
}

mapfile -t need < <(needed_64bit)
want_32bit=0
need_32=()
if bash "$can_run_32bit" >/dev/null 2>&1; then
  want_32bit=1
  mapfile -t need_32 < <(needed_32bit)
fi
[ ${#need[@]} -gt 0 ] || [ ${#need_32[@]} -gt 0 ] || exit 0

if [ ${#need_32[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
update_lists

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  if ! install_packages "${need[@]}"; then
    echo "setup: FAILED to install ${need[*]}: $(apt_reason)" >&2
    exit 1
  fi
fi

if [ $want_32bit -eq 1 ] && [ ${#need_32[@]} -gt 0 ]; then
  echo "setup: installing Wine's 32-bit loader: ${need_32[*]}"
  if ! install_packages "${need_32[@]}"; then
    echo "setup: Wine's 32-bit loader could not be installed ($(apt_reason)); the tests run on the 64-bit build only"
  fi
fi
echo "setup: done"
