#!/usr/bin/env bash
# Measures how far every program of Debian's two General MIDI fonts is out
# of tune before and after the built-in synthesizer's calibration, and how
# long calibrating each program takes; writes a Markdown report.
#   scripts/calibration-report.sh [OUTPUT.md]   (default: standard output)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default > /dev/null
cmake --build build --target calibration_report -j 2 > /dev/null
out=${1:-/dev/stdout}
{
  echo "# Calibration of the built-in synthesizer's sound fonts"
  echo
  echo "Absolute error in cents of every pitched key 36-96 against 100*key cents above"
  echo "MIDI key 0 in A = 440 Hz tuning, at velocity 100, over the steady segment"
  echo "0.3-1.3 s; calibration time is the wall time to measure all 128 keys of one"
  echo "program on this machine ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))."
  for font in /usr/share/sounds/sf2/FluidR3_GM.sf2 /usr/share/sounds/sf2/TimGM6mb.sf2; do
    echo
    echo "## $(basename "$font")"
    echo
    build/bench/calibration_report "$font"
  done
} > "$out"
