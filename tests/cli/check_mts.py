#!/usr/bin/python3
"""Reads MIDI Tuning Standard output with mido, independently of microtune,
and checks it byte for byte against the key frequencies of `microtune keys
--csv` (unmapped keys: 12-TET). Frequency data: the semitone at or below,
then the 14-bit fraction rounded to nearest.

  check_mts.py bulk FILE.syx KEYS.csv [NAME] bulk dump, program 0, checksum
  check_mts.py realtime FILE.syx KEYS.csv    two single-note changes of 64 keys
  check_mts.py mid IN.mid OUT.mid KEYS.csv   the input's messages unchanged,
                                             the tuning and its selection at tick 0
Prints "ok", or "FAIL: why" and exits 1."""
import csv
import math
import sys

import mido


def fail(why):
    print('FAIL: ' + why)
    sys.exit(1)


def frequency_data(hz):
    step = round((69 + 12 * math.log2(hz / 440)) * 16384) if hz > 0 else 0
    step = min(max(step, 0), 127 * 16384 + 16382)
    return [step // 16384, (step % 16384) >> 7, step & 0x7F]


def key_data(path):
    data = {}
    for row in csv.DictReader(open(path)):
        key = int(row['key'])
        hz = 440 * 2 ** ((key - 69) / 12) if row['degree'] == 'unmapped' else float(row['hz'])
        data[key] = frequency_data(hz)
    if sorted(data) != list(range(128)):
        fail('the listing does not have 128 keys')
    return data


def single_note(data):
    messages = []
    for first in (0, 64):
        body = [0x7F, 0x7F, 0x08, 0x02, 0, 64]
        for key in range(first, first + 64):
            body += [key] + data[key]
        messages.append(body)
    return messages


def expect(got, wanted, what):
    if list(got) != list(wanted):
        fail('%s: %s, expected %s' % (what, list(got), list(wanted)))


def main():
    mode = sys.argv[1]
    if mode == 'bulk':
        messages = mido.read_syx_file(sys.argv[2])
        data = key_data(sys.argv[3])
        if len(messages) != 1:
            fail('%d messages' % len(messages))
        body = list(messages[0].data)
        expect(body[:5], [0x7E, 0x7F, 0x08, 0x01, 0], 'header')
        if any(b < 0x20 or b > 0x7E for b in body[5:21]):
            fail('name %s is not printable ASCII' % body[5:21])
        if len(sys.argv) > 4:
            expect(body[5:21], sys.argv[4].encode('ascii')[:16].ljust(16), 'name')
        for key in range(128):
            expect(body[21 + 3 * key:24 + 3 * key], data[key], 'key %d' % key)
        checksum = 0
        for b in body[:-1]:
            checksum ^= b
        expect(body[-1:], [checksum & 0x7F], 'checksum')
        expect([len(body)], [21 + 384 + 1], 'length')
    elif mode == 'realtime':
        got = [list(m.data) for m in mido.read_syx_file(sys.argv[2])]
        expect([len(got)], [2], 'messages')
        for g, w in zip(got, single_note(key_data(sys.argv[3]))):
            expect(g, w, 'single-note tuning change')
    else:
        source, tuned = mido.MidiFile(sys.argv[2]), mido.MidiFile(sys.argv[3])
        tuning = single_note(key_data(sys.argv[4]))
        if tuned.type != source.type or len(tuned.tracks) != len(source.tracks):
            fail('format %d with %d tracks' % (tuned.type, len(tuned.tracks)))
        head = list(tuned.tracks[0])
        plays = sorted({m.channel for t in source.tracks for m in t
                        if m.type == 'note_on' and m.velocity > 0 and m.channel != 9})
        select = []
        for c in plays:
            for control, value in ((101, 0), (100, 4), (6, 0), (101, 0), (100, 3), (6, 0),
                                   (101, 127), (100, 127)):
                select.append(('control_change', c, control, value))
        got = [(m.type, list(m.data)) if m.type == 'sysex' else
               (m.type, m.channel, m.control, m.value) for m in head[:2 + len(select)]]
        expect(got, [('sysex', t) for t in tuning] + select, 'tick 0')
        if any(m.time for m in head[:2 + len(select)]):
            fail('the tuning is not at tick 0')
        for n, (s, t) in enumerate(zip(source.tracks, tuned.tracks)):
            # Every track ends where the file ends.
            rest = list(t)[2 + len(select):-1] if n == 0 else list(t)[:-1]
            expect([str(m) for m in rest], [str(m) for m in s][:-1], 'track %d' % n)
    print('ok')


main()
