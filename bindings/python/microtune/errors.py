"""The exceptions microtune raises.

Every error is a :class:`MicrotuneError`; those that come from a result of
the library carry that result in ``code`` (for the opening calls: 1 opened,
2 an output was already open, 0 failed), the others have ``code`` None. The
message says why, in the library's words where it gives them.
"""

from typing import Optional

__all__ = [
    "MicrotuneError",
    "LibraryNotFoundError",
    "OutputError",
    "OutputClosedError",
    "VoiceNotFoundError",
    "DeviceNotFoundError",
    "NoPitchError",
    "ScaleError",
]


class MicrotuneError(Exception):
    """An error of microtune: a sentence, and the library's result code if any."""

    def __init__(self, message: str, code: Optional[int] = None) -> None:
        super().__init__(message)
        self.code = code


class LibraryNotFoundError(MicrotuneError, OSError):
    """libmicrotune could not be loaded; the message names every place tried."""


class OutputError(MicrotuneError):
    """An output device could not be opened, or is already open."""


class OutputClosedError(MicrotuneError):
    """A call on an :class:`~microtune.Output` after it was closed."""


class VoiceNotFoundError(MicrotuneError, LookupError):
    """No General MIDI voice matches the query."""


class DeviceNotFoundError(MicrotuneError, LookupError):
    """No output device matches the number or name given."""


class NoPitchError(MicrotuneError, ValueError):
    """A scale degree whose frequency is not a pitch (0, negative or infinite)."""


class ScaleError(MicrotuneError, ValueError):
    """A scale text or a Scala file that is not a scale."""
