#!/usr/bin/env python3
"""Retunes a mido message stream through microtune's message tap.

    python3 mido_retune.py [IN.mid] [--scale FILE.scl] [-o OUT.mid] [--wav OUT.wav]

Every note-on and note-off of the input (a MIDI file, or a short example
stream when none is given) plays scale degree key - 60 through the library;
the tap hears the notes and pitch bends the library sends, which become the
retuned MIDI file. Notes on library channels 16-31 go to a second track
that starts on MIDI port 1. Without --wav nothing sounds, and the stream is
retuned as fast as the library runs.
"""

import argparse
import os
from typing import Any, Iterator

import mido  # type: ignore[import]

import microtune

ROOT = 60
TICKS_PER_BEAT = 480
TEMPO = 500000  # microseconds per beat: 120 beats per minute
DEFAULT_SCALE = "just12.scl"  # shipped with microtune: found by its bare name


def example_stream() -> Iterator[Any]:
    """A C major scale up and a C major triad, as mido messages timed in seconds."""
    for key in (60, 62, 64, 65, 67, 69, 71, 72):
        yield mido.Message("note_on", note=key, velocity=90, time=0.0)
        yield mido.Message("note_off", note=key, velocity=0, time=0.25)
    for key in (60, 64, 67):
        yield mido.Message("note_on", note=key, velocity=80, time=0.0)
    for key in (60, 64, 67):
        yield mido.Message("note_off", note=key, velocity=0, time=1.0 if key == 60 else 0.0)


def to_mido(message: microtune.Message, time: int) -> mido.Message:
    channel = message.channel % 16
    if message.kind == 0x90:
        return mido.Message("note_on", channel=channel, note=message.data1, velocity=message.data2, time=time)
    if message.kind == 0x80:
        return mido.Message("note_off", channel=channel, note=message.data1, velocity=message.data2, time=time)
    if message.kind == 0xE0:
        pitch = (message.data1 | message.data2 << 7) - 8192
        return mido.Message("pitchwheel", channel=channel, pitch=pitch, time=time)
    if message.kind == 0xC0:
        return mido.Message("program_change", channel=channel, program=message.data1, time=time)
    return mido.Message("control_change", channel=channel, control=message.data1, value=message.data2, time=time)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("input", nargs="?", help="a MIDI file (default: an example stream)")
    parser.add_argument("--scale", default=DEFAULT_SCALE, help="a Scala file")
    parser.add_argument("-o", "--output", default="retuned.mid")
    parser.add_argument("--wav", help="also render what plays into this WAV file")
    options = parser.parse_args()

    stream = mido.MidiFile(options.input) if options.input else example_stream()
    if not options.wav:
        os.environ["MICROTUNE_SYNTH_OUTPUT"] = "none"  # the built-in synthesizer only listens
    tracks = [mido.MidiTrack(), mido.MidiTrack()]
    tracks[0].append(mido.MetaMessage("set_tempo", tempo=TEMPO))
    tracks[1].append(mido.MetaMessage("midi_port", port=1))
    last_tick = [0, 0]
    now = [0.0]

    def record(message: microtune.Message) -> None:
        tick = round(mido.second2tick(now[0], TICKS_PER_BEAT, TEMPO))
        track = message.channel // 16
        tracks[track].append(to_mido(message, tick - last_tick[track]))
        last_tick[track] = tick

    with microtune.Output(voice="acoustic grand piano", wav=options.wav, on_message=record) as out:
        out.scale = microtune.Scale.from_scl(options.scale)
        for message in stream:
            if message.time:
                now[0] += message.time
                if options.wav:
                    out.rest(message.time)
            if message.type == "note_on" and message.velocity > 0:
                out.play(message.note - ROOT, message.velocity)
            elif message.type in ("note_off", "note_on"):
                out.stop(message.note - ROOT)
    midi = mido.MidiFile(ticks_per_beat=TICKS_PER_BEAT)
    midi.tracks.append(tracks[0])
    if len(tracks[1]) > 1:
        midi.tracks.append(tracks[1])
    midi.save(options.output)
    print("wrote %s: %d messages" % (options.output, sum(len(t) for t in midi.tracks)))


if __name__ == "__main__":
    main()
