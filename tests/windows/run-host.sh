#!/usr/bin/env bash
# microtune.exe under Wine (x86_64), beside the microtune.dll of the same
# build, against the Linux host of the native build:
#   - scale, keys --csv and keys --mts print and write byte for byte what
#     the Linux host does, for files with CR LF lines and UTF-8 names;
#   - the output-file rule refuses in the same words, and removes the
#     temporary files of writers that have ended;
#   - Windows paths (backslashes, a drive letter, a folder name outside the
#     ANSI code page) name the same files;
#   - with no MIDI devices, devices says so, and what needs the built-in
#     synthesizer says in one line that Windows has none (status 1);
#   - with fake_winmm.dll in winmm's place (one output that logs every
#     message, one input that plays a script): the relay reads the input
#     and plays through the library, Ctrl-C (SIGINT, which Wine hands to the
#     console control handler) ends it cleanly, and keys --mts --device
#     sends the .syx bytes through midiOutLongMsg.
# Usage: run-host.sh TESTS_DIR MINGW_BUILD_DIR LINUX_HOST SCALES_DIR WINE64 WORK_DIR
set -euo pipefail
tests_dir=$1 mingw=$2 linux_host=$3 scales=$4 wine=$5 work=$6
. "$tests_dir/wine_common.sh"
export WINEPREFIX=$work/prefix
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
null_graphics &
setup=$!

"$cc" -O2 -Wall -Wextra -std=c11 -Wno-attributes -shared -o "$work/winmm.dll" \
  "$tests_dir/fake_winmm.c" "$tests_dir/fake_winmm.def" -static-libgcc
