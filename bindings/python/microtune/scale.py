"""Scales: a scale text or a Scala ``.scl`` file, read by the library's parser.

A scale text is a list of white-space separated tokens: ``5/4`` a ratio,
``386.3137`` cents (any token with a ``.``), ``3`` a whole-number ratio,
``700 cents``, ``n(7/12)`` a power of two, and ``h`` (the next value
replaces the 1/1). Degree 0 is the 1/1; the last value is the period.
"""

import ctypes
import math
import os
from typing import List, Optional, Sequence, Tuple, Union

from . import _library
from .errors import ScaleError

__all__ = ["Scale"]

# The parser writes at most 1023 entries.
_MAX_ENTRIES = 1023
_SEPARATORS = " \t\n\v\r"
# The library drops values this close to 0; a user meant something else.
_SMALLEST_VALUE = 1e-10
_MAX_FILE_BYTES = 1 << 20
_MAX_PITCHES = 1022
_MAX_VALUE_LENGTH = 100
_BLANKS = " \t\r\v\f"

PathLike = Union[str, "os.PathLike[str]"]


def _printable(text: str, limit: int = 40) -> str:
    out = "".join("?" if ord(c) < 0x20 or c == "\x7f" else c for c in text[:limit])
    return out + "..." if len(text) > limit else out


def _number(text: str) -> Optional[float]:
    """A whole word as a finite number, or None."""
    if not text or text[0].isspace() or "_" in text:
        return None
    try:
        value = float(text)
    except ValueError:
        return None
    return value if math.isfinite(value) and text.lower() not in ("inf", "nan") else None


def _pitch_problem(token: str, as_cents: bool = False) -> str:
    """What keeps one value token from being a pitch, or an empty text."""
    if any(ord(c) < 0x20 or c == "\x7f" for c in token):
        return "not a number"
    power = token.startswith("n(")
    text = token[2:] if power else token
    if power and text.endswith(")"):
        text = text[:-1]
    if "/" in text:
        numerator, _, denominator = text.partition("/")
        a, b = _number(numerator), _number(denominator)
        if a is None or b is None:
            return "not a number (ratios are written 5/4, without spaces)"
        if b == 0.0:
            return "division by zero"
        value = a / b
    else:
        number = _number(text)
        if number is None:
            return "not a number"
        value = number
        if "." in text:
            if power:
                return "a value with a '.' is read as cents, not as a power of two"
            return "out of any pitch range" if abs(value) > 1e6 else ""
    if as_cents:
        return "out of any pitch range" if abs(value) > 1e6 else ""
    if power:
        if abs(value) < _SMALLEST_VALUE:
            return "2 to the power 0 is read as nothing"
        return "out of any pitch range" if abs(value) > 100 else ""
    if 0.0 < value < _SMALLEST_VALUE:
        return "too small to be a ratio"
    if not value > 0.0:
        return "a ratio must be above 0"
    if value > 1e30 or value < 1e-30:
        return "out of any pitch range"
    return ""


def _is_cents_keyword(word: str) -> bool:
    return word.lower() == "cents"


def _text_problem(text: str) -> str:
    """The first word of a scale text that is not a pitch, as the host reports it."""
    words = "".join(" " if c in _SEPARATORS else c for c in text).split(" ")
    words = [w for w in words if w]
    for i, word in enumerate(words):
        if word[0] == "h":
            continue
        if _is_cents_keyword(word):
            before = words[i - 1] if i else ""
            problem = ("'cents' must follow a value" if not before or before[0] == "h" or
                       _is_cents_keyword(before) or before.startswith("n(") else "")
        else:
            problem = _pitch_problem(word, i + 1 < len(words) and _is_cents_keyword(words[i + 1]))
        if problem:
            return "word %d, '%s': %s" % (i + 1, _printable(word), problem)
    return ""


def _parse(text: str) -> Tuple[float, ...]:
    """The entries the library's parser reads from a scale text."""
    library = _library.lib()
    ratios = (ctypes.c_double * (_MAX_ENTRIES + 1))()
    count = ctypes.c_int(0)
    library.GetScaleFromText(ratios, ctypes.byref(count), text.encode("latin-1"), _MAX_ENTRIES + 1)
    return tuple(ratios[: max(count.value, 0)])


