#!/usr/bin/env bash
# Configures and builds microtune.dll and microtune.exe with one of the
# MinGW presets, into a build folder of the caller's choosing.
# Usage: build-dll.sh SOURCE_DIR PRESET BUILD_DIR
set -euo pipefail
source_dir=$1 preset=$2 build_dir=$3
cd "$source_dir"
cmake --preset "$preset" -B "$build_dir"
cmake --build "$build_dir" -j 2
test -f "$build_dir/lib/microtune.dll"
test -f "$build_dir/tools/microtune/microtune.exe"
