#!/usr/bin/env bash
# Configures (once) and builds both targets: BUILD_DIR/i686, the 32-bit program, and
# BUILD_DIR/x86_64, the same sources for 64 bits, which the tests run on.
# Usage: tools/build.sh [BUILD_DIR] [TARGET...]   (default build, both targets; run
#   tools/setup.sh first). TARGET is x86_64 or i686.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(x86_64 i686)

for target in "${targets[@]}"; do
  dir="$build/$target"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$target.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$dir"
done
