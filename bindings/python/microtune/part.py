"""A part: an instrument of its own that plays beside the output's other parts."""

from typing import TYPE_CHECKING, Dict, Iterable, Optional, Union

from . import _checks
from .catalogue import Voice, find_voice
from .performance import Note

if TYPE_CHECKING:
    from .output import Output

__all__ = ["Part", "PART_CONTROLLERS"]

#: The controllers that follow a part, by the name of their property.
PART_CONTROLLERS = {"modulation": 1, "volume": 7, "pan": 10, "expression": 11, "reverb": 91, "chorus": 93}


class Part:
    """An instrument of its own: ``strings = out.part("strings", volume=90, pan=30)``.

    Its notes sound on channels of their own, with its voice and its
    controllers, beside every other part's notes and at the same scale and
    1/1: a flute line over a string chord. Changing a part's voice or a
    controller reaches its sounding notes at once and never another part's.
    Made by :meth:`Output.part`; the output's own ``play``, ``stop`` and
    ``chord`` play part 0.

    Parts play in time: ``flute.play(4, beats=1)`` schedules the degree for
    a beat at the part's own cursor (each part has one), ``flute.rest(1)``
    moves it on, and :meth:`Output.perform` plays every part together.
    """

    def __init__(self, output: "Output", number: int, voice: Voice) -> None:
        self._output = output
        self._number = number
        self._voice = voice
        self._controllers = {}  # type: Dict[str, int]
        self._cursor = 0.0  # where the part's next scheduled call starts, on the output's clock

    @property
    def number(self) -> int:
        """The library's number of this part, 1-15 (0 is the output's own)."""
        return self._number

    @property
    def voice(self) -> Voice:
        """The part's General MIDI voice; set a number or a whole or partial name."""
        return self._voice

    @voice.setter
    def voice(self, voice: Union[int, str]) -> None:
        chosen = find_voice(voice)
        self._output._set_part_voice(self._number, chosen.number)
        self._voice = chosen

    # With ``beats``, a call is scheduled at the part's own cursor, which it
    # moves on: :meth:`Output.perform` plays it. Without, it plays now.

    def play(self, degree: int, velocity: int = 100, *, beats: Optional[float] = None) -> Optional[Note]:
        """A scale degree: for ``beats`` at the part's cursor, or now, returning the :class:`Note`.

        A degree is a whole number (numpy's too); a float raises TypeError
        (:meth:`play_hz`, :meth:`play_midi` and :meth:`play_cents` play any
        pitch). A scheduled degree keeps the scale and 1/1 of the moment it
        was scheduled.
        """
        return self._output._play_degrees(self, [degree], velocity, beats)

    def chord(self, degrees: Iterable[int], velocity: int = 100, *, beats: Optional[float] = None) -> Optional[Note]:
        """Several degrees at once, scheduled or now (one :class:`Note` stops them all)."""
        return self._output._play_degrees(self, list(degrees), velocity, beats)

    def play_hz(self, hz: float, velocity: int = 100, *, beats: Optional[float] = None,
                glide_to: Optional[float] = None) -> Optional[Note]:
        """A frequency in Hz, scheduled or now; ``glide_to`` (Hz) glides to it over the beats."""
        hz = _checks.positive(hz, "a frequency")
        glide = None if glide_to is None else _checks.positive(glide_to, "glide_to")
        return self._output._play_pitch(self, "the pitch", hz, glide, velocity, beats)

    def play_midi(self, pitch: float, velocity: int = 100, *, beats: Optional[float] = None,
                  glide_to: Optional[float] = None) -> Optional[Note]:
        """A MIDI pitch with a fraction, 67.3 being G4 and 30 cents, scheduled or now; ``glide_to`` likewise."""
        pitch = _checks.real(pitch, "a MIDI pitch")
        glide = None if glide_to is None else _midi_hz(_checks.real(glide_to, "glide_to"))
        return self._output._play_pitch(self, "MIDI pitch %g" % pitch, _midi_hz(pitch), glide, velocity, beats)

    def play_cents(self, cents: float, velocity: int = 100, *, beats: Optional[float] = None,
                   glide_to: Optional[float] = None) -> Optional[Note]:
        """A pitch in cents above the 1/1, scheduled or now; ``glide_to`` likewise."""
        cents = _checks.real(cents, "cents")
        glide = None if glide_to is None else self._output._cents_hz(_checks.real(glide_to, "glide_to"))
        return self._output._play_pitch(self, "%g cents" % cents, self._output._cents_hz(cents), glide, velocity,
                                        beats)

    def rest(self, beats: float) -> None:
        """Moves the part's cursor on by ``beats`` of silence."""
        self._output._rest_part(self, beats)

    def stop(self, degree: int, velocity: int = 0) -> None:
        """Stops this part's oldest note of a degree, never another part's."""
        self._output._stop(self._number, _checks.degree(degree), _checks.velocity(velocity, 0))

    def _get(self, name: str) -> Optional[int]:
        return self._controllers.get(name)

    def _set(self, name: str, value: int) -> None:
        value = _checks.controller(value, name)
        self._output._set_part_controller(self._number, PART_CONTROLLERS[name], value)
        self._controllers[name] = value

    def __repr__(self) -> str:
        return "<microtune.Part %d %s>" % (self._number, self._voice.name)


def _midi_hz(pitch: float) -> float:
    return float(440.0 * 2.0 ** ((pitch - 69.0) / 12.0))


def _controller_property(name: str) -> property:
    def getter(part: Part) -> Optional[int]:
        return part._get(name)

    def setter(part: Part, value: int) -> None:
        part._set(name, value)

    return property(getter, setter, doc="The part's %s (0-127; None until set: the synthesizer's own)." % name)


for _name in PART_CONTROLLERS:
    setattr(Part, _name, _controller_property(_name))
