"""microtune: play music in any tuning on General MIDI synthesizers, from Python.

A thin, typed layer over libmicrotune through ctypes::

    import microtune

    just = microtune.Scale.from_text("9/8 5/4 4/3 3/2 5/3 15/8 2/1")
    with microtune.Output(voice="strings", wav="triad.wav") as out:
        out.scale = just
        out.one_one = 220.0
        out.chord([0, 2, 4])      # 4:5:6
        out.rest(2.0)

The library is found through ``$MICROTUNE_LIBRARY``, the prefix this package
is installed under, or the system loader; importing never needs it, and the
first call that does raises :class:`LibraryNotFoundError` naming every place
tried.
"""

from .catalogue import BUILT_IN_SYNTHESIZER, Device, Voice, devices, find_device, find_voice, version, voices
from .errors import (DeviceNotFoundError, LibraryNotFoundError, MicrotuneError, NoPitchError, OutputClosedError,
                     OutputError, ScaleError, VoiceNotFoundError)
from .output import DEFAULT_ONE_ONE, Message, Output, pitch
from .part import Part
from .scale import Scale
from ._library import library_path

__all__ = [
    "BUILT_IN_SYNTHESIZER", "DEFAULT_ONE_ONE", "Device", "Voice", "Message", "Output", "Part", "Scale",
    "devices", "voices", "find_device", "find_voice", "pitch", "version", "library_path",
    "MicrotuneError", "LibraryNotFoundError", "OutputError", "OutputClosedError", "VoiceNotFoundError",
    "DeviceNotFoundError", "NoPitchError", "ScaleError",
]

__version__ = "0.1.0"
