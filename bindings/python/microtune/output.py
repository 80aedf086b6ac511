"""An open output: a MIDI device, or the built-in software synthesizer, live or into a WAV file."""

import atexit
import ctypes
import math
import os
import sys
import threading
import time
import weakref
from typing import Callable, Iterable, NamedTuple, Optional, Tuple, Union

from . import _library
from .catalogue import BUILT_IN_SYNTHESIZER, Device, Voice, devices, find_device, find_voice
from .errors import MicrotuneError, NoPitchError, OutputClosedError, OutputError
from .part import PART_CONTROLLERS, Part
from .scale import Scale

__all__ = ["Output", "Message", "pitch", "DEFAULT_ONE_ONE"]

#: Parts 1-15 are there for :meth:`Output.part`; part 0 is the output's own.
_PARTS = 16

_COMPANION = "libTembrelLib.so"
_DEFAULT_FONT = "/usr/share/sounds/sf2/default-GM.sf2"
_SAMPLE_FORMATS = ("float", "pcm16", "pcm24")
#: The 1/1 the library plays from until one is set: middle C.
DEFAULT_ONE_ONE = 261.6255653005986

# The library has one output per process.
_lock = threading.RLock()
_current = None  # type: Optional[weakref.ReferenceType[Output]]
# What the library plays in while no output is open: twelve-tone equal
# temperament from middle C, which every open and every close installs.
_TWELVE_TONE = "100.0"


class Message(NamedTuple):
    """A channel message as the library sends it.

    ``channel`` is the library's channel: 0-15, or 0-31 on the built-in
    synthesizer. ``status`` is the status byte, the kind (0x80 note-off,
    0x90 note-on, 0xB0 control change, 0xC0 program change, 0xE0 pitch
    bend) with the low four bits of the channel; ``data1`` and ``data2`` are
    the data bytes (0 as the second byte of a program change).
    """

    channel: int
    status: int
    data1: int
    data2: int

    @property
    def kind(self) -> int:
        """The status without the channel: 0x90 for a note-on."""
        return self.status & 0xF0


MessageCallback = Callable[[Message], None]


def _library_file(library: "_library._Library") -> str:
    """The absolute path the library was loaded from."""
    if os.path.isabs(library.path):
        return library.path

    class DlInfo(ctypes.Structure):
        _fields_ = [("dli_fname", ctypes.c_char_p), ("dli_fbase", ctypes.c_void_p),
                    ("dli_sname", ctypes.c_char_p), ("dli_saddr", ctypes.c_void_p)]

    info = DlInfo()
    dladdr = ctypes.CDLL(None).dladdr
    dladdr.argtypes = [ctypes.c_void_p, ctypes.POINTER(DlInfo)]
    address = ctypes.cast(library.nNumOutDevices, ctypes.c_void_p)
    if dladdr(address, ctypes.byref(info)) and info.dli_fname:
        return os.fsdecode(info.dli_fname)
    return library.path


def _loaded_companion(library: "_library._Library") -> Optional[ctypes.CDLL]:
    """The companion as the library loaded it, so that its entries are the very instance it calls."""
    folder = os.path.dirname(_library_file(library))
    for name in (os.path.join(folder, _COMPANION), os.path.join(folder, "microtune", _COMPANION), _COMPANION):
        try:
            return ctypes.CDLL(name, mode=os.RTLD_NOW | os.RTLD_NOLOAD)  # type: ignore[attr-defined]
        except OSError:
            continue
    return None


def _last_error(library: "_library._Library") -> str:
    """Why the library's last call on this thread failed, "" when it cannot say."""
    last_error = library.extensions.get("MicrotuneLastError")
    text = last_error() if last_error else None
    return text.decode("utf-8", "replace") if text else ""


def _why_built_in_fails(wav: Optional[str]) -> str:
    """What keeps the built-in synthesizer from starting: the companion itself only answers 0."""
    named = os.environ.get("MICROTUNE_SOUNDFONT") or ""
    font = named or _DEFAULT_FONT
    source = " (MICROTUNE_SOUNDFONT)" if named else " (set MICROTUNE_SOUNDFONT to use another)"
    if not os.path.exists(font):
        return "the sound font %s does not exist%s" % (font, source)
    try:
        with open(font, "rb") as file:
            header = file.read(12)
    except OSError:
        return "the sound font %s cannot be read%s" % (font, source)
    if len(header) < 12 or header[:4] != b"RIFF" or header[8:12] != b"sfbk":
        return "the sound font %s is not a SoundFont%s" % (font, source)
    if wav is None:
        return "no live audio output could be opened"
    if os.path.isdir(wav):
        return "cannot write %s: it is a directory" % wav
    folder = os.path.dirname(wav) or "."
    if not os.path.isdir(folder):
        return "cannot write %s: the folder %s does not exist" % (wav, folder)
    if not os.access(folder, os.W_OK):
        return "cannot write %s: permission denied" % wav
    return "the companion %s failed to start with the sound font %s and %s" % (_COMPANION, font, wav)


