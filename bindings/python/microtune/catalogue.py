"""What the library lists: devices, voices and its version."""

import ctypes
from typing import List, NamedTuple, Optional, Union

from . import _library
from .errors import DeviceNotFoundError, VoiceNotFoundError

__all__ = ["Device", "Voice", "devices", "voices", "version", "find_voice", "find_device",
           "BUILT_IN_SYNTHESIZER"]

#: The name of the built-in software synthesizer in the device list.
BUILT_IN_SYNTHESIZER = "QuickTime"
_NAME_SIZE = 1024
_VOICES = 128


class Device(NamedTuple):
    """An output device: its number in the library's list and its name."""

    number: int
    name: str


class Voice(NamedTuple):
    """A General MIDI voice: its program number (0-127) and the library's name."""

    number: int
    name: str


def devices() -> List[Device]:
    """The output devices as the library numbers and names them.

    ALSA sequencer ports first, then JACK ports, then the built-in software
    synthesizer, named ``"QuickTime"``, when its companion module loads.
    """
    library = _library.lib()
    buffer = ctypes.create_string_buffer(_NAME_SIZE)
    found = []
    for number in range(library.nNumOutDevices()):
        library.szNameForDevice(number, buffer, _NAME_SIZE)
        found.append(Device(number, buffer.value.decode("latin-1")))
    return found


def find_device(device: Union[int, str]) -> Device:
    """A device by its number, or by a part of its name in any case.

    A part that several names contain must match one of them exactly.
    """
    listed = devices()
    if isinstance(device, bool) or not isinstance(device, (int, str)):
        raise TypeError("a device is a number or a part of its name, not %s" % type(device).__name__)
    if isinstance(device, int):
        if not 0 <= device < len(listed):
            raise DeviceNotFoundError("device %d is out of range: there %s" % (
                device, "is 1 device" if len(listed) == 1 else "are %d devices" % len(listed)))
        return listed[device]
    if not device:
        raise DeviceNotFoundError("empty device name")
    matches = [d for d in listed if device.lower() in d.name.lower()]
    exact = [d for d in listed if d.name == device]
    if len(matches) != 1 and len(exact) == 1:
        matches = exact
    if not matches:
        raise DeviceNotFoundError("no device matches '%s'" % device)
    if len(matches) > 1:
        raise DeviceNotFoundError("'%s' matches several devices (%s): give its number or more of its name"
                                  % (device, ", ".join("%d %s" % d for d in matches)))
    return matches[0]


def _voice_name(number: int) -> str:
    buffer = ctypes.create_string_buffer(64)
    _library.lib().GetMidiVoiceName(number, buffer, 64)
    return buffer.value.decode("latin-1")


def _collapse(text: str) -> str:
    """The query as the library reads it: white space runs made one blank, none leading."""
    words = text.split()
    return " ".join(words) + (" " if words and text[-1:].isspace() else "")


def find_voice(query: Union[int, str]) -> Voice:
    """The voice ``--voice QUERY`` plays: a number 0-127, or a whole or partial name.

    The library's own lookup, except that what it would quietly turn into
    voice 0 raises :class:`~microtune.errors.VoiceNotFoundError`: a name
    that matches nothing, an empty query, a number beyond 127.

    >>> find_voice("violin")
    Voice(number=40, name='Violin')
    """
    if isinstance(query, bool) or not isinstance(query, (int, str)):
        raise TypeError("a voice is a number or a name, not %s" % type(query).__name__)
    if isinstance(query, int):
        if not 0 <= query < _VOICES:
            raise VoiceNotFoundError("voice %d is out of range: General MIDI voices are 0 to 127" % query)
        return Voice(query, _voice_name(query))
    trimmed = _collapse(query).rstrip(" ")
    if not trimmed:
        raise VoiceNotFoundError("empty voice name")
    is_number = trimmed[0] == "+" or trimmed[0].isdigit()
    if is_number:
        digits = trimmed[1:] if trimmed[0] == "+" else trimmed
        if not (digits.isdigit() and digits.isascii()):
            raise VoiceNotFoundError("voice '%s' is neither a number nor a name" % query)
        if int(digits) > 127:
            raise VoiceNotFoundError("voice %s is out of range: General MIDI voices are 0 to 127" % trimmed)
    try:
        encoded = trimmed.encode("latin-1")
    except UnicodeEncodeError:
        raise VoiceNotFoundError("no voice matches '%s'" % query) from None
    buffer = ctypes.create_string_buffer(64)
    number = _library.lib().FindMidiVoice(encoded, buffer, 64)
    name = buffer.value.decode("latin-1")
    # Voice 0 is also the library's answer when nothing matches.
    if number == 0 and not is_number and trimmed.lower() not in name.lower():
        raise VoiceNotFoundError("no voice matches '%s'" % query)
    return Voice(number, name)


def voices(query: Optional[Union[int, str]] = None) -> List[Voice]:
    """The 128 General MIDI voices, or every voice a query finds.

    For a query, the voice :func:`find_voice` chooses comes first, then every
    other voice whose name contains the query (or its singular: ``strings``
    also finds String Ensemble 1), in number order. A query that matches
    nothing raises :class:`~microtune.errors.VoiceNotFoundError`.
    """
    if query is None:
        return [Voice(number, _voice_name(number)) for number in range(_VOICES)]
    chosen = find_voice(query)
    found = [chosen]
    if isinstance(query, int):
        return found
    text = _collapse(query).rstrip(" ").lower()
    if text[0] == "+" or text[0].isdigit():
        return found
    singular = text[:-1] if len(text) > 3 and text.endswith("s") else text
    for number in range(_VOICES):
        name = _voice_name(number)
        if number != chosen.number and singular in name.lower():
            found.append(Voice(number, name))
    return found


def version() -> str:
    """The library's version, as it reports it."""
    answer = _library.ext("MicrotuneVersion")()
    return str(answer.decode("latin-1")) if answer else ""
