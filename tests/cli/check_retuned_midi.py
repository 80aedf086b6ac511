#!/usr/bin/python3
"""Reads a retuned MIDI file with mido, independently of microtune, and checks
it against the input: every melodic note-on, resolved as note + bend * 2 / 8192
semitones with its channel's bend at that tick, sounds the frequency the key
should have (KEY=HZ arguments) within 0.025 cents, at the tick of the input's
note-on; drums and meta events keep their ticks; every channel that plays
has the 2-semitone bend range. With --parts, every melodic note-on also
sounds on one port, on a channel whose program, volume, pan and expression
are those of the input channel that played it at that moment. Prints "TICK
on|off KEY" for each melodic note event of the output (the key whose
frequency it sounds), then "ok"; exits 1 with a reason otherwise."""
import math
import sys
from collections import defaultdict

import mido

KEPT_META = {'set_tempo', 'time_signature', 'key_signature', 'marker', 'lyrics', 'text',
             'track_name', 'instrument_name', 'copyright', 'smpte_offset'}
# These stay in the track they came from.
TRACK_META = {'track_name', 'instrument_name', 'copyright', 'text', 'smpte_offset'}


def place(m, track):
    return track if m.type in TRACK_META else 0


def absolute(track):
    tick = 0
    for message in track:
        tick += message.time
        yield tick, message


def fail(why):
    print('FAIL: ' + why)
    sys.exit(1)


# General MIDI's values before any message: program, volume, pan, expression.
PART_DEFAULTS = {'program': 0, 7: 100, 10: 64, 11: 127}


def merged(midi):
    """Every track's messages in time order (stable), with absolute ticks and the port."""
    events = []
    for number, track in enumerate(midi.tracks):
        port = 0
        for order, (tick, m) in enumerate(absolute(track)):
            if m.type == 'midi_port':
                port = m.port
            events.append((tick, number, order, port, m))
    return [(tick, port, m) for tick, _, _, port, m in sorted(events, key=lambda e: e[:3])]


def sounding_parts(midi, key_hz, by_pitch):
    """Per tick, the sorted (pitch or key, program, volume, pan, expression) of each melodic note-on."""
    state, notes = defaultdict(lambda: dict(PART_DEFAULTS)), defaultdict(list)
    for tick, port, m in merged(midi):
        channel = (port, getattr(m, 'channel', None))
        if m.type == 'program_change':
            state[channel]['program'] = m.program
        elif m.type == 'control_change' and m.control in PART_DEFAULTS:
            state[channel][m.control] = m.value
        elif m.type == 'pitchwheel':
            state[channel]['bend'] = m.pitch
        elif m.type == 'note_on' and m.velocity > 0 and channel[1] != 9:
            s = state[channel]
            if by_pitch:
                hz = 440.0 * 2 ** ((m.note + s.get('bend', 0) * 2 / 8192 - 69) / 12)
                key = min(key_hz, key=lambda k: abs(math.log2(hz / key_hz[k])))
            elif m.note in key_hz:
                key = m.note
            else:
                continue
            notes[tick].append((key, s['program'], s[7], s[10], s[11]))
    return {tick: sorted(v) for tick, v in notes.items()}


def check_parts(source, retuned, key_hz):
    if any(m.type == 'midi_port' and m.port != 0 for _, _, m in merged(retuned)):
        fail('more than one port')
    wanted, got = sounding_parts(source, key_hz, False), sounding_parts(retuned, key_hz, True)
    for tick in sorted(wanted):
        if got.get(tick) != wanted[tick]:
            fail('tick %d: (key, program, volume, pan, expression) %s, expected %s'
                 % (tick, got.get(tick), wanted[tick]))


def main():
    arguments = [a for a in sys.argv[1:] if a != '--parts']
    source, retuned = mido.MidiFile(arguments[0]), mido.MidiFile(arguments[1])
    key_hz = {int(k): float(v) for k, v in (a.split('=') for a in arguments[2:])}
    if '--parts' in sys.argv:
        check_parts(source, retuned, key_hz)
    if retuned.type != 1 or retuned.ticks_per_beat != source.ticks_per_beat:
        fail('format %d, division %d' % (retuned.type, retuned.ticks_per_beat))

    wanted_notes, wanted_drums, wanted_meta = defaultdict(list), [], []
    for number, track in enumerate(source.tracks):
        for tick, m in absolute(track):
            if m.type == 'note_on' and m.velocity > 0:
                if m.channel == 9:
                    wanted_drums.append((tick, m.note))
                elif m.note in key_hz:
                    wanted_notes[tick].append(key_hz[m.note])
            elif m.is_meta and m.type in KEPT_META:
                wanted_meta.append((tick, str(m.copy(time=0)), place(m, number)))

    got_notes, got_drums, got_meta, listing = defaultdict(list), [], [], []
    for number, track in enumerate(retuned.tracks):
        port, bend, rpn, ranges, playing = 0, defaultdict(int), {}, {}, set()
        for tick, m in absolute(track):
            if m.type == 'midi_port':
                port = m.port
            elif m.is_meta:
                if m.type in KEPT_META:
                    got_meta.append((tick, str(m.copy(time=0)), place(m, number)))
                continue
            channel = getattr(m, 'channel', None)
            if m.type == 'pitchwheel':
                bend[channel] = m.pitch
            elif m.type == 'control_change':
                c = rpn.setdefault(channel, [127, 127])
                if m.control in (101, 100):
                    c[0 if m.control == 101 else 1] = m.value
                elif m.control == 6 and c == [0, 0]:
                    ranges[channel] = (tick, m.value)
            elif channel == 9:
                if m.type == 'note_on' and m.velocity > 0:
                    got_drums.append((tick, m.note))
            elif m.type in ('note_on', 'note_off'):
                hz = 440.0 * 2 ** ((m.note + bend[channel] * 2 / 8192 - 69) / 12)
                on = m.type == 'note_on' and m.velocity > 0
                listing.append((tick, 'on' if on else 'off', hz))
                if on:
                    got_notes[tick].append(hz)
                    playing.add(channel)
        for channel in playing:
            if ranges.get(channel) != (0, 2):
                fail('port %d channel %d has no 2-semitone bend range at tick 0' % (port, channel))

    if sorted(got_drums) != sorted(wanted_drums):
        fail('drums %s, expected %s' % (sorted(got_drums), sorted(wanted_drums)))
    if sorted(got_meta) != sorted(wanted_meta):
        fail('meta events %s, expected %s' % (sorted(got_meta), sorted(wanted_meta)))
    if sorted(got_notes) != sorted(wanted_notes):
        fail('note-on ticks %s, expected %s' % (sorted(got_notes), sorted(wanted_notes)))
    for tick, wanted in wanted_notes.items():
        got = sorted(got_notes[tick])
        for g, w in zip(got, sorted(wanted)):
            cents = 1200 * math.log2(g / w)
            if abs(cents) > 0.025 or len(got) != len(wanted):
                fail('tick %d: %.4f Hz where %.4f Hz was due (%.4f cents)' % (tick, g, w, cents))
    def key_of(hz):
        for key, due in key_hz.items():
            if abs(1200 * math.log2(hz / due)) <= 0.025:
                return str(key)
        return '%.3fHz' % hz
    for tick, kind, hz in sorted(listing, key=lambda e: e[0]):
        print('%d %s %s' % (tick, kind, key_of(hz)))
    print('ok')


main()
