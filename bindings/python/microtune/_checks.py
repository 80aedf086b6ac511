"""Checking what a caller passes before it reaches the library, where ctypes would truncate or wrap it."""

import math
import numbers
import operator
import os
import sys
import warnings
from typing import Any

__all__ = ["whole", "degree", "velocity", "controller", "real", "positive", "hz_text", "warn_beyond_midi",
           "LOWEST_HZ", "HIGHEST_HZ"]

_INT_MIN, _INT_MAX = -2 ** 31, 2 ** 31 - 1
#: What MIDI notes reach with a 2-semitone bend: note 0 bent down, note 127 bent up.
LOWEST_HZ = 7.284239274570463
HIGHEST_HZ = 14080.0


def whole(value: Any, what: str, hint: str = "") -> int:
    """An integral number (Python's or numpy's); TypeError for anything else."""
    if not isinstance(value, (bool, str, bytes)):
        try:
            return operator.index(value)
        except TypeError:
            pass
    if isinstance(value, numbers.Real) and not isinstance(value, bool):
        raise TypeError("%s is a whole number, not %r%s" % (what, value, hint))
    raise TypeError("%s is a whole number, not %s %r" % (what, type(value).__name__, value))


def degree(value: Any) -> int:
    """A scale degree: any whole number the library's int holds."""
    number = whole(value, "a degree", ": play_hz, play_midi and play_cents play any pitch")
    if not _INT_MIN <= number <= _INT_MAX:
        raise ValueError("degree %d is beyond the degrees the library counts (%d to %d)" % (number, _INT_MIN, _INT_MAX))
    return number


def velocity(value: Any, lowest: int = 1) -> int:
    number = whole(value, "a velocity")
    if not lowest <= number <= 127:
        raise ValueError("a velocity is a whole number from %d to 127, not %d" % (lowest, number))
    return number


def controller(value: Any, name: str) -> int:
    number = whole(value, name)
    if not 0 <= number <= 127:
        raise ValueError("%s is a whole number from 0 to 127, not %d" % (name, number))
    return number


def real(value: Any, what: str) -> float:
    """A finite real number (Python's, numpy's, a Fraction); TypeError for text and flags."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError("%s is a number, not %s %r" % (what, type(value).__name__, value))
    number = float(value)
    if not math.isfinite(number):
        raise ValueError("%s is a finite number, not %r" % (what, number))
    return number


def positive(value: Any, what: str, zero: bool = False) -> float:
    number = real(value, what)
    if number < 0.0 or (number == 0.0 and not zero):
        raise ValueError("%s is %s 0, not %r" % (what, "at least" if zero else "above", number))
    return number


def hz_text(hz: float) -> str:
    return "%.4g kHz" % (hz / 1000.0) if abs(hz) >= 10000.0 else "%.4g Hz" % hz


def warn_beyond_midi(what: str, hz: float) -> None:
    """Warns, as the microtune host does, of a pitch the library plays at the nearest one MIDI reaches."""
    if LOWEST_HZ <= hz <= HIGHEST_HZ:
        return
    low = hz < LOWEST_HZ
    # Pointing at the caller's line, however deep in the package the check ran.
    frame, level, package = sys._getframe(0), 1, os.path.dirname(__file__)
    while frame.f_back is not None and os.path.dirname(frame.f_code.co_filename) == package:
        frame, level = frame.f_back, level + 1
    warnings.warn("%s is %s, %s what MIDI notes reach: the library plays it at %s"
                  % (what, hz_text(hz), "below" if low else "above", hz_text(LOWEST_HZ if low else HIGHEST_HZ)),
                  stacklevel=level)
