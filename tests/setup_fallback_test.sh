#!/usr/bin/env bash
# tools/setup.sh against a package registry whose i386 side is out of step, with no registry:
# stub apt-get and dpkg commands first on PATH play the registry (every package missing, the
# first package-list update failing as in a mirror sync), and the 32-bit decision is forced on.
#   1. wine32:i386 cannot be installed: the setup ends with status 0, names apt's reason in one
#      line, installed the 64-bit set first, and read the lists a second time after the failure.
#   2. a package of the 64-bit set cannot be installed: status 1, naming the package and reason.
# Prints a GoogleTest-style summary so the test count includes it.
# Usage: tests/setup_fallback_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
source_dir=$1
work=$2/setup-fallback
rm -rf "$work" && mkdir -p "$work/bin"
failed=0
check() { # description condition...
  local what=$1; shift
  if ! "$@"; then echo "setup_fallback: FAILED: $what"; failed=$((failed + 1)); fi
}

cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "$*" >>"$STUB_LOG"
case " $* " in
  *" update "*)
    if [ ! -e "$STUB_LOG.updated" ]; then
      touch "$STUB_LOG.updated"
      echo "E: Failed to fetch binary-i386/Packages.xz  File has unexpected size. Mirror sync in progress?" >&2
      exit 100
    fi ;;
  *":i386 "*|*" $STUB_BROKEN "*)
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100 ;;
esac
exit 0
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
[ "$1" = -s ] && exit 1 # nothing is installed
exit 0
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
printf '#!/bin/sh\nexit 0\n' >"$work/can-run-32bit"
chmod +x "$work/bin/"* "$work/can-run-32bit"

run_setup() { # broken-package
  rm -f "$work/apt.log" "$work/apt.log.updated"
  PATH="$work/bin:$PATH" STUB_LOG="$work/apt.log" STUB_BROKEN=$1 \
    HLR8_CAN_RUN_32BIT="$work/can-run-32bit" bash "$source_dir/tools/setup.sh" >"$work/out" 2>&1
}

run_setup none
status=$?
check "32-bit failure: status $status, wanted 0" [ $status -eq 0 ]
check "32-bit failure: no line naming the loader and apt's reason" \
  grep -q "32-bit loader could not be installed (Unable to correct problems, you have held broken packages.)" "$work/out"
check "the package lists were not read a second time" [ "$(grep -c update "$work/apt.log")" = 2 ]
first_line() { grep -n -- "$1" "$work/apt.log" | head -n 1 | cut -d: -f1; }
asked_before() { # first second
  local a b; a=$(first_line "$1"); b=$(first_line "$2")
  [ -n "$a" ] && [ -n "$b" ] && [ "$a" -lt "$b" ]
}
check "the 64-bit set (fonts-wine) was not installed before wine32" asked_before fonts-wine wine32:i386
cat "$work/out"

run_setup fonts-wine
status=$?
check "64-bit failure: status $status, wanted 1" [ $status -eq 1 ]
check "64-bit failure: the package and apt's reason are not named" \
  grep -q "FAILED to install .*fonts-wine.*: Unable to correct problems" "$work/out"
check "64-bit failure: wine32 was tried after a fatal error" [ -z "$(first_line wine32)" ]
cat "$work/out"

if [ $failed -eq 0 ]; then
  echo "[  PASSED  ] 2 tests."
else
  echo "[  FAILED  ] 2 tests, $failed checks listed above"
  exit 1
fi
