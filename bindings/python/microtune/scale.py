"""Scales and keyboard maps: a scale text, or a tuning file read by the library.

A scale text is a list of white-space separated tokens: ``5/4`` a ratio,
``386.3137`` cents (any token with a ``.``), ``3`` a whole-number ratio,
``700 cents``, ``n(7/12)`` a power of two, and ``h`` (the next value
replaces the 1/1). Degree 0 is the 1/1; the last value is the period.

Files are read by the library's own reader (``microtune_files.h``), the one
the ``microtune`` host uses: Scala ``.scl``, Ableton ``.ascl``, AnaMark
``.tun`` and Scala keyboard maps ``.kbm``, with the host's messages.
"""

import ctypes
import math
import os
from pathlib import Path
from typing import List, Optional, Sequence, Tuple, Union

from . import _library
from .errors import ScaleError

__all__ = ["Scale", "KeyboardMap"]

# The parser writes at most 1023 entries.
_MAX_ENTRIES = 1023
_SEPARATORS = " \t\n\v\r"
_KEYS = 128
_MAX_MAP_SIZE = 1024
_UNMAPPED = -2147483648
# The library's buffer sizes (microtune_files.h).
_SCALE_TEXT_SIZE = 104448
_MESSAGE_SIZE = 8192

PathLike = Union[str, "os.PathLike[str]"]


class _ScaleFile(ctypes.Structure):
    _fields_ = [("format", ctypes.c_int), ("pitches", ctypes.c_int),
                ("description", ctypes.c_char * 1024), ("one_one_hz", ctypes.c_double),
                ("reference_octave", ctypes.c_int), ("reference_degree", ctypes.c_int),
                ("reference_hz", ctypes.c_double), ("note_names", ctypes.c_char * 4096),
                ("full_keyboard", ctypes.c_int), ("key_hz", ctypes.c_double * _KEYS)]


class _KeyboardMap(ctypes.Structure):
    _fields_ = [("size", ctypes.c_int), ("first_key", ctypes.c_int), ("last_key", ctypes.c_int),
                ("middle_key", ctypes.c_int), ("reference_key", ctypes.c_int),
                ("reference_hz", ctypes.c_double), ("octave_degree", ctypes.c_int),
                ("reference_line", ctypes.c_int), ("mapping", ctypes.c_int * _MAX_MAP_SIZE)]


def _printable(text: str, limit: int = 40) -> str:
    out = "".join("?" if ord(c) < 0x20 or c == "\x7f" else c for c in text[:limit])
    return out + "..." if len(text) > limit else out


def _utf8(data: bytes) -> str:
    return data.decode("utf-8", errors="replace")


def _parse(text: str) -> Tuple[float, ...]:
    """The entries the library's parser reads from a scale text."""
    library = _library.lib()
    ratios = (ctypes.c_double * (_MAX_ENTRIES + 1))()
    count = ctypes.c_int(0)
    library.GetScaleFromText(ratios, ctypes.byref(count), text.encode("utf-8"), _MAX_ENTRIES + 1)
    return tuple(ratios[: max(count.value, 0)])


def _shipped_folders() -> List[Path]:
    """Where the scales installed with microtune are, nearest first."""
    folders = []  # type: List[Path]
    for start in (Path(os.path.realpath(_library.library_path())), Path(__file__).resolve()):
        for ancestor in start.parents:
            for folder in (ancestor / "share" / "microtune" / "scales", ancestor / "tools" / "microtune" / "scales"):
                if folder.is_dir() and folder not in folders:
                    folders.append(folder)
    return folders


def _resolve(path: PathLike) -> str:
    """A path as given, or the shipped file of that bare name (as the host finds them)."""
    name = os.fspath(path)
    if not name or os.sep in name or (os.altsep and os.altsep in name) or os.path.exists(name):
        return name
    for folder in _shipped_folders():
        if (folder / name).is_file():
            return str(folder / name)
    return name


def _check(text: str) -> Optional[str]:
    problem = ctypes.create_string_buffer(_MESSAGE_SIZE)
    if _library.ext("MicrotuneCheckScaleText")(text.encode("utf-8"), problem, _MESSAGE_SIZE):
        return None
    return _utf8(problem.value)


