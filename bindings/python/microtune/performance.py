"""Notes in time: what the parts scheduled, played in time order, and the notes played now."""

import heapq
import itertools
import math
from typing import Callable, Dict, Iterator, List, Optional, Tuple

__all__ = ["Note", "Performance", "OWN_CHANNEL"]

#: MicrotunePlayPartFrequency's flag: a channel of the note's own, which a glide may bend.
OWN_CHANNEL = 1
# At one time, notes end before others start (a note repeated legato must
# not be cut by its own end), and glides move between.
_OFF, _GLIDE, _ON = 0, 1, 2
# A glide sends a bend at most every 10 ms, and no more bends than it has bend units to move by.
_GLIDE_STEPS_PER_SECOND = 100
_BEND_UNITS_PER_CENT = 4096 / 100.0

Play = Callable[[int, float, int, int], int]


class Note(int):
    """A note sounding now, from a call without ``beats``: :meth:`stop` ends it.

    It is also the number the library returned for it: the number of notes
    in play for a degree (what ``play`` always returned), the library's
    handle of the note for a pitch.
    """

    _stopper = None  # type: Optional[Callable[[int], None]]

    def __new__(cls, value: int, stopper: Callable[[int], None]) -> "Note":
        note = super().__new__(cls, value)
        note._stopper = stopper
        return note

    def stop(self, velocity: int = 0) -> None:
        """Ends the note (a chord: each of its notes); a second stop does nothing."""
        stopper, self._stopper = self._stopper, None
        if stopper is not None:
            stopper(velocity)


class Performance:
    """The scheduled notes of an output, as events on its clock (seconds)."""

    def __init__(self, play: Play, stop: Callable[[int], int], glide: Callable[[int, float], int]) -> None:
        self._play, self._stop, self._glide = play, stop, glide
        self._events = []  # type: List[Tuple[float, int, int, Callable[[], None]]]
        self._order = itertools.count()
        self._handles = {}  # type: Dict[int, int]

    def __len__(self) -> int:
        return len(self._events)

    def note(self, start: float, seconds: float, part: int, hz: float, velocity: int,
             glide_hz: Optional[float] = None) -> None:
        """A note from start for seconds; a glide moves it evenly, in pitch, to glide_hz."""
        key = next(self._order)
        flags = OWN_CHANNEL if glide_hz is not None else 0
        self._add(start, _ON, lambda: self._started(key, self._play(part, hz, velocity, flags)))
        if glide_hz is not None:
            cents = 1200.0 * math.log2(glide_hz / hz)
            steps = max(1, min(round(seconds * _GLIDE_STEPS_PER_SECOND), round(abs(cents) * _BEND_UNITS_PER_CENT)))
            # The last step reaches the pitch one step before the note ends, so that it is heard.
            step = seconds / (steps + 1)
            for k in range(1, steps + 1):
                target = hz * 2.0 ** (cents * k / steps / 1200.0)
                self._add(start + k * step, _GLIDE, self._glide_action(key, target))
        self._add(start + seconds, _OFF, lambda: self._ended(key))

    def earliest(self) -> Optional[float]:
        return self._events[0][0] if self._events else None

    def latest(self) -> Optional[float]:
        return max(event[0] for event in self._events) if self._events else None

    def shift(self, seconds: float) -> None:
        """Moves every event later (a live performance that starts late keeps its rhythm)."""
        self._events = [(t + seconds, kind, order, action) for t, kind, order, action in self._events]
        heapq.heapify(self._events)

    def due(self, until: float) -> Iterator[Tuple[float, Callable[[], None]]]:
        """Takes the events up to until, in time order."""
        while self._events and self._events[0][0] <= until:
            time, _kind, _order, action = heapq.heappop(self._events)
            yield time, action

    def clear(self) -> None:
        self._events = []
        self._handles.clear()

    def _add(self, time: float, kind: int, action: Callable[[], None]) -> None:
        heapq.heappush(self._events, (time, kind, next(self._order), action))

    def _glide_action(self, key: int, hz: float) -> Callable[[], None]:
        return lambda: self._glided(key, hz)

    def _started(self, key: int, handle: int) -> None:
        if handle > 0:  # 0: the notes in play are full, and the note does not sound
            self._handles[key] = handle

    def _glided(self, key: int, hz: float) -> None:
        handle = self._handles.get(key)
        if handle is not None:
            self._glide(handle, hz)

    def _ended(self, key: int) -> None:
        handle = self._handles.pop(key, None)
        if handle is not None:
            self._stop(handle)
