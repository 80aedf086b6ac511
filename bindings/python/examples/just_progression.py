#!/usr/bin/env python3
"""A chord progression in five-limit just intonation, rendered to a WAV file.

    python3 just_progression.py [OUT.wav]

I - IV - V7 - I in just C major: every triad is an exact 4:5:6, which no
equal temperament plays. Rendering runs faster than real time.
"""

import sys

import microtune

# Degrees 0..6 of just major: 1/1 9/8 5/4 4/3 3/2 5/3 15/8, then 2/1.
JUST_MAJOR = microtune.Scale.from_text("9/8 5/4 4/3 3/2 5/3 15/8 2/1")
PROGRESSION = [
    [0, 2, 4, 7],       # I   C E G C: 4:5:6:8
    [3, 5, 7, 10],      # IV  F A C F
    [-3, -1, 1, 3],     # V7  G B D F
    [0, 2, 4, 7, 9],    # I   and the 5/4 above
]


def main() -> None:
    wav = sys.argv[1] if len(sys.argv) > 1 else "just-progression.wav"
    with microtune.Output(voice="choir aahs", wav=wav, tempo=75) as out:
        out.scale = JUST_MAJOR
        out.one_one = 261.63  # middle C
        for chord in PROGRESSION:
            out.chord(chord, velocity=90, beats=2)
    print("wrote %s (%.1f s of music)" % (wav, out.elapsed))


if __name__ == "__main__":
    main()
