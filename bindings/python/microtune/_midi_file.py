"""What an output sent, as a Standard MIDI File.

The built-in synthesizer has 32 channels; a MIDI file's port has 16, one of
them the drums. A library channel takes a file channel when it starts a note
and keeps it while it sounds, so that no two bends or instruments ever share
a file channel while sounding; the file channel it takes gets its program,
controllers and bend as they stand. Port 0's channels go first (the one
released longest ago), port 1's (a second track) only while all of port 0's
sound. Percussion keeps channel 9.
"""

import os
import struct
from typing import Dict, List, Sequence, Tuple

__all__ = ["Sent", "write"]

#: (seconds on the output's clock, library channel, status, data1, data2), as the tap saw it.
Sent = Tuple[float, int, int, int, int]

_DIVISION = 960  # ticks per beat
_PERCUSSION = 9
_PORT = 16
# RPN 0, the pitch-bend range, set to the library's 2 semitones; then the null RPN.
_BEND_RANGE = ((101, 0), (100, 0), (6, 2), (38, 0), (101, 127), (100, 127))
_RESTATED = (0xC0, 0xB0, 0xE0)


class _Channel:
    def __init__(self) -> None:
        self.file = -1  # library channel: its file channel; file channel: the library channel on it
        self.sounding = 0
        self.released = -1
        self.used = False
        self.state = {}  # type: Dict[Tuple[int, int], Tuple[int, int]]  # (kind, controller): data

    def remember(self, kind: int, data1: int, data2: int) -> None:
        if kind in (0xC0, 0xE0):
            self.state[(kind, 0)] = (data1, data2)
        elif kind == 0xB0:
            self.state[(kind, data1)] = (data1, data2)


class _Folder:
    def __init__(self) -> None:
        self.library = [_Channel() for _ in range(2 * _PORT)]
        self.files = [_Channel() for _ in range(2 * _PORT)]
        self.library[_PERCUSSION].file = self.files[_PERCUSSION].file = _PERCUSSION
        self.placed = []  # type: List[Tuple[int, int, int, int, int]]  # tick, file channel, kind, data

    def add(self, tick: int, channel: int, kind: int, data1: int, data2: int) -> None:
        source = self.library[channel]
        on = kind == 0x90 and data2 > 0
        if on and source.file < 0:
            self._take(tick, channel)
        if on:
            source.sounding += 1
        elif kind in (0x80, 0x90) and source.sounding > 0:
            source.sounding -= 1
            if source.sounding == 0 and source.file >= 0:
                self.files[source.file].released = tick
        source.remember(kind, data1, data2)
        if source.file >= 0:
            self._send(tick, source.file, kind, data1, data2)

    def _send(self, tick: int, file: int, kind: int, data1: int, data2: int) -> None:
        self.files[file].used = True
        self.files[file].remember(kind, data1, data2)
        self.placed.append((tick, file, kind, data1, data2))

    def _take(self, tick: int, channel: int) -> None:
        def rank(f: int) -> Tuple[bool, int]:
            return f >= _PORT, self.files[f].released

        free = [f for f in range(2 * _PORT) if f % _PORT != _PERCUSSION and not
                (self.files[f].file >= 0 and self.library[self.files[f].file].sounding > 0)]
        # Every other file channel sounds: port 1's drum channel, as the host's writer does.
        best = min(free, key=rank) if free else _PERCUSSION + _PORT
        holder = self.files[best].file
        if holder >= 0:
            self.library[holder].file = -1
        self.files[best].file = channel
        source = self.library[channel]
        source.file = best
        target = self.files[best].state
        # Program, controllers, then bend, before the note-on.
        for key, (data1, data2) in sorted(source.state.items(), key=lambda item: _RESTATED.index(item[0][0])):
            if target.get(key) != (data1, data2):
                self._send(tick, best, key[0], data1, data2)


def _number(value: int) -> bytes:
    """A variable-length quantity."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def _track(events: Sequence[Tuple[int, bytes]], end: int) -> bytes:
    body, last = bytearray(), 0
    for tick, data in sorted(events, key=lambda event: event[0]):
        body += _number(tick - last) + data
        last = tick
    body += _number(max(end - last, 0)) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


def _data(kind: int, data1: int, data2: int) -> Tuple[int, int]:
    """The data bytes as the wire carries them: values clamped as the library clamps, program and bend masked."""
    def clamp(value: int) -> int:
        return min(max(value, 0), 127)

    if kind == 0xC0:
        return data1 & 0x7F, 0
    if kind == 0xE0:
        return data1 & 0x7F, data2 & 0x7F
    return clamp(data1), clamp(data2)


def write(path: str, sent: Sequence[Sent], tempo: float, end_seconds: float) -> None:
    ticks_per_second = _DIVISION * tempo / 60.0
    folder = _Folder()
    for seconds, channel, status, data1, data2 in list(sent):
        if 0 <= channel < 2 * _PORT:
            kind = status & 0xF0
            folder.add(round(seconds * ticks_per_second), channel, kind, *_data(kind, data1, data2))
    end = max([round(end_seconds * ticks_per_second)] + [p[0] for p in folder.placed])
    tracks = ([], [])  # type: Tuple[List[Tuple[int, bytes]], List[Tuple[int, bytes]]]
    microseconds = min(max(round(60e6 / tempo), 1), 0xFFFFFF)
    tracks[0].append((0, b"\xff\x51\x03" + microseconds.to_bytes(3, "big")))
    for f, held in enumerate(folder.files):
        if held.used and f != _PERCUSSION:
            tracks[f // _PORT].extend((0, bytes((0xB0 | f % _PORT, c, v))) for c, v in _BEND_RANGE)
    for tick, f, kind, data1, data2 in folder.placed:
        message = bytes((kind | f % _PORT, data1)) if kind in (0xC0, 0xD0) else bytes((kind | f % _PORT, data1, data2))
        tracks[f // _PORT].append((tick, message))
    chunks = [_track(tracks[0], end)]
    if tracks[1]:
        chunks.append(_track([(0, b"\xff\x21\x01\x01")] + tracks[1], end))  # port 1
    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(chunks), _DIVISION) + b"".join(chunks)
    # Written beside and renamed, so that a file is never left half written.
    temporary = "%s.%d.tmp" % (path, os.getpid())
    try:
        with open(temporary, "wb") as file:
            file.write(data)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.remove(temporary)
        raise