mkdir -p "$work/bin" "$work/fake" "$work/data/sub dir ж" "$work/linux"
cp "$mingw/tools/microtune/microtune.exe" "$mingw/lib/microtune.dll" "$work/bin/"
cp "$work/bin/"* "$work/winmm.dll" "$work/fake/"
cp "$scales"/* "$work/data/"
# Files as Windows editors write them: CR LF lines, names in UTF-8.
printf '! jüst.scl\r\nJust major triad, ж\r\n 3\r\n!\r\n5/4\r\n3/2\r\n2/1\r\n' > "$work/data/jüst.scl"
cp "$work/data/jüst.scl" "$work/data/sub dir ж/jüst.scl"
sed 's/$/\r/' "$scales/white-keys-7.kbm" > "$work/data/wеiß.kbm"
wait "$setup"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# The Windows name of a Unix path: Wine maps drive Z: to the root.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
win() { (cd "$work/data" && timeout 120 "$wine" "$work/bin/microtune.exe" "$@"); }

# Runs one command line on both hosts in the data folder: same status, same
# standard output, same standard error; FILES written by it are compared too.
# Usage: same "ARG..." [FILE...]
same() {
  local args=$1
  shift
  local -a argv
  eval "argv=($args)"
  local lin_status=0 win_status=0
  (cd "$work/data" && "$linux_host" "${argv[@]}") >"$work/linux/stdout" 2>"$work/linux/stderr" ||
    lin_status=$?
  for file in "$@"; do
    mkdir -p "$(dirname "$work/linux/$file")"
    [ ! -e "$work/data/$file" ] || mv "$work/data/$file" "$work/linux/$file"
  done
  win "${argv[@]}" >"$work/out" 2>"$work/err" || win_status=$?
  # Files found in a folder are named with Windows' separator.
  if [ "$compare" = music ]; then sed -i 's|\\|/|g' "$work/out" "$work/err"; fi
  echo "== microtune $args: status $win_status, $(wc -c <"$work/out") bytes"
  [ "$lin_status" = "$win_status" ] || fail "$args: status $win_status on Windows, $lin_status on Linux"
  cmp -s "$work/linux/stdout" "$work/out" || {
    fail "$args: standard output differs (< Linux, > Windows)"
    diff "$work/linux/stdout" "$work/out" | head -5
  }
  cmp -s "$work/linux/stderr" "$work/err" || fail "$args: standard error differs: $(head -c 300 "$work/err")"
  for file in "$@"; do
    if [ "$compare" = music ]; then
      [ ! -e "$work/linux/$file" ] || cmp -s <(sounds "$work/linux/$file") <(sounds "$work/data/$file") ||
        fail "$args: $file sounds otherwise"
    else
      cmp -s "$work/linux/$file" "$work/data/$file" || fail "$args: $file differs"
    fi
  done
}
compare=bytes
# What a MIDI file sounds, whichever channels carry it.
sounds() { /usr/bin/python3 "$tests_dir/midi_sounds.py" "$1"; }

same 'scale just12.scl'
same 'scale jüst.scl --1o1 440'
same 'scale "9/8 5/4 3/2 2/1"'
same 'scale bohlen-pierce.scl'
same 'keys --csv --scale 31-edo.scl --kbm 31-edo-meantone.kbm'
same 'keys --csv --scale jüst.scl --kbm wеiß.kbm'
same 'keys --csv --scale bohlen-pierce.scl --root 48'
same 'keys --scale 19-tet.scl --kbm 19-tet.kbm --mts 19.syx' 19.syx
same 'keys --csv --scale just12.scl --mts rt.syx --mts-realtime' rt.syx
same 'keys --scale nosuch.scl'
same 'scale "9/8 x"'
# The output-file rule's refusals, in the same words.
same 'keys --csv --scale just12.scl --mts nofolder/x.syx'
same 'keys --csv --scale just12.scl --mts "sub dir ж"'

echo "== retune: the tests' MIDI files, one process each, and one file reported in full"
# The same text (but for the separator of the files found in a folder), and
# files that sound the same: which channels carry a note
# may differ, as the library's choice among silent channels follows the
# wall clock (so it may differ between two runs on Linux too).
mkdir -p "$work/data/midi"
for file in "$tests_dir"/../../fuzz/corpus/fuzz_midi_file/*; do
  cp "$file" "$work/data/midi/$(basename "$file" | cut -c1-8).mid"
done
compare=music
# shellcheck disable=SC2046
same 'retune midi -o out/ --scale just12.scl -j 2' $(cd "$work/data/midi" && printf 'out/%s ' *.mid)
same 'retune midi/0bc2e5b4.mid --scale 31-edo.scl --kbm 31-edo-meantone.kbm -o one.mid' one.mid
same 'retune midi/0bc2e5b4.mid --scale just12.scl -o one.mid --wav ./one.mid'
compare=bytes
[ "$(ls "$work/data/out" | wc -l)" = 15 ] || fail "retune of the folder: $(ls "$work/data/out" | wc -l) files"

echo "== temporary files of ended writers"
stale=$work/data/.st.syx.microtune-999999
touch "$stale" "$stale-2" "${stale}x"
win keys --csv --scale just12.scl --mts st.syx >/dev/null || fail "keys --mts st.syx"
[ ! -e "$stale" ] && [ ! -e "$stale-2" ] && [ -e "${stale}x" ] ||
  fail "temporary files after writing st.syx: $(cd "$work/data" && ls -a | grep microtune-)"

echo "== Windows paths"
win scale 'sub dir ж\jüst.scl' >"$work/out" || fail "a relative path with backslashes"
win scale "$(windows_path "$work/data/sub dir ж/jüst.scl")" >"$work/out2" ||
  fail "a path with a drive letter"
(cd "$work/data" && "$linux_host" scale 'sub dir ж/jüst.scl') >"$work/linux/stdout"
for out in "$work/out" "$work/out2"; do
  diff <(tail -n +2 "$work/linux/stdout") <(tail -n +2 "$out") >/dev/null ||
    fail "the table of a file named by a Windows path differs"
done
grep -qF 'Just major triad, ж (sub dir ж\jüst.scl)' "$work/out" ||
  fail "the description of a file named by a Windows path: $(head -1 "$work/out")"

echo "== no MIDI devices, no built-in synthesizer"
[ "$(win devices)" = "No output devices." ] || fail "devices without MIDI devices"
unavailable="microtune: the built-in software synthesizer is not available on Windows: play on a MIDI device (see: microtune devices)"
for args in "play --wav x.wav 0" "bend-test --wav x.wav" "calibrate" "demo --wav x.wav"; do
  status=0
  # shellcheck disable=SC2086
  win $args >"$work/out" 2>"$work/err" || status=$?
  [ "$status" = 1 ] && [ "$(cat "$work/err")" = "$unavailable" ] ||
    fail "$args: status $status, $(cat "$work/err")"
done
[ ! -e "$work/data/x.wav" ] || fail "a WAV file was written"
status=0
win play 0,4,7 >"$work/out" 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -qF "no MIDI output devices" "$work/err" || fail "play without devices"

echo "== the relay and MTS through fake_winmm.dll"
export WINEDLLOVERRIDES="$plain;winmm=n"
export FAKE_WINMM_LOG=$work/fake.log FAKE_WINMM_KEYS=$work/keys.txt
fake() { (cd "$work/data" && timeout 120 "$wine" "$work/fake/microtune.exe" "$@"); }
fake relay --list-inputs >"$work/out"
[ "$(cat "$work/out")" = "  0  Fake Keyboard  (Windows)" ] || fail "--list-inputs: $(cat "$work/out")"
# Key 60 and 64 pressed, 60 released, and 64 still held when Ctrl-C comes.
printf 'wait 500\n90 3c 64\n90 40 5a\nf8\nwait 100\n80 3c 40\nwait 60000\n' >"$work/keys.txt"
rm -f "$FAKE_WINMM_LOG"
# In the foreground, timeout hands the Ctrl-C to the program alone; else it
# hands it on to the whole group too, a second Ctrl-C, which ends at once.
(cd "$work/data" && exec timeout --foreground 120 "$wine" "$work/fake/microtune.exe" relay --in fake \
  --device 0 --scale jüst.scl -v) >"$work/out" 2>"$work/err" &
relay=$!
for _ in $(seq 100); do
  grep -q "^key 60 off" "$work/out" 2>/dev/null && break
  sleep 0.1
done
kill -INT "$relay"
status=0
wait "$relay" || status=$?
[ "$status" = 0 ] || fail "relay ended by Ctrl-C with status $status: $(cat "$work/err")"
grep -q "^key 64 on input channel 0, velocity 90: degree 4, 654.064 Hz, MIDI note 76, channel 1, bend -13.67 cents$" \
  "$work/out" || fail "relay's line for key 64: $(cat "$work/out")"
# The keys' messages, then key 64's release at the end, and the device closed.
diff <(grep -v "^short b\|^short c\|^short e\|^open" "$FAKE_WINMM_LOG") - <<'EOF' || fail "relay's messages"
short 90 3c 64
short 91 4c 5a
short 80 3c 40
short 81 4c 40
close
EOF
grep -q "^short e1 50 3b$" "$FAKE_WINMM_LOG" || fail "relay: channel 1 not bent to 7632 for key 64"

rm -f "$FAKE_WINMM_LOG"
fake keys --scale 19-tet.scl --kbm 19-tet.kbm --mts sent.syx --device 0 >"$work/out" ||
  fail "keys --mts --device 0: $(cat "$work/out")"
sent=$(od -An -v -tx1 "$work/data/sent.syx" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
[ "$(cat "$FAKE_WINMM_LOG")" = "$(printf 'open\nlong %s\nclose' "$sent")" ] ||
  fail "keys --mts --device 0 sent: $(head -c 200 "$FAKE_WINMM_LOG")"

echo "$failures failures"
[ "$failures" = 0 ]