class Scale:
    """A tuning: the ratios of one period, from the 1/1 (entry 0) to the period (last).

    Make one with :meth:`from_text` or :meth:`from_scl`; install it with
    ``output.scale = scale``. A scale is immutable.
    """

    __slots__ = ("_text", "_ratios", "_description")

    def __init__(self, text: str, ratios: Sequence[float], description: str = "") -> None:
        self._text = text
        self._ratios = tuple(float(r) for r in ratios)
        self._description = description

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
        try:
            text.encode("latin-1")
        except UnicodeEncodeError:
            raise ScaleError("a scale text is written in ASCII: %r" % _printable(text)) from None
        if not text.strip(_SEPARATORS):
            raise ScaleError("empty scale text")
        problem = _text_problem(text)
        if problem:
            raise ScaleError("scale text %s" % problem)
        return cls(text, _parse(text))

    @classmethod
    def from_scl(cls, path: PathLike) -> "Scale":
        """Reads a Scala ``.scl`` file, by the rules of the ``microtune`` host.

        ``!`` starts a comment line; the first other line is the description,
        the next the number of pitches, then one pitch per line: a value with
        a ``.`` is in cents, otherwise a ratio (``3/2``, also ``3 / 2``) or a
        whole number; text after the value is ignored. The 1/1 is implied and
        the last pitch is the period. Windows, old Mac and Unix line ends and
        a byte-order mark are read. A malformed file raises
        :class:`~microtune.errors.ScaleError` as ``file:line: what is wrong``.
        """
        name = os.fspath(path)
        if os.path.isdir(name):
            raise ScaleError("cannot read %s: it is a directory" % name)
        try:
            with open(name, "rb") as file:
                data = file.read(_MAX_FILE_BYTES + 1)
        except OSError as error:
            raise ScaleError("cannot read %s: %s" % (name, error.strerror or error)) from None
        if len(data) > _MAX_FILE_BYTES:
            raise ScaleError("%s: larger than %d KiB: not a scale file" % (name, _MAX_FILE_BYTES // 1024))
        description, tokens = _read_scala(data.decode("latin-1"), name)
        return cls(" ".join(tokens), _parse(" ".join(tokens)), description)

    @property
    def text(self) -> str:
        """The scale text the library installs."""
        return self._text

    @property
    def description(self) -> str:
        """The description line of a Scala file ('' for a scale text)."""
        return self._description

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


def _split_lines(contents: str, name: str) -> List[str]:
    if contents.startswith("\xef\xbb\xbf"):
        contents = contents[3:]
    if any((ord(c) < 0x20 and c not in "\t\r\n") or c == "\x7f" for c in contents):
        raise ScaleError("%s: not a text file" % name)
    lines = contents.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def _pitch_value(line: str) -> str:
    """The value of a pitch line: its first word, spaces around a '/' closed up."""
    text = line.strip(_BLANKS)
    words = _words(text)
    value = words[0] if words else ""
    if "." in value:
        return value
    rest = text[len(value):].lstrip(_BLANKS)
    if "/" not in value:
        if not rest.startswith("/"):
            return value
        value, rest = value + "/", rest[1:].lstrip(_BLANKS)
    elif not value.endswith("/"):
        return value
    more = _words(rest)
    return value + (more[0] if more else "")


def _words(text: str) -> List[str]:
    return "".join(" " if c in _BLANKS else c for c in text).split()


def _is_whole(text: str) -> bool:
    digits = text[1:] if text[:1] in ("+", "-") else text
    return digits.isdigit() and digits.isascii()


def _is_cents(text: str) -> bool:
    body = text[1:] if text[:1] in ("+", "-") else text
    return body.count(".") == 1 and all(c in "0123456789." for c in body) and any(c.isdigit() for c in body)


def _pitch_token(value: str, fail) -> str:  # type: ignore[no-untyped-def]
    if len(value) > _MAX_VALUE_LENGTH:
        fail("pitch value is too long")
    if "." in value:
        if not _is_cents(value):
            fail("'%s' is not a value in cents" % _printable(value))
        problem = _pitch_problem(value)
        if problem:
            fail("%s cents: %s" % (value, problem))
        return value
    numerator, slash, denominator = value.partition("/")
    if not slash:
        denominator = "1"
    if not _is_whole(numerator) or not _is_whole(denominator):
        fail("'%s' is not a ratio, a whole number or a value in cents" % _printable(value))
    a, b = float(numerator), float(denominator)
    if b == 0.0:
        fail("ratio %s has a zero denominator" % value)
    if a / b <= 0.0:
        fail("ratio %s is not positive" % value)
    if a / b < 1e-9:
        fail("ratio %s is too small" % value)
    if a / b > 1e30:
        fail("ratio %s is out of any pitch range" % value)
    numerator, denominator = numerator.lstrip("+-"), denominator.lstrip("+-")
    return numerator + "/" + denominator if slash else numerator


def _read_scala(contents: str, name: str) -> Tuple[str, List[str]]:
    """The description and the pitches as scale text tokens."""
    lines = _split_lines(contents, name)
    index = 0

    def fail(line: int, what: str) -> None:
        raise ScaleError("%s:%d: %s" % (name, line, what))

    def next_line(skip_blank: bool) -> Optional[str]:
        nonlocal index
        while index < len(lines):
            candidate = lines[index]
            index += 1
            trimmed = candidate.strip(_BLANKS)
            if trimmed.startswith("!") or (skip_blank and not trimmed):
                continue
            return candidate
        return None

    line = next_line(False)
    if line is None:
        fail(1, "the file is empty: no description line")
    description = line.strip(_BLANKS)  # type: ignore[union-attr]
    line = next_line(True)
    if line is None:
        fail(len(lines), "missing note count after the description")
    count_line = index
    count_text = (_words(line) or [""])[0]  # type: ignore[arg-type]
    if not (count_text.isdigit() and count_text.isascii()):
        fail(count_line, "note count '%s' is not a whole number" % _printable(count_text))
    if len(count_text) > 6 or int(count_text) > _MAX_PITCHES:
        fail(count_line, "note count %s is more than the %d pitches a scale can hold"
             % (count_text, _MAX_PITCHES))
    count = int(count_text)
    if count == 0:
        fail(count_line, "note count is 0: a scale needs at least one pitch")
    tokens = []  # type: List[str]
    while True:
        line = next_line(True)
        if line is None:
            break
        number = index
        if len(tokens) == count:
            fail(number, "more pitch lines than the note count %s on line %d" % (count_text, count_line))
        tokens.append(_pitch_token(_pitch_value(line), lambda what: fail(number, what)))
    if len(tokens) < count:
        fail(count_line, "note count is %s but the file has %d pitch line%s"
             % (count_text, len(tokens), "" if len(tokens) == 1 else "s"))
    return description, tokens
