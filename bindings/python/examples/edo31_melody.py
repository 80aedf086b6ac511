#!/usr/bin/env python3
"""An algorithmic melody in 31-tone equal temperament.

    python3 edo31_melody.py [--wav OUT.wav] [--seed N]

A random walk over the 31 steps of the octave that prefers the small
intervals 31-EDO is known for (the 1-step diesis, the 3-step neutral second,
the 5-step whole tone), over a drone on the 1/1 and the 18-step fifth.
Live on the built-in synthesizer, or rendered with --wav.
"""

import argparse
import random

import microtune

EDO31 = microtune.Scale.from_text(" ".join("%.6f" % (1200.0 * k / 31) for k in range(1, 32)))
STEPS = [-8, -5, -3, -2, -1, 1, 2, 3, 5, 8]
WEIGHTS = [1, 3, 4, 3, 2, 2, 3, 4, 3, 1]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wav", help="render into this WAV file instead of playing live")
    parser.add_argument("--seed", type=int, default=31)
    options = parser.parse_args()
    walk = random.Random(options.seed)

    with microtune.Output(voice="flute", wav=options.wav) as out:
        out.scale = EDO31
        out.one_one = 220.0
        out.chord([-31, -13], velocity=50)  # the drone: the 1/1 an octave down and the fifth above it
        degree = 0
        for _ in range(48):
            degree = max(-10, min(40, degree + walk.choices(STEPS, WEIGHTS)[0]))
            note, bend = out.pitch(degree)
            print("degree %3d  (%2d/31 of an octave)  MIDI note %3d, bend %5d" % (degree, degree % 31, note, bend))
            out.play(degree, velocity=walk.randint(70, 100))
            out.rest(walk.choice([0.2, 0.2, 0.4, 0.6]))
            out.stop(degree)
        out.rest(0.5)


if __name__ == "__main__":
    main()
