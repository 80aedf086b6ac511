#!/usr/bin/env python3
"""A two-part piece in 31-tone equal temperament with a glide, rendered to WAV and saved as MIDI.

    python3 edo31_two_parts.py [OUT.wav] [OUT.mid]

A clarinet line over string chords, written in beats at a tempo; the line
ends gliding from the neutral third (9 steps of 31) up to the major third
(10 steps). Runs from any folder: the scale shipped with microtune is found
by its bare name. Rendering runs far faster than real time.
"""

import sys

import microtune

# 31-EDO steps above C: 5 D, 10 E, 13 F, 18 G, 23 A, 25 the harmonic seventh, 28 B, 31 C.
CHORDS = [[-31, 0, 10, 18], [-18, 13, 23, 31], [-13, 18, 28, 36, 43], [-31, 0, 10, 18]]
LINE = [(41, 1), (36, 1), (41, 2), (49, 1.5), (54, 0.5), (49, 1), (43, 1), (36, 2), (28, 1), (31, 1)]


def main() -> None:
    wav = sys.argv[1] if len(sys.argv) > 1 else "edo31-two-parts.wav"
    mid = sys.argv[2] if len(sys.argv) > 2 else "edo31-two-parts.mid"
    with microtune.Output(voice="strings", wav=wav, tempo=84) as out:
        out.scale = microtune.Scale.from_file("31-edo.scl")
        clarinet = out.part("clarinet", volume=110, pan=80)
        for chord in CHORDS:
            out.chord(chord, velocity=60, beats=4)
        for degree, beats in LINE:
            clarinet.play(degree, velocity=90, beats=beats)
        neutral, major = (1200.0 + 1200.0 * steps / 31 for steps in (9, 10))
        clarinet.play_cents(neutral, velocity=90, beats=4, glide_to=major)
    out.save_midi(mid)
    print("wrote %s and %s (%.1f s of music)" % (wav, mid, out.elapsed))


if __name__ == "__main__":
    main()
