#!/usr/bin/env bash
# Tells whether this machine can start 32-bit programs, by starting one: a 93-byte i386 Linux
# program that only calls exit(0). Some kernels have 32-bit support switched off (then every
# 32-bit program, Wine's 32-bit loader among them, fails with "Exec format error").
# Exit status 0: it can. Otherwise prints why not on standard output and exits with 1.
set -uo pipefail

probe=$(mktemp "${TMPDIR:-/tmp}/hlr8-probe32.XXXXXX") || {
  echo "could not write the 32-bit probe program"
  exit 1
}
trap 'rm -f "$probe"' EXIT
# ELF header, one loadable segment, then: xor ebx,ebx; mov eax,1; int 0x80 (exit(0)).
base64 -d >"$probe" <<'ELF'
f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAA
AIAECACABAhdAAAAXQAAAAUAAAAAEAAAMdu4AQAAAM2A
ELF
chmod +x "$probe"

if output=$("$probe" 2>&1); then
  exit 0
fi
reason=$(printf '%s' "$output" | sed -n 's/.*: //p' | tail -n 1)
echo "this machine cannot start 32-bit programs (${reason:-the probe program failed})"
exit 1
