#!/usr/bin/env bash
# Prints how fast `microtune retune` works: a generated Standard MIDI File of
# 10,000 notes (four voices, 2,500 chords) retuned into 31-tone equal
# temperament and written as a MIDI file, without sound. Usage:
#   scripts/retune-speed.sh [path/to/microtune] [notes]
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build/tools/microtune/microtune}
notes=${2:-10000}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

/usr/bin/python3 - "$dir/in.mid" "$notes" <<'PYTHON'
import random
import sys

import mido

random.seed(14)
song = mido.MidiFile(type=1, ticks_per_beat=480)
track = mido.MidiTrack()
song.tracks.append(track)
track.append(mido.MetaMessage('set_tempo', tempo=400000))
for _ in range(int(sys.argv[2]) // 4):
    keys = sorted(random.sample(range(48, 84), 4))
    for voice, key in enumerate(keys):
        track.append(mido.Message('note_on', channel=voice, note=key, velocity=80))
    for voice, key in enumerate(keys):
        track.append(mido.Message('note_off', channel=voice, note=key, time=120 if voice == 0 else 0))
song.save(sys.argv[1])
PYTHON

start=$(date +%s.%N)
"$binary" retune "$dir/in.mid" --scale tools/microtune/scales/31-edo.scl \
  --kbm tools/microtune/scales/31-edo-meantone.kbm -o "$dir/out.mid" >/dev/null
end=$(date +%s.%N)
awk -v n="$notes" -v s="$start" -v e="$end" \
  'BEGIN { printf "retune: %d notes in %.3f s, %.0f notes per second\n", n, e - s, n / (e - s) }'