class Scale:
    """A tuning: the ratios of one period, from the 1/1 (entry 0) to the period (last).

    Make one with :meth:`from_text` or :meth:`from_file`; install it with
    ``output.scale = scale``. A scale is immutable.
    """

    __slots__ = ("_text", "_ratios", "_description", "_one_one", "_note_names", "_key_hz")

    def __init__(self, text: str, ratios: Sequence[float], description: str = "", one_one: Optional[float] = None,
                 note_names: Sequence[str] = (), key_hz: Optional[Sequence[float]] = None) -> None:
        self._text = text
        self._ratios = tuple(float(r) for r in ratios)
        self._description = description
        self._one_one = one_one
        self._note_names = tuple(note_names)
        self._key_hz = tuple(key_hz) if key_hz is not None else None

    @classmethod
    def from_text(cls, text: str) -> "Scale":
        """Reads a scale text with the library's parser.

        A word that the library would silently skip (a word that is not a
        pitch, a ratio of 0 or below, a division by zero) raises
        :class:`~microtune.errors.ScaleError` naming the word and its position.

        >>> Scale.from_text("9/8 5/4 4/3 3/2 5/3 15/8 2/1").ratio(9)
        2.5
        """
        if not isinstance(text, str):
            raise TypeError("a scale text is a str, not %s" % type(text).__name__)
        if not text.strip(_SEPARATORS):
            raise ScaleError("empty scale text")
        problem = _check(text)
        if problem:
            raise ScaleError("scale text %s" % problem)
        return cls(text, _parse(text))

    @classmethod
    def from_file(cls, path: PathLike) -> "Scale":
        """Reads a tuning file with the library's reader, by its extension.

        ``.scl`` (and any other name): Scala. ``!`` starts a comment line; the
        first other line is the description, the next the number of pitches,
        then one pitch per line: a value with a ``.`` is in cents, otherwise a
        ratio (``3/2``, also ``3 / 2``) or a whole number; text after the
        value is ignored. ``.ascl``: Scala with Ableton's ``! @ABL``
        directives; its reference pitch sets :attr:`one_one` and its note
        names :attr:`note_names`. ``.tun``: AnaMark's table of the 128 keys,
        a scale whose degree k is key k (:attr:`key_hz`), from the 1/1 of
        key 0. A bare name that is no file here is looked up among the
        scales installed with microtune. Descriptions are UTF-8. A malformed
        file raises :class:`~microtune.errors.ScaleError` as
        ``file:line: what is wrong``.
        """
        name = _resolve(path)
        file = _ScaleFile()
        text = ctypes.create_string_buffer(_SCALE_TEXT_SIZE)
        error = ctypes.create_string_buffer(_MESSAGE_SIZE)
        if not _library.ext("MicrotuneReadScaleFile")(os.fsencode(name), 0, ctypes.byref(file), text,
                                                      _SCALE_TEXT_SIZE, error, _MESSAGE_SIZE):
            raise ScaleError(_utf8(error.value))
        scale_text = _utf8(text.value)
        names = [n for n in _utf8(file.note_names).split("\n") if n]
        return cls(scale_text, _parse(scale_text), _utf8(file.description),
                   file.one_one_hz if file.one_one_hz > 0 else None, names,
                   tuple(file.key_hz) if file.full_keyboard else None)

    @classmethod
    def from_scl(cls, path: PathLike) -> "Scale":
        """Reads a Scala ``.scl`` file (see :meth:`from_file`)."""
        return cls.from_file(path)

    @property
    def text(self) -> str:
        """The scale text the library installs."""
        return self._text

    @property
    def description(self) -> str:
        """The description line of a Scala file ('' for a scale text)."""
        return self._description

    @property
    def one_one(self) -> Optional[float]:
        """The 1/1 in Hz that the file sets (an ``.ascl``'s reference pitch, a ``.tun``'s key 0), or None."""
        return self._one_one

    @property
    def note_names(self) -> Tuple[str, ...]:
        """An ``.ascl``'s note names, one per degree ('' for none)."""
        return self._note_names

    @property
    def key_hz(self) -> Optional[Tuple[float, ...]]:
        """A ``.tun``'s 128 key frequencies (key k plays degree k), or None."""
        return self._key_hz

    @property
    def size(self) -> int:
        """The degrees per period, as a keyboard map counts them (0: no period)."""
        return int(_library.ext("MicrotuneScaleSize")((ctypes.c_double * max(len(self._ratios), 1))(*self._ratios),
                                                     len(self._ratios)))

    @property
    def ratios(self) -> Tuple[float, ...]:
        """The entries: the 1/1 first, the period last."""
        return self._ratios

    @property
    def cents(self) -> Tuple[float, ...]:
        """The entries in cents above the 1/1."""
        return tuple(1200.0 * math.log2(r) if r > 0 else math.nan for r in self._ratios)

    def __len__(self) -> int:
        """The number of entries, the 1/1 and the period included."""
        return len(self._ratios)

    def ratio(self, degree: int) -> float:
        """The ratio of a degree to the 1/1, by the library's rule.

        Degrees repeat by the period; a negative degree counts down from the
        1/1. When entry 0 is not the 1/1 (a text ``h 2``), degree k is the
        linear series 1 + k(e0 - 1), and 1 / (1 + |k|(e0 - 1)) downward.
        """
        return _ratio_for_degree(self._ratios, int(degree))

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Scale) and self._ratios == other._ratios

    def __hash__(self) -> int:
        return hash(self._ratios)

    def __repr__(self) -> str:
        return "Scale.from_text(%r)" % self._text


