"""A part: an instrument of its own that plays beside the output's other parts."""

from typing import TYPE_CHECKING, Dict, Iterable, Optional, Union

from .catalogue import Voice, find_voice

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
    """

    def __init__(self, output: "Output", number: int, voice: Voice) -> None:
        self._output = output
        self._number = number
        self._voice = voice
        self._controllers = {}  # type: Dict[str, int]

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

    def play(self, degree: int, velocity: int = 100) -> int:
        """Starts a scale degree on this part; returns the number of notes in play."""
        return self._output._play(self._number, degree, velocity)

    def chord(self, degrees: Iterable[int], velocity: int = 100) -> int:
        """Starts several degrees at once on this part; returns the number of notes in play."""
        count = 0
        for degree in list(degrees):
            count = self.play(degree, velocity)
        return count

    def stop(self, degree: int, velocity: int = 0) -> None:
        """Stops this part's oldest note of a degree, never another part's."""
        self._output._stop(self._number, degree, velocity)

    def _get(self, name: str) -> Optional[int]:
        return self._controllers.get(name)

    def _set(self, name: str, value: int) -> None:
        if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value <= 127:
            raise ValueError("%s is a whole number from 0 to 127, not %r" % (name, value))
        self._output._set_part_controller(self._number, PART_CONTROLLERS[name], value)
        self._controllers[name] = value

    def __repr__(self) -> str:
        return "<microtune.Part %d %s>" % (self._number, self._voice.name)


def _controller_property(name: str) -> property:
    def getter(part: Part) -> Optional[int]:
        return part._get(name)

    def setter(part: Part, value: int) -> None:
        part._set(name, value)

    return property(getter, setter, doc="The part's %s (0-127; None until set: the synthesizer's own)." % name)


for _name in PART_CONTROLLERS:
    setattr(Part, _name, _controller_property(_name))
