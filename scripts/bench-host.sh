#!/usr/bin/env bash
# Prints how the host scales and starts: notes per second and peak memory of
# `microtune retune -o` at 10k, 100k and 1M notes (chords of four on four
# channels, generated here), the start-up time of --version, scale, keys,
# convert and retune -o on small files beside an empty C program's, and the time to retune a folder of 1,000 small files
# with and without --jobs 2. Usage:
#   scripts/bench-host.sh [path/to/microtune] [largest note count]
set -euo pipefail
cd "$(dirname "$0")/.."
binary=$(realpath "${1:-build/tools/microtune/microtune}")
largest=${2:-1000000}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# A format 0 file of NOTES notes written directly (mido is too slow for a
# million): running status, chords of four, 120 ticks apart.
make_midi() {
  /usr/bin/python3 - "$1" "$2" <<'PYTHON'
import random, struct, sys

random.seed(14)
def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))
body = bytearray(b"\x00\xff\x51\x03\x06\x1a\x80")
for _ in range(int(sys.argv[2]) // 4):
    keys = sorted(random.sample(range(48, 84), 4))
    for voice, key in enumerate(keys):
        body += bytes((0, 0x90 | voice, key, 80))
    for voice, key in enumerate(keys):
        body += vlq(120 if voice == 0 else 0) + bytes((0x80 | voice, key, 0))
body += b"\x00\xff\x2f\x00"
with open(sys.argv[1], "wb") as f:
    f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480))
    f.write(b"MTrk" + struct.pack(">I", len(body)) + body)
PYTHON
}

scale=tools/microtune/scales/31-edo.scl
kbm=tools/microtune/scales/31-edo-meantone.kbm
for notes in 10000 100000 1000000; do
  [ "$notes" -le "$largest" ] || continue
  make_midi "$dir/in$notes.mid" "$notes"
  /usr/bin/time -f '%e %M' -o "$dir/time" "$binary" retune "$dir/in$notes.mid" --scale "$scale" \
    --kbm "$kbm" -o "$dir/out.mid" >/dev/null
  read -r seconds kib <"$dir/time"
  awk -v n="$notes" -v s="$seconds" -v k="$kib" 'BEGIN {
    printf "retune %8d notes: %6.2f s, %9.0f notes/s, peak %6.1f MB (%.0f bytes/note)\n",
      n, s, n / (s > 0 ? s : 0.005), k / 1024, k * 1024 / n }'
done

make_midi "$dir/small.mid" 40
printf '! small.scl\nsmall\n 2\n 3/2\n 2/1\n' >"$dir/small.scl"
if command -v hyperfine >/dev/null; then
  # Against a program that does nothing: "Relative" is each command's start
  # in units of the empty program's.
  printf 'int main(void) { return 0; }\n' >"$dir/empty.c"
  cc -O2 "$dir/empty.c" -o "$dir/empty"
  hyperfine -N --warmup 5 --style basic --export-markdown "$dir/start.md" \
    -n 'empty C program' "$dir/empty" \
    -n 'microtune --version' "$binary --version" \
    -n 'microtune scale FILE' "$binary scale $dir/small.scl" \
    -n 'microtune keys --mts' "$binary keys --scale $dir/small.scl --mts $dir/small.syx" \
    -n 'microtune convert' "$binary convert --scale $dir/small.scl -o $dir/small.tun" \
    -n 'microtune retune -o' "$binary retune $dir/small.mid -o $dir/small-out.mid" >/dev/null
  grep '^|' "$dir/start.md" | cut -d'|' -f2,3,6
else
  echo "start-up: hyperfine is not installed"
fi

mkdir "$dir/folder" "$dir/out"
for i in $(seq -w 1 1000); do cp "$dir/small.mid" "$dir/folder/s$i.mid"; done
for jobs in 1 2; do
  rm -f "$dir"/out/*
  start=$(date +%s.%N)
  if "$binary" retune --help 2>/dev/null | grep -q -- --jobs; then
    "$binary" retune "$dir/folder" -o "$dir/out/" --jobs "$jobs" >/dev/null
  elif [ "$jobs" = 1 ]; then
    for f in "$dir"/folder/*.mid; do "$binary" retune "$f" -o "$dir/out/$(basename "$f")" >/dev/null; done
  else
    ls "$dir"/folder/*.mid | xargs -P 2 -I{} sh -c '"$0" retune "$1" -o "$2/out/$(basename "$1")" >/dev/null' "$binary" {} "$dir"
  fi
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" -v j="$jobs" 'BEGIN { printf "1,000 small files, %d job%s: %.2f s\n", j, j == 1 ? "" : "s", e - s }'
done
