#!/usr/bin/env bash
# Builds the conformance host, the recording companion and the stub
# QTJavaNative.dll for x86_64 and runs the host under Wine against a built
# microtune.dll: once with the DLL alone and once with the companion
# beside it. Each run gets a fresh Wine prefix in a temporary folder.
# Usage: run-conformance.sh TESTS_DIR MICROTUNE_DLL WINE64 WORK_DIR
set -euo pipefail
tests_dir=$1 dll=$2 wine=$3 work=$4
cc=${MINGW_X64_CC:-x86_64-w64-mingw32-gcc}
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

rm -rf "$work"
mkdir -p "$work/bare" "$work/companion"
cflags=(-O2 -Wall -Wextra -Wpedantic -std=c11 -I"$tests_dir")
"$cc" "${cflags[@]}" -o "$work/conformance.exe" "$tests_dir/conformance.c" \
  -static -lwinmm -luser32
"$cc" "${cflags[@]}" -shared -o "$work/TembrelLib.dll" \
  "$tests_dir/recording_companion.c" "$tests_dir/recording_companion.def" -static-libgcc
"$cc" "${cflags[@]}" -shared -o "$work/QTJavaNative.dll" "$tests_dir/qtjavanative_stub.c" \
  -static-libgcc
cp "$dll" "$work/conformance.exe" "$work/bare/"
cp "$dll" "$work/conformance.exe" "$work/TembrelLib.dll" "$work/QTJavaNative.dll" \
  "$work/companion/"

prefix=$(mktemp -d "${TMPDIR:-/tmp}/microtune-wine.XXXXXX")
cleanup() {
  WINEPREFIX=$prefix "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT

export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64
# No desktop integration, no .NET or Gecko installers, and no sound driver,
# so that winmm has no MIDI outputs on any machine.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winealsa.drv=d"
# Windows without a display: the null graphics driver. It takes effect once
# the prefix's first session has ended.
timeout 180 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true

status=0
for mode in bare companion; do
  echo "== conformance host, $mode"
  (cd "$work/$mode" && timeout 180 "$wine" conformance.exe "$mode") || status=1
done
exit $status
