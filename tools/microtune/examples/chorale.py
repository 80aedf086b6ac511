#!/usr/bin/python3
"""Writes chorale.mid: a short chorale in four voices (soprano, alto, tenor,
bass on channels 1-4, one track each, after a conductor track with the tempo,
the metre, the key, a marker per phrase and the words). Needs mido (Debian
python3-mido). Usage: chorale.py [OUT.mid]"""
import sys

import mido

DIVISION = 480
# One phrase per line: chords of soprano, alto, tenor, bass keys, a quarter
# note each unless a duration in quarters follows; the last chord of each
# phrase is a fermata (the pedal-less organ holds it twice as long).
PHRASES = [
    ("Phrase 1", [
        ((67, 64, 60, 48), 1), ((69, 65, 60, 53), 1), ((71, 67, 62, 55), 1), ((72, 67, 64, 48), 1),
        ((74, 67, 65, 59), 1), ((72, 69, 64, 57), 1), ((71, 67, 62, 55), 2),
    ]),
    ("Phrase 2", [
        ((72, 67, 64, 52), 1), ((71, 68, 62, 52), 1), ((69, 64, 60, 45), 1), ((67, 64, 59, 52), 1),
        ((65, 62, 57, 50), 1), ((64, 60, 55, 48), 1), ((62, 59, 55, 43), 2),
    ]),
    ("Phrase 3", [
        ((64, 60, 55, 48), 1), ((65, 60, 57, 53), 1), ((67, 62, 59, 55), 1), ((69, 64, 60, 57), 1),
        ((67, 64, 60, 52), 0.5), ((65, 62, 59, 50), 0.5), ((64, 60, 55, 55), 1),
        ((62, 59, 53, 43), 1), ((60, 55, 52, 36), 3),
    ]),
]
WORDS = ["Praise", "the", "sound", "of", "pu", "rer", "thirds"]
PROGRAMS = [19, 19, 19, 19]  # church organ in every voice


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "chorale.mid"
    song = mido.MidiFile(type=1, ticks_per_beat=DIVISION)
    conductor = mido.MidiTrack()
    song.tracks.append(conductor)
    events = [(0, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(72))),
              (0, mido.MetaMessage("time_signature", numerator=4, denominator=4)),
              (0, mido.MetaMessage("key_signature", key="C"))]
    voices = [[] for _ in range(4)]
    tick = 0
    for title, chords in PHRASES:
        events.append((tick, mido.MetaMessage("marker", text=title)))
        for index, (keys, quarters) in enumerate(chords):
            length = int(quarters * DIVISION)
            if index == len(chords) - 1:
                length *= 2
            if title == "Phrase 1" and index < len(WORDS):
                events.append((tick, mido.MetaMessage("lyrics", text=WORDS[index])))
            for voice, key in enumerate(keys):
                # Each voice lets go a little early, so repeated keys restrike.
                voices[voice].append((tick, mido.Message("note_on", channel=voice, note=key,
                                                         velocity=80 - 6 * voice)))
                voices[voice].append((tick + length - 24, mido.Message("note_off", channel=voice,
                                                                       note=key)))
            tick += length
        # The tempo broadens into the last phrase.
        if title == "Phrase 2":
            events.append((tick, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(60))))
    for track_events, program, voice in zip(voices, PROGRAMS, range(4)):
        track = mido.MidiTrack()
        song.tracks.append(track)
        track_events.insert(0, (0, mido.Message("program_change", channel=voice, program=program)))
        Put(track, track_events)
    Put(conductor, events)
    song.save(out)


def Put(track, events):
    last = 0
    for tick, message in sorted(events, key=lambda e: e[0]):
        track.append(message.copy(time=tick - last))
        last = tick


main()
