#!/usr/bin/env bash
# The note engine before and after a change: two builds of the default
# preset (an older revision checked out and built beside this one, and this
# one), timed in the same run, then counted instruction by instruction under
# callgrind, which does not depend on how busy the machine is.
#
#   bench/compare_note_engine.sh OLD_BUILD_DIR NEW_BUILD_DIR [COUNT]
#
# Both builds need the note_engine_bench target built. The counting driver
# is compiled here from this tree against each build's core, so the older
# revision need not have it. COUNT pairs are counted (default 100000), and a
# twentieth as many SetMidiScale calls, which cost some sixty pairs each.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 2 ]; then
  echo "usage: $0 OLD_BUILD_DIR NEW_BUILD_DIR [COUNT]" >&2
  exit 2
fi
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
count=${3:-100000}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for b in "$old" "$new"; do
  if [ ! -x "$b/bench/note_engine_bench" ]; then
    echo "$b/bench/note_engine_bench: not built" >&2
    exit 1
  fi
done

echo "== timings: median of 5 repetitions, ns (real / cpu)"
for side in old new; do
  b=${!side}
  "$b/bench/note_engine_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_color=false 2>/dev/null | awk '$1 ~ /_median$/' >"$tmp/$side.txt"
done
printf '%-38s %17s %17s %13s\n' benchmark old new 'new/old'
awk '{ sub(/_median$/, "", $1) }
     FNR == NR { real[$1] = $2; cpu[$1] = $4; next }
     $1 in real { printf "%-38s %8.1f / %6.1f %8.1f / %6.1f %6.2f / %4.2f\n", $1, real[$1], cpu[$1],
                  $2, $4, $2 / real[$1], $4 / cpu[$1] }' "$tmp/old.txt" "$tmp/new.txt"

echo "== instructions per operation (callgrind, $count pairs, $((count / 20)) SetMidiScale)"
if ! command -v valgrind >/dev/null; then
  echo "valgrind not installed" >&2
  exit 1
fi
for side in old new; do
  b=${!side}
  src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$b/CMakeCache.txt")
  c++ -O2 -std=c++17 -DMICROTUNE_BUILDING -I"$here" -I"$src/include" -I"$src/src" \
    "$here/note_engine_ops.cpp" "$b/bench/libmicrotune_bench_core.a" -o "$tmp/ops_$side"
done
printf '%-16s %10s %10s %8s\n' operation old new 'new/old'
for op in pair16 pair2047newest pair2047oldest setmidiscale; do
  n=$count
  [ "$op" = setmidiscale ] && n=$((count / 20))
  for side in old new; do
    valgrind --tool=callgrind --toggle-collect=RunOperations --callgrind-out-file=/dev/null \
      "$tmp/ops_$side" "$op" "$n" 2>&1 |
      sed -n 's/^==[0-9]*== Collected : //p' >"$tmp/ir_$side"
  done
  awk -v op="$op" -v n="$n" -v o="$(cat "$tmp/ir_old")" -v w="$(cat "$tmp/ir_new")" \
    'BEGIN { printf "%-16s %10.1f %10.1f %8.2f\n", op, o / n, w / n, w / o }'
done
