#!/usr/bin/env bash
# Builds the console and every test for both targets, and runs the tests under Wine through
# CTest: always on the 64-bit build, and also on the 32-bit program's build when this machine
# can start a 32-bit Windows program under Wine (tools/can-run-win32.sh). The closing lines say
# which builds ran and why one was skipped; the last is the count of test cases that ran.
# Usage: tools/test.sh [BUILD_DIR] [ctest arguments...]   (default build dir: build)
#   BUILD_DIR/x86_64 and BUILD_DIR/i686 hold the two builds, BUILD_DIR/pty the pty pair.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ $# -gt 0 ] && shift

bash tools/setup.sh
bash tools/build.sh "$build"

targets=(x86_64)
if why_not_32=$(bash tools/can-run-win32.sh "$build"); then
  targets+=(i686)
fi

tools/pty-ports.sh start "$build" # the null-modem pair the COM-port tests use as COM3/COM4
trap 'tools/pty-ports.sh stop "$build"' EXIT

# Count test cases as well as executables: every executable prints a GoogleTest summary.
count_cases() { # log PASSED|FAILED
  { grep -hoE "\\[  $2  \\] [0-9]+ test" "$1" 2>/dev/null || true; } | awk '{s+=$4} END {print s+0}'
}

status=0
total_passed=0
total_failed=0
summary=()
for target in "${targets[@]}"; do
  echo "=== tests on the $target build"
  (
    source tools/wine-env.sh "$build" "$target"
    hlr8_wine_start
    hlr8_at_exit hlr8_wine_stop
    cd "$hlr8_build_dir" && ctest -j2 --output-on-failure "$@"
  ) && target_status=0 || target_status=$?
  log="$build/$target/Testing/Temporary/LastTest.log"
  passed=$(count_cases "$log" PASSED)
  failed=$(count_cases "$log" FAILED)
  if [ $target_status -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1 # an executable crashed or timed out before it could count
  fi
  [ $target_status -eq 0 ] || status=$target_status
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  summary+=("$target build: ran, $passed passed, $failed failed")
done
[ ${#targets[@]} -gt 1 ] || summary+=("i686 build (the program): built, tests skipped: $why_not_32")

echo
printf '%s\n' "${summary[@]}"
echo "test cases: $total_passed passed, $total_failed failed"
exit $status