class Output:
    """An open output device: ``with microtune.Output() as out: ...``.

    ``device`` is None for the built-in software synthesizer, or a number
    from :func:`~microtune.devices`, or a part of a device's name. ``voice``
    is a General MIDI voice number or a whole or partial name. ``wav``
    renders the built-in synthesizer into that WAV file, faster than real
    time: :meth:`rest` then moves the synthesizer's clock instead of
    sleeping. ``sample_format`` is the WAV file's samples: ``"float"``
    (32-bit floating point, which no chord can clip), ``"pcm16"`` or
    ``"pcm24"`` (integers, which more programs read, Python's :mod:`wave`
    among them). ``on_message`` is registered before the output opens, so that
    it also sees the bends and the voice that opening sends (see
    :meth:`on_message`).

    Every output starts in twelve-tone equal temperament from middle C
    (261.626 Hz). The library has one output per process: opening a second
    while one is open raises :class:`~microtune.errors.OutputError` with
    result 2. Closing (leaving the ``with`` block, :meth:`close`, or the end
    of the program) stops every note, closes the device, stops the built-in
    synthesizer and, when rendering, finishes the WAV file.

    Calls may come from any thread: the library serializes them.
    """

    def __init__(self, device: Union[None, int, str] = None, voice: Union[int, str] = "strings",
                 wav: Optional[Union[str, "os.PathLike[str]"]] = None,
                 on_message: Optional[MessageCallback] = None, *, sample_format: str = "float") -> None:
        global _current
        library = _library.lib()
        self._open = False
        self._delay = None  # type: Optional[Callable[[float], None]]
        self._companion = None  # type: Optional[ctypes.CDLL]
        self._tap = None  # type: Optional[object]
        self._tap_error = None  # type: Optional[BaseException]
        self._scale = Scale.from_text(_TWELVE_TONE)
        self._one_one = DEFAULT_ONE_ONE
        self._elapsed = 0.0
        self._wav = None  # type: Optional[str]
        self._parts = []  # type: list
        if sample_format not in _SAMPLE_FORMATS:
            raise ValueError("sample_format is %s, not %r" % (", ".join(map(repr, _SAMPLE_FORMATS)), sample_format))
        self._sample_format = sample_format
        with _lock:
            other = _current() if _current is not None else None
            if other is not None:
                raise OutputError("an output is already open (%s): close it first" % other.device.name, 2)
            self._voice = find_voice(voice)
            listed = devices()
            built_in = next((d.number for d in listed if d.name == BUILT_IN_SYNTHESIZER), -1)
            if device is None:
                if built_in < 0:
                    raise OutputError("the built-in software synthesizer is not available: %s was not "
                                      "found beside %s" % (_COMPANION, _library_file(library)))
                self._device = listed[built_in]
            else:
                self._device = find_device(device)
            self._built_in = self._device.number == built_in
            if wav is not None:
                self._wav = os.fspath(wav)
            elif self._built_in and os.environ.get("MICROTUNE_SYNTH_WAV"):
                self._wav = os.environ["MICROTUNE_SYNTH_WAV"]
            if self._wav is not None and not self._built_in:
                raise OutputError("only the built-in software synthesizer renders a WAV file; device %d is %s"
                                  % self._device)
            if self._wav is not None and sys.platform == "win32":
                raise OutputError("rendering to a WAV file needs the Linux companion %s" % _COMPANION)
            library.SetMidiVoice(self._voice.number)
            if on_message is not None:
                self._set_tap(on_message)
            try:
                self._start(library)
            except BaseException:
                self._set_tap(None)
                raise
            self._open = True
            _current = weakref.ref(self)
            _install_default_tuning(library)
        self._raise_tap_error()

    def _start(self, library: "_library._Library") -> None:
        number = self._device.number
        if not self._built_in:
            result = library.StartMidiOutForiDev(number)
            if result != 1:
                raise OutputError("cannot open device %d (%s): %s" % (
                    number, self._device.name, "the library's output is already open" if result == 2
                    else _last_error(library) or "the MIDI system refused to open it"), result)
            return
        # The companion reads these when it starts: render into the file, on
        # a clock that only its delay entry moves, and with sound.
        names = ("MICROTUNE_SYNTH_WAV", "MICROTUNE_SYNTH_CLOCK", "MICROTUNE_SYNTH_OUTPUT",
                 "MICROTUNE_SYNTH_WAV_FORMAT")
        saved = {name: os.environ.get(name) for name in names}
        if self._wav is not None:
            os.environ["MICROTUNE_SYNTH_WAV"] = self._wav
            os.environ["MICROTUNE_SYNTH_CLOCK"] = "delay"
            os.environ["MICROTUNE_SYNTH_WAV_FORMAT"] = self._sample_format
            os.environ.pop("MICROTUNE_SYNTH_OUTPUT", None)
        try:
            result = library.StartMidiOutForiDev(number)
        finally:
            for name, value in saved.items():
                if value is None:
                    os.environ.pop(name, None)
                else:
                    os.environ[name] = value
        if result == 2:
            raise OutputError("the library's output is already open", result)
        if result != 1:
            library.StopQT()
            what = ("cannot render to %s" % self._wav) if self._wav is not None else "did not start"
            raise OutputError("the built-in software synthesizer %s: %s"
                              % (what, _last_error(library) or _why_built_in_fails(self._wav)), result)
        if self._wav is not None:
            self._companion = _loaded_companion(library)
            delay = getattr(self._companion, "Tembrel_Delay", None) if self._companion else None
            if delay is None:
                self._open = True
                self.close()
                raise OutputError("cannot render offline: no Tembrel_Delay entry in %s" % _COMPANION)
            delay.restype, delay.argtypes = None, [ctypes.c_double]
            self._delay = delay

    # -- state -----------------------------------------------------------

    @property
    def device(self) -> Device:
        """The device this output plays on."""
        return self._device

    @property
    def wav(self) -> Optional[str]:
        """The WAV file being rendered, or None when playing live."""
        return self._wav

    @property
    def closed(self) -> bool:
        """Whether the output has been closed."""
        return not self._open

    @property
    def elapsed(self) -> float:
        """Seconds of rests so far."""
        return self._elapsed

    @property
    def voice(self) -> Voice:
        """The General MIDI voice; set a number or a whole or partial name."""
        return self._voice

    @voice.setter
    def voice(self, voice: Union[int, str]) -> None:
        library = self._library()
        chosen = find_voice(voice)
        if self._parts:
            # Part 0's voice alone: the other parts keep theirs.
            self._set_part_voice(0, chosen.number)
        else:
            library.SetMidiVoice(chosen.number)
        self._voice = chosen
        self._raise_tap_error()

    def part(self, voice: Union[None, int, str] = None, **controllers: int) -> Part:
        """A new instrument beside this output's own: ``out.part("flute", volume=90, pan=100)``.

        ``voice`` is a General MIDI voice number or a whole or partial name
        (None: the output's voice); the keywords set its controllers
        (``modulation``, ``volume``, ``pan``, ``expression``, ``reverb``,
        ``chorus``, each 0-127). Up to 15 parts; the output's own ``play``,
        ``stop`` and ``chord`` play part 0.
        """
        self._library()
        unknown = sorted(set(controllers) - set(PART_CONTROLLERS))
        if unknown:
            raise TypeError("a part has no controller %s (it has %s)" % (", ".join(unknown),
                                                                        ", ".join(PART_CONTROLLERS)))
        if len(self._parts) >= _PARTS - 1:
            raise OutputError("an output has at most %d parts besides its own" % (_PARTS - 1))
        part = Part(self, len(self._parts) + 1, self._voice if voice is None else find_voice(voice))
        self._set_part_voice(part.number, part.voice.number)
        for name, value in controllers.items():
            setattr(part, name, value)
        self._parts.append(part)
        return part

    @property
    def parts(self) -> Tuple[Part, ...]:
        """The parts made with :meth:`part`, in order."""
        return tuple(self._parts)

    @property
    def scale(self) -> Scale:
        """The installed scale; set a :class:`Scale` or a scale text."""
        return self._scale

    @scale.setter
    def scale(self, scale: Union[Scale, str]) -> None:
        library = self._library()
        if isinstance(scale, str):
            scale = Scale.from_text(scale)
        if not isinstance(scale, Scale):
            raise TypeError("a scale is a Scale or a scale text, not %s" % type(scale).__name__)
        library.SetMidiScale(scale.text.encode("latin-1"))
        self._scale = scale
        self._raise_tap_error()

    @property
    def one_one(self) -> float:
        """The frequency of degree 0, the 1/1, in Hz."""
        return self._one_one

    @one_one.setter
    def one_one(self, hz: float) -> None:
        library = self._library()
        hz = float(hz)
        if not (math.isfinite(hz) and hz > 0.0):
            raise ValueError("the 1/1 is a frequency above 0 Hz, not %r" % hz)
        library.Set1o1(hz)
        self._one_one = hz

    # -- playing ---------------------------------------------------------

    def play(self, degree: int, velocity: int = 100) -> int:
        """Starts a scale degree; returns the number of notes in play.

        Raises :class:`~microtune.errors.NoPitchError` for a degree whose
        frequency is no pitch, ``ValueError`` for a velocity outside 1-127.
        """
        return self._play(0, degree, velocity)

    def pitch(self, degree: int) -> Tuple[int, int]:
        """The MIDI note and 14-bit bend (8192: none) that a degree plays; nothing is sent.

        Raises :class:`~microtune.errors.NoPitchError` for a degree whose
        frequency is not above 0 and finite (the library would play the 1/1
        instead), such as degree 2 of ``h 1/2``, whose series runs 1, 1/2, 0.
        """
        self._library()
        return _pitch(int(degree), self._scale, self._one_one)

    def chord(self, degrees: Iterable[int], velocity: int = 100) -> int:
        """Starts several degrees at once; returns the number of notes in play."""
        count = 0
        for degree in list(degrees):
            count = self.play(degree, velocity)
        return count

    def stop(self, degree: int, velocity: int = 0) -> None:
        """Stops the oldest note of a degree; a degree not sounding is left alone."""
        self._stop(0, degree, velocity)

    def all_off(self) -> None:
        """Stops every note in play."""
        self._library().StopAllNotesPlayed(0)
        self._raise_tap_error()

    def rest(self, seconds: float) -> None:
        """Lets time pass: sleeps when live, moves the synthesizer's clock when rendering."""
        self._library()
        seconds = float(seconds)
        if not (math.isfinite(seconds) and seconds >= 0.0):
            raise ValueError("a rest lasts 0 seconds or more, not %r" % seconds)
        if self._delay is not None:
            self._delay(seconds)
        else:
            time.sleep(seconds)
        self._elapsed += seconds

    def on_message(self, callback: Optional[MessageCallback]) -> None:
        """Calls ``callback(message)`` with every channel message the library sends.

        One callback at a time (None removes it); it is removed when the
        output closes. It runs on the thread that made the library call,
        before the message is sent, while the library holds its lock: keep
        it quick, and do not call microtune from it (such a call does
        nothing) or wait on a thread that does. An exception it raises is
        raised again from the call that sent the message.
        """
        self._library()
        self._set_tap(callback)

    def close(self) -> None:
        """Stops every note, closes the output and stops the built-in synthesizer."""
        global _current
        with _lock:
            if not self._open:
                return
            self._open = False
            library = _library.lib()
            try:
                library.StopAllNotesPlayed(0)
                library.StopMidiOut()
                if self._built_in:
                    library.StopQT()
                _install_default_tuning(library)
            finally:
                self._set_tap(None)
                self._delay = None
                if self._companion is not None:
                    _close_module(self._companion)
                    self._companion = None
                if _current is not None and _current() in (self, None):
                    _current = None
        self._raise_tap_error()

    def __del__(self) -> None:
        # Like a file: an output dropped without closing closes.
        if getattr(self, "_open", False):
            try:
                self.close()
            except Exception:
                pass

    def __enter__(self) -> "Output":
        return self

    def __exit__(self, *exception: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if not self._open else ("rendering to %s" % self._wav if self._wav else "open")
        return "<microtune.Output %d %s, %s>" % (self._device.number, self._device.name, state)

    # -- helpers ---------------------------------------------------------

    # Part 0 through the classic exports until a part exists, so that a
    # script without parts sends what it always did.
    def _play(self, part: int, degree: int, velocity: int) -> int:
        library = self._library()
        _check_velocity(velocity, 1)
        degree = int(degree)
        _check_pitch(degree, self._scale, self._one_one)
        if part == 0 and not self._parts:
            count = library.PlayScaleDegree(degree, velocity)  # type: int
        else:
            count = _library.ext("MicrotunePlayPartDegree")(part, degree, velocity)
        self._raise_tap_error()
        return count

    def _stop(self, part: int, degree: int, velocity: int) -> None:
        library = self._library()
        _check_velocity(velocity, 0)
        if part == 0 and not self._parts:
            library.StopScaleDegree(int(degree), velocity)
        else:
            _library.ext("MicrotuneStopPartDegree")(part, int(degree), velocity)
        self._raise_tap_error()

    def _set_part_voice(self, part: int, voice: int) -> None:
        self._library()
        _library.ext("MicrotuneSetPartVoice")(part, voice)
        self._raise_tap_error()

    def _set_part_controller(self, part: int, controller: int, value: int) -> None:
        self._library()
        _library.ext("MicrotuneSetPartController")(part, controller, value)
        self._raise_tap_error()

    def _library(self) -> "_library._Library":
        if not self._open:
            raise OutputClosedError("the output is closed")
        return _library.lib()

    def _set_tap(self, callback: Optional[MessageCallback]) -> None:
        with _lock:
            if callback is None:
                if self._tap is not None:
                    _library.ext("MicrotuneSetMessageTap")(_library.TAP(), None)
                    self._tap = None
                return
            if not callable(callback):
                raise TypeError("on_message takes a callable or None")

            def tap(_context: Optional[int], channel: int, status: int, data1: int, data2: int) -> None:
                try:
                    callback(Message(channel, status, data1, data2))
                except BaseException as error:  # raised again from the library call
                    if self._tap_error is None:
                        self._tap_error = error

            pointer = _library.TAP(tap)
            _library.ext("MicrotuneSetMessageTap")(pointer, None)
            self._tap = pointer  # kept alive while the library holds it

    def _raise_tap_error(self) -> None:
        error, self._tap_error = self._tap_error, None
        if error is not None:
            raise error


def pitch(degree: int) -> Tuple[int, int]:
    """The MIDI note and 14-bit bend (8192: none) that a degree plays now; nothing is sent.

    In the tuning of the open :class:`Output`, or with none open in twelve-
    tone equal temperament from middle C (degree 0 is note 60, no bend).
    Raises :class:`~microtune.errors.NoPitchError` for a degree whose
    frequency is not above 0 and finite.
    """
    with _lock:
        output = _current() if _current is not None else None
    if output is not None:
        return output.pitch(degree)
    return _pitch(int(degree), Scale.from_text(_TWELVE_TONE), DEFAULT_ONE_ONE)


def _check_pitch(degree: int, scale: Scale, one_one: float) -> None:
    hz = scale.ratio(degree) * one_one
    if not (math.isfinite(hz) and hz > 0.0):
        raise NoPitchError("degree %d has no pitch: %r times the 1/1 of %r Hz is %r Hz"
                           % (degree, scale.ratio(degree), one_one, hz))


def _pitch(degree: int, scale: Scale, one_one: float) -> Tuple[int, int]:
    _check_pitch(degree, scale, one_one)
    note, bend = ctypes.c_int(0), ctypes.c_int(0)
    answer = _library.ext("MicrotuneDegreePitch")(degree, ctypes.byref(note), ctypes.byref(bend))
    if answer == 0:
        raise NoPitchError("degree %d has no pitch in the installed scale" % degree)
    if answer != 1:
        raise MicrotuneError("the library cannot be called from inside the message tap", answer)
    return note.value, bend.value


def _install_default_tuning(library: "_library._Library") -> None:
    library.SetMidiScale(b"")
    library.Set1o1(DEFAULT_ONE_ONE)


def _check_velocity(velocity: int, lowest: int) -> None:
    if isinstance(velocity, bool) or not isinstance(velocity, int) or not lowest <= velocity <= 127:
        raise ValueError("a velocity is a whole number from %d to 127, not %r" % (lowest, velocity))


def _close_module(module: ctypes.CDLL) -> None:
    import _ctypes

    try:
        _ctypes.dlclose(module._handle)  # type: ignore[attr-defined]
    except (AttributeError, OSError):
        pass


@atexit.register
def _close_at_exit() -> None:
    # An output left open still finishes its WAV file and silences its notes.
    output = _current() if _current is not None else None
    if output is not None:
        output.close()
