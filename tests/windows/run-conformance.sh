#!/usr/bin/env bash
# Builds the conformance host, the recording companion and the stub
# QTJavaNative.dll for x86_64 and runs the host under Wine against a built
# microtune.dll in three layouts. In each the host has a folder of its own
# and runs in a third folder, data, its current directory:
#   cwd     the companion only in the current directory, which PATH also
#           names relatively: it must not be loaded (bare run);
#   beside  the companion beside microtune.dll, which the host loads by full
#           path from a folder other than its own (companion run);
#   path    the companion in a folder named on PATH, after an empty and a
#           relative entry, and with a name that the ANSI code page cannot
#           spell (companion run).
# Each layout runs in a fresh Wine prefix: one prefix is set up, and every
# layout gets an untouched copy of it, much quicker than setting up three.
# Usage: run-conformance.sh TESTS_DIR MICROTUNE_DLL WINE64 WORK_DIR
set -euo pipefail
tests_dir=$1 dll=$2 wine=$3 work=$4
. "$tests_dir/wine_common.sh"

prefixes=$(mktemp -d "${TMPDIR:-/tmp}/microtune-wine.XXXXXX")
cleanup() {
  for prefix in "$prefixes"/*/; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix "$wineserver" -k >/dev/null 2>&1 || true
  done
  rm -rf "$prefixes"
}
trap cleanup EXIT

# The prefix is set up while the test programs compile.
template=$prefixes/template
(
  export WINEPREFIX=$template
  null_graphics
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
) &
setup=$!

cflags=(-O2 -Wall -Wextra -Wpedantic -std=c11 -I"$tests_dir")
"$cc" "${cflags[@]}" -o "$work/conformance.exe" "$tests_dir/conformance.c" \
  -static -lwinmm -luser32
"$cc" "${cflags[@]}" -shared -o "$work/TembrelLib.dll" \
  "$tests_dir/recording_companion.c" "$tests_dir/recording_companion.def" -static-libgcc
"$cc" "${cflags[@]}" -shared -o "$work/QTJavaNative.dll" "$tests_dir/qtjavanative_stub.c" \
  -static-libgcc

# Places files of the layout: FOLDER FILE...
place() {
  local folder=$work/$1
  shift
  mkdir -p "$folder"
  for file in "$@"; do cp "$file" "$folder/"; done
}
companion=("$work/TembrelLib.dll" "$work/QTJavaNative.dll")
place cwd/host "$work/conformance.exe" "$dll"
place cwd/data "${companion[@]}"
place beside/host "$work/conformance.exe"
place beside/lib "$dll" "${companion[@]}"
place beside/data
place path/host "$work/conformance.exe" "$dll"
place path/tools-ж "${companion[@]}"
place path/data

# The Windows name of a Unix path: Wine maps drive Z: to the root.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Runs one layout in its own copy of the prefix: LAYOUT MODE WINEPATH [ARG]
run() {
  local layout=$1 mode=$2 path=$3
  shift 3
  local prefix=$prefixes/$layout result=0
  cp -a "$template" "$prefix"
  echo "== conformance host, $layout layout ($mode run)"
  (cd "$work/$layout/data" && WINEPREFIX=$prefix WINEPATH=$path \
    timeout 180 "$wine" ../host/conformance.exe "$mode" "$@") || result=1
  WINEPREFIX=$prefix "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
  return $result
}

wait "$setup"
status=0
run cwd bare '.;' || status=1
run beside companion '' '..\lib\microtune.dll' || status=1
run path companion ";.;$(windows_path "$work/path/tools-ж")" || status=1
exit $status
