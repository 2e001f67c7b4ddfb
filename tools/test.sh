#!/usr/bin/env bash
# Builds the console and every test, and runs the tests under Wine through CTest.
# Usage: tools/test.sh [BUILD_DIR] [ctest arguments...]   (default build dir: build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}
[ $# -gt 0 ] && shift

bash tools/setup.sh

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build"

source tools/wine-env.sh "$build"
tools/pty-ports.sh start "$build" # the null-modem pair the COM-port tests use as COM3/COM4
hlr8_wine_start
trap 'hlr8_wine_stop; tools/pty-ports.sh stop "$build"' EXIT

set +e
(cd "$build" && ctest -j2 --output-on-failure "$@")
status=$?
set -e

# Count test cases as well as executables: every executable prints a GoogleTest summary.
log="$build/Testing/Temporary/LastTest.log"
count_cases() { { grep -hoE "\\[  $1  \\] [0-9]+ test" "$log" 2>/dev/null || true; } | awk '{s+=$4} END {print s+0}'; }
passed=$(count_cases PASSED)
failed=$(count_cases FAILED)
if [ $status -ne 0 ] && [ "$failed" -eq 0 ]; then
  failed=1 # an executable crashed or timed out before it could count
fi
echo
echo "test cases: $passed passed, $failed failed"
exit $status
