#!/usr/bin/python3
"""Prints what a MIDI file sounds, whatever channels carry it: a line per
note-on and note-off, "TICK on|off CENTS VELOCITY PROGRAM", CENTS being the
key plus its channel's bend (2-semitone range) at that tick, sorted. Two
retunings of one input that differ only in their choice of channels print
the same lines."""
import sys

import mido

lines = []
for track in mido.MidiFile(sys.argv[1]).tracks:
    tick, bend, program = 0, [0] * 16, [0] * 16
    for m in track:
        tick += m.time
        if m.type == 'pitchwheel':
            bend[m.channel] = m.pitch
        elif m.type == 'program_change':
            program[m.channel] = m.program
        elif m.type in ('note_on', 'note_off'):
            on = m.type == 'note_on' and m.velocity > 0
            cents = m.note * 100 + (0 if m.channel == 9 else bend[m.channel] * 100 / 4096)
            drum = 'drum' if m.channel == 9 else program[m.channel]
            lines.append('%d %s %.3f %d %s' % (tick, 'on' if on else 'off', cents,
                                               m.velocity if on else 0, drum))
print('\n'.join(sorted(lines)))
