#!/usr/bin/python3
"""Reads MIDI Tuning Standard output with mido, independently of microtune,
and checks it byte for byte against the key frequencies of `microtune keys
--csv` (unmapped keys: 12-TET). Frequency data: the semitone at or below,
then the 14-bit fraction rounded to nearest.

  check_mts.py bulk|realtime FILE.syx KEYS.csv [name=NAME] [device=N] [program=N]
                    a bulk dump (checksum, name), or two single-note changes of 64 keys
  check_mts.py mid IN.mid OUT.mid KEYS.csv [bulk] [device=N] [program=N] [lead=TICKS]
      [restate]     the tuning and its selection (RPN 4, 3) on the melodic channels that
                    play at tick 0; the input unchanged, set-up at tick 0 kept there, the
                    rest later by the lead (default: the bytes at tick 0 at 31,250 baud);
                    with restate, the tuning after each program change on those channels
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


def expect(got, wanted, what):
    got, wanted = list(got), list(wanted)
    for i, (g, w) in enumerate(zip(got + [None] * len(wanted), wanted + [None] * len(got))):
        if g != w:
            fail('%s, item %d: %s, expected %s' % (what, i, g, w))


def single_note(data, device=0x7F, program=0):
    messages = []
    for first in (0, 64):
        body = [0x7F, device, 0x08, 0x02, program, 64]
        for key in range(first, first + 64):
            body += [key] + data[key]
        messages.append(body)
    return messages


def check_bulk(body, data, device=0x7F, program=0, name=None):
    expect(body[:5], [0x7E, device, 0x08, 0x01, program], 'header')
    if any(b < 0x20 or b > 0x7E for b in body[5:21]):
        fail('name %s is not printable ASCII' % body[5:21])
    if name is not None:
        expect(body[5:21], name.encode('ascii')[:16].ljust(16), 'name')
    for key in range(128):
        expect(body[21 + 3 * key:24 + 3 * key], data[key], 'key %d' % key)
    checksum = 0
    for b in body[:-1]:
        checksum ^= b
    expect(body[-1:], [checksum & 0x7F], 'checksum')
    expect([len(body)], [21 + 384 + 1], 'length')


def select(channel, program):
    return [('control_change', channel, control, value) for control, value in
            ((101, 0), (100, 4), (6, 0), (101, 0), (100, 3), (6, program), (101, 127),
             (100, 127))]


def check_mid(source, tuned, data, options):
    bulk, restate = 'bulk' in options, 'restate' in options
    numbers = dict(o.split('=') for o in options if '=' in o)
    device, program = int(numbers.get('device', 127)), int(numbers.get('program', 0))
    if tuned.type != source.type or len(tuned.tracks) != len(source.tracks):
        fail('format %d with %d tracks' % (tuned.type, len(tuned.tracks)))

    def timed(track):
        tick, out = 0, []
        for m in track:
            tick += m.time
            out.append((tick, m))
        return out

    def shape(m):
        if m.type == 'sysex':
            return ('sysex', list(m.data))
        if m.type == 'control_change':
            return (m.type, m.channel, m.control, m.value)
        return str(m.copy(time=0))

    # A bulk dump carries the scale's description as its name: it stands as
    # 'bulk' here and is checked where it is found.
    data_messages = [('bulk',)] if bulk else [
        ('sysex', b) for b in single_note(data, device, program)]
    data_size = 408 if bulk else 528
    sources = [timed(t) for t in source.tracks]
    plays = sorted({m.channel for t in sources for _, m in t
                    if m.type == 'note_on' and m.velocity > 0 and m.channel != 9})

    def restated(m):
        return restate and m.type == 'program_change' and m.channel in plays

    # The lead: the time the bytes at tick 0 (tuning, selections, tunings
    # restated there) take at 10 bits a byte, at the tempo of tick 0.
    at_zero = data_size + 24 * len(plays) + sum(
        data_size + 24 for t in sources for tick, m in t if tick == 0 and restated(m))
    tempo = next((m.tempo for t in sources for tick, m in t
                  if tick == 0 and m.type == 'set_tempo'), 500000)
    lead = int(numbers['lead']) if 'lead' in numbers else math.ceil(
        at_zero * 10 / 31250 / (tempo / 1e6) * source.ticks_per_beat - 1e-9)

    notes = {'note_on', 'note_off', 'polytouch'}
    # Every track ends where the file ends.
    end = max(t[-1][0] for t in sources) + lead
    for n, (s, t) in enumerate(zip(sources, tuned.tracks)):
        wanted = []
        if n == 0:
            wanted = [(0, x) for x in data_messages]
            for c in plays:
                wanted += [(0, x) for x in select(c, program)]
        for tick, m in s:
            # What sets up the channels at tick 0 stays there; the music moves.
            moved = tick if tick == 0 and m.type not in notes else tick + lead
            if m.type == 'end_of_track':
                moved = end
            wanted.append((moved, shape(m)))
            if restated(m):
                wanted += [(moved, x) for x in data_messages + select(m.channel, program)]
        got = [(tick, shape(m)) for tick, m in timed(t)]
        for i, (g, w) in enumerate(zip(got, wanted)):
            if w[1] == ('bulk',) and g[1][0] == 'sysex':
                check_bulk(g[1][1], data, device, program)
                wanted[i] = g
        expect(got, wanted, 'track %d' % n)


def main():
    mode = sys.argv[1]
    options = dict(o.split('=', 1) for o in sys.argv[4:] if '=' in o)
    device, program = int(options.get('device', 127)), int(options.get('program', 0))
    if mode == 'bulk':
        messages = mido.read_syx_file(sys.argv[2])
        if len(messages) != 1:
            fail('%d messages' % len(messages))
        check_bulk(list(messages[0].data), key_data(sys.argv[3]), device, program,
                   options.get('name'))
    elif mode == 'realtime':
        got = [list(m.data) for m in mido.read_syx_file(sys.argv[2])]
        expect([len(got)], [2], 'messages')
        for g, w in zip(got, single_note(key_data(sys.argv[3]), device, program)):
            expect(g, w, 'single-note tuning change')
    else:
        check_mid(mido.MidiFile(sys.argv[2]), mido.MidiFile(sys.argv[3]), key_data(sys.argv[4]),
                  sys.argv[5:])
    print('ok')


main()
