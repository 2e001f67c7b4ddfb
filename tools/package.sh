#!/usr/bin/env bash
# Makes the release a Windows user downloads: dist/HLR8-<version>-win32.zip, holding the 32-bit
# HLR8.exe stripped of its debug information and README.txt on running it. The version is the
# program's own (its version information in resources/hlr8_program.rc).
# Usage: tools/package.sh [BUILD_DIR]   (default build; installs and builds what is missing)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash tools/setup.sh
bash tools/build.sh "$build" i686 >/dev/null
version=$(sed -n 's/.*VALUE "ProductVersion", "\([0-9.]*\)".*/\1/p' resources/hlr8_program.rc)
[ -n "$version" ] || { echo "package: no ProductVersion in resources/hlr8_program.rc" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
i686-w64-mingw32-strip -o "$stage/HLR8.exe" "$build/i686/app/HLR8.exe"
cat >"$stage/README.txt" <<TEXT
HL-R8 console $version
======================

The operator console for the HL-R8 pan/tilt/zoom camera, for Windows (32-bit; it runs on
64-bit Windows too). It needs no installation and no other file.

1. Put HLR8.exe in a folder you may write to (the console keeps its settings in HLR8.INI
   beside it).
2. Connect the camera to COM1 (or COM2 to COM4) and switch it on.
3. Double-click HLR8.exe. The CAMERA light of the port turns green once the camera answers;
   it blinks red while the camera does not.

Pick another port with the CAMERA 1 to CAMERA 4 buttons; line speed, speeds, panel size and
the remote control are under "Program Options" in the window's system menu.

Without a camera, start it with the switch /SIM (for example from a shortcut:
HLR8.exe /SIM): virtual cameras answer on COM1 and COM2.
TEXT
sed -i 's/$/\r/' "$stage/README.txt" # Windows line ends

mkdir -p dist
zip_file="dist/HLR8-$version-win32.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X "$OLDPWD/$zip_file" HLR8.exe README.txt)
echo "package: $zip_file ($(stat -c %s "$zip_file") bytes; HLR8.exe $(stat -c %s "$stage/HLR8.exe") bytes)"
