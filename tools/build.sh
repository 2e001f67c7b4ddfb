#!/usr/bin/env bash
# Configures (once) and builds both targets: BUILD_DIR/i686, the 32-bit program, and
# BUILD_DIR/x86_64, the same sources for 64 bits, which the tests run on.
# Usage: tools/build.sh [BUILD_DIR]   (default build; run tools/setup.sh first)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}

configure() { # target toolchain-file
  local dir="$build/$1"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
}
configure x86_64 mingw-x86_64.cmake
configure i686 mingw-i686.cmake
cmake --build "$build/x86_64"
cmake --build "$build/i686"