def _ratio_for_degree(ratios: Sequence[float], k: int) -> float:
    """The library's own degree rule (MicrotuneRatioForScaleDegree)."""
    table = (ctypes.c_double * max(len(ratios), 1))(*ratios)
    ratio = ctypes.c_double(1.0)
    _library.ext("MicrotuneRatioForScaleDegree")(table, len(ratios), k, ctypes.byref(ratio))
    return ratio.value


class KeyboardMap:
    """A Scala keyboard map: which MIDI key plays which degree, read by the library.

    ``KeyboardMap.from_file("white-keys-7.kbm")`` (a bare name finds the
    installed maps); ``KeyboardMap.linear(root)`` is key k playing degree
    k - root. :meth:`degree` gives a key's degree for a scale.
    """

    __slots__ = ("_map", "_name")

    def __init__(self, map_: _KeyboardMap, name: str = "") -> None:
        self._map = map_
        self._name = name

    @classmethod
    def from_file(cls, path: PathLike) -> "KeyboardMap":
        """Reads a ``.kbm`` file; a malformed one raises ScaleError ``file:line: what``."""
        name = _resolve(path)
        map_ = _KeyboardMap()
        error = ctypes.create_string_buffer(_MESSAGE_SIZE)
        if not _library.ext("MicrotuneReadKeyboardMapFile")(os.fsencode(name), ctypes.byref(map_), error,
                                                            _MESSAGE_SIZE):
            raise ScaleError(_utf8(error.value))
        return cls(map_, name)

    @classmethod
    def linear(cls, root: int = 60) -> "KeyboardMap":
        """Key k plays degree k - root on every key."""
        map_ = _KeyboardMap()
        _library.ext("MicrotuneLinearKeyboardMap")(int(root), ctypes.byref(map_))
        return cls(map_)

    @property
    def size(self) -> int:
        """Keys in the repeating pattern; 0 for a linear map."""
        return int(self._map.size)

    @property
    def keys(self) -> range:
        """The keys the map retunes."""
        return range(self._map.first_key, self._map.last_key + 1)

    @property
    def middle_key(self) -> int:
        return int(self._map.middle_key)

    @property
    def reference(self) -> Optional[Tuple[int, float]]:
        """The reference key and its frequency in Hz, or None."""
        return (int(self._map.reference_key), float(self._map.reference_hz)) if self._map.reference_hz > 0 else None

    @property
    def octave_degree(self) -> int:
        """The degrees one pattern repeat moves by (0: the scale's size)."""
        return int(self._map.octave_degree)

    @property
    def mapping(self) -> Tuple[Optional[int], ...]:
        """The pattern: a degree per key, None for a silent one."""
        return tuple(None if d == _UNMAPPED else int(d) for d in self._map.mapping[: self._map.size])

    def degree(self, key: int, scale: Union[Scale, int]) -> Optional[int]:
        """The degree a key plays for a scale (or a scale size), None when it is silent."""
        size = scale.size if isinstance(scale, Scale) else int(scale)
        degree = _library.ext("MicrotuneKeyDegree")(ctypes.byref(self._map), int(key), size)
        return None if degree == _UNMAPPED else int(degree)

    def __repr__(self) -> str:
        return "KeyboardMap.from_file(%r)" % self._name if self._name else "KeyboardMap(...)"
