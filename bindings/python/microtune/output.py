"""An open output: a MIDI device, or the built-in software synthesizer, live or into a WAV file."""

import atexit
import ctypes
import html
import math
import os
import sys
import threading
import time
import warnings
import weakref
from typing import Any, Callable, Iterable, List, NamedTuple, Optional, Tuple, Union, cast

from . import _audio, _checks, _library, _midi_file
from .catalogue import BUILT_IN_SYNTHESIZER, Device, Voice, devices, find_device, find_voice
from .errors import MicrotuneError, NoPitchError, OutputClosedError, OutputError
from .part import PART_CONTROLLERS, Part
from .performance import Note, Performance
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
    address = ctypes.cast(cast(Any, library.nNumOutDevices), ctypes.c_void_p)
    if dladdr(address, ctypes.byref(info)) and info.dli_fname:
        return os.fsdecode(info.dli_fname)
    return library.path


def _loaded_companion(library: "_library._Library") -> Optional[ctypes.CDLL]:
    """The companion as the library loaded it, so that its entries are the very instance it calls."""
    folder = os.path.dirname(_library_file(library))
    for name in (os.path.join(folder, _COMPANION), os.path.join(folder, "microtune", _COMPANION), _COMPANION):
        try:
            return ctypes.CDLL(name, mode=os.RTLD_NOW | os.RTLD_NOLOAD)
        except OSError:
            continue
    return None


def _last_error(library: "_library._Library") -> str:
    """Why the library's last call on this thread failed, "" when it cannot say."""
    last_error = library.extensions.get("MicrotuneLastError")
    text = last_error() if last_error else None
    return str(text.decode("utf-8", "replace")) if text else ""


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
    among them). The default is ``"float"`` because the synthesizer's mix
    is floating point: a loud chord stays whole instead of clipping at full
    scale, and no bits are lost in quiet passages; choose ``"pcm16"`` for
    programs that read only integer samples. ``on_message`` is registered
    before the output opens, so that it also sees the bends and the voice
    that opening sends (see :meth:`on_message`). ``tempo`` is in beats per
    minute, for the calls given ``beats`` (see :meth:`perform`).

    In a notebook, an output that renders shows an audio player once it is
    closed, and :attr:`audio` holds its samples. Opening an output while
    another is still open outside a ``with`` block (a cell run again)
    closes the earlier one, with a warning.

    ``tuning="mpe"`` plays into an MPE zone for the synthesizers that bend
    each note alone (Surge XT, Vital, Pianoteq...): manager MIDI channel 1,
    ``mpe_members`` member channels after it (1-15), each note on a member
    of its own, bent on the members' ``mpe_bend``-semitone range (1-96; set
    the synthesizer to the same). The zone is one instrument: :meth:`part`
    is refused. ``tuning="bend"`` (the default) bends on 2-semitone channels
    for any General MIDI synthesizer.

    Every output starts in twelve-tone equal temperament from middle C
    (261.626 Hz). The library has one output per process: opening a second
    inside the ``with`` block of one raises
    :class:`~microtune.errors.OutputError` with result 2. Closing (leaving
    the ``with`` block, :meth:`close`, or the end of the program) plays what
    is scheduled, then stops every note, closes the device, stops the
    built-in synthesizer and, when rendering, finishes the WAV file; leaving
    the ``with`` block on an exception plays nothing more.

    Calls may come from any thread: the library serializes them.
    """

    def __init__(self, device: Union[None, int, str] = None, voice: Union[int, str] = "strings",
                 wav: Optional[Union[str, "os.PathLike[str]"]] = None,
                 on_message: Optional[MessageCallback] = None, tuning: str = "bend",
                 mpe_members: int = 15, mpe_bend: int = 48, *, sample_format: str = "float",
                 tempo: float = 120.0) -> None:
        global _current
        library = _library.lib()
        if tuning not in ("bend", "mpe"):
            raise ValueError("tuning is 'bend' or 'mpe', not %r" % (tuning,))
        for name, value, top in (("mpe_members", mpe_members, 15), ("mpe_bend", mpe_bend, 96)):
            if isinstance(value, bool) or not isinstance(value, int) or not 1 <= value <= top:
                raise ValueError("%s is a whole number from 1 to %d, not %r" % (name, top, value))
        self._mpe = tuning == "mpe"
        self._open = False
        self._in_with = False
        self._delay = None  # type: Optional[Callable[[float], None]]
        self._companion = None  # type: Optional[ctypes.CDLL]
        self._tap = None  # type: Optional[object]
        self._callback = None  # type: Optional[MessageCallback]
        self._tap_error = None  # type: Optional[BaseException]
        self._sent = []  # type: List[_midi_file.Sent]
        self._scale = Scale.from_text(_TWELVE_TONE)
        self._one_one = DEFAULT_ONE_ONE
        self._clock = 0.0  # the synthesizer's clock when rendering
        self._closed_at = None  # type: Optional[float]
        self._opened = time.monotonic()
        self._wav = None  # type: Optional[str]
        self._parts = []  # type: List[Part]
        self._tempo = self._file_tempo = _checks.positive(tempo, "tempo")
        self._performance = Performance(_play_frequency, _stop_note, _glide_note)
        if sample_format not in _SAMPLE_FORMATS:
            raise ValueError("sample_format is %s, not %r" % (", ".join(map(repr, _SAMPLE_FORMATS)), sample_format))
        self._sample_format = sample_format
        with _lock:
            other = _current() if _current is not None else None
            if other is not None and other._in_with:
                raise OutputError("an output is already open (%s): close it first" % other.device.name, 2)
            if other is not None:
                warnings.warn("closed the output still open (%r) to open this one" % other, stacklevel=2)
                other._close(perform=False)
            self._voice = find_voice(voice)
            # Part 0 is the output's own; a weak reference, so that an output
            # dropped unclosed still closes at once.
            self._own = Part(cast(Output, weakref.proxy(self)), 0, self._voice)
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
            # Set before the open, which then configures the synthesizer.
            if self._mpe and self._zone(library, mpe_members, mpe_bend) != 1:
                raise OutputError("this libmicrotune has no MPE zone (%s)" % _library_file(library))
            self._set_tap(on_message)
            self._opened = time.monotonic()
            try:
                self._start(library)
            except BaseException:
                self._remove_tap()
                if self._mpe:
                    self._zone(library, 0, 0)
                raise
            self._open = True
            _current = weakref.ref(self)
            _install_default_tuning(library)
        self._raise_tap_error()

    @staticmethod
    def _zone(library: "_library._Library", members: int, semitones: int) -> int:
        zone = library.extensions.get("MicrotuneSetMpeZone")
        return int(zone(members, semitones)) if zone is not None else 0

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
        """Seconds on the output's clock since it opened: the synthesizer's clock when rendering."""
        return self._now()

    @property
    def tempo(self) -> float:
        """Beats per minute of the calls given ``beats``; a change applies to the calls after it."""
        return self._tempo

    @tempo.setter
    def tempo(self, bpm: float) -> None:
        self._tempo = _checks.positive(bpm, "tempo")

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
        if self._mpe:
            raise OutputError("an MPE zone plays one instrument: parts need tuning='bend'")
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
        hz = _checks.positive(hz, "the 1/1")
        library.Set1o1(hz)
        self._one_one = hz

    # -- playing ---------------------------------------------------------

    def play(self, degree: int, velocity: int = 100, *, beats: Optional[float] = None) -> Optional[Note]:
        """Part 0 plays a scale degree (see :meth:`Part.play`): for ``beats``, or now.

        Raises :class:`~microtune.errors.NoPitchError` for a degree whose
        frequency is no pitch, TypeError for a degree or velocity that is
        not a whole number, ValueError for a velocity outside 1-127.
        """
        return self._own.play(degree, velocity, beats=beats)

    def play_hz(self, hz: float, velocity: int = 100, *, beats: Optional[float] = None,
                glide_to: Optional[float] = None) -> Optional[Note]:
        """Part 0 plays a frequency in Hz (see :meth:`Part.play_hz`)."""
        return self._own.play_hz(hz, velocity, beats=beats, glide_to=glide_to)

    def play_midi(self, pitch: float, velocity: int = 100, *, beats: Optional[float] = None,
                  glide_to: Optional[float] = None) -> Optional[Note]:
        """Part 0 plays a fractional MIDI pitch (see :meth:`Part.play_midi`)."""
        return self._own.play_midi(pitch, velocity, beats=beats, glide_to=glide_to)

    def play_cents(self, cents: float, velocity: int = 100, *, beats: Optional[float] = None,
                   glide_to: Optional[float] = None) -> Optional[Note]:
        """Part 0 plays a pitch in cents above the 1/1 (see :meth:`Part.play_cents`)."""
        return self._own.play_cents(cents, velocity, beats=beats, glide_to=glide_to)

    def pitch(self, degree: int) -> Tuple[int, int]:
        """The MIDI note and 14-bit bend (8192: none) that a degree plays; nothing is sent.

        Raises :class:`~microtune.errors.NoPitchError` for a degree whose
        frequency is not above 0 and finite (the library would play the 1/1
        instead), such as degree 2 of ``h 1/2``, whose series runs 1, 1/2, 0.
        """
        self._library()
        return _pitch(int(degree), self._scale, self._one_one)

    def chord(self, degrees: Iterable[int], velocity: int = 100, *, beats: Optional[float] = None) -> Optional[Note]:
        """Part 0 plays several degrees at once, for ``beats`` or now."""
        return self._own.chord(degrees, velocity, beats=beats)

    def stop(self, degree: int, velocity: int = 0) -> None:
        """Stops part 0's oldest note of a degree; a degree not sounding is left alone."""
        self._own.stop(degree, velocity)

    def all_off(self) -> None:
        """Stops every note in play."""
        self._library().StopAllNotesPlayed(0)
        self._raise_tap_error()

    def rest(self, seconds: float) -> None:
        """Lets time pass, playing what is scheduled meanwhile: sleeps when live, moves the
        synthesizer's clock when rendering."""
        self._library()
        self._advance(self._now() + _checks.positive(seconds, "a rest", zero=True))

    def perform(self) -> None:
        """Plays everything the parts scheduled, together, in time order, up to the last part's end.

        On the synthesizer's clock when rendering (far faster than real
        time), in real time live; a live performance that starts after its
        first note's time starts at once, its rhythm kept. Leaving the
        ``with`` block and :meth:`close` perform too.
        """
        self._library()
        now = self._now()
        first = self._performance.earliest()
        if first is not None and first < now:
            self._performance.shift(now - first)
            for part in self._all_parts():
                if part._cursor >= first:
                    part._cursor += now - first
        self._advance(max([now, self._performance.latest() or now] + [p._cursor for p in self._all_parts()]))

    def save_midi(self, path: Union[str, "os.PathLike[str]"]) -> None:
        """Writes what the output sent so far (or in all, once closed) as a Standard MIDI File.

        Programs, bend range, controllers and every message at its time on
        the output's clock, at the output's first tempo. The built-in
        synthesizer's 32 channels fold onto the 15 melodic channels of one
        port while they sound (a second port only when more sound at once).
        """
        if self._tap is None and self._open:
            _library.ext("MicrotuneSetMessageTap")  # says which library lacks it
        _midi_file.write(os.fspath(path), self._sent, self._file_tempo, self._now())

    @property
    def audio(self) -> Any:
        """The rendered samples, a numpy array of frames by channels in -1..1 (needs numpy).

        The WAV file is whole once the output is closed.
        """
        return _audio.read_wav(self._finished_wav())[0]

    @property
    def sample_rate(self) -> int:
        """Frames per second of the rendered WAV file."""
        return _audio.read_wav(self._finished_wav(), samples=False)[1]

    def _repr_html_(self) -> Optional[str]:
        if self._wav is None:
            return None
        if self._open:
            return "<p>%s: the player appears once the output is closed</p>" % html.escape(repr(self))
        return _audio.html_player(self._wav)

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
        """Plays what is scheduled, stops every note, closes the output and stops the built-in synthesizer."""
        self._close(perform=True)

    def _close(self, perform: bool) -> None:
        global _current
        with _lock:
            if not self._open:
                return
            try:
                if perform:
                    self.perform()
            finally:
                self._release()
        self._raise_tap_error()

    def _release(self) -> None:
        global _current
        with _lock:
            self._closed_at = self._now()
            self._open = False
            self._performance.clear()
            library = _library.lib()
            try:
                library.StopAllNotesPlayed(0)
                library.StopMidiOut()
                if self._mpe:
                    self._zone(library, 0, 0)  # the next output starts classic
                if self._built_in:
                    library.StopQT()
                _install_default_tuning(library)
            finally:
                self._remove_tap()
                self._delay = None
                if self._companion is not None:
                    _close_module(self._companion)
                    self._companion = None
                if _current is not None and _current() in (self, None):
                    _current = None

    def __del__(self) -> None:
        # Like a file: an output dropped without closing closes.
        if getattr(self, "_open", False):
            try:
                self._close(perform=False)
            except Exception:
                pass

    def __enter__(self) -> "Output":
        self._in_with = True
        return self

    def __exit__(self, kind: Optional[type], *exception: object) -> None:
        self._in_with = False
        self._close(perform=kind is None)

    def __repr__(self) -> str:
        state = "closed" if not self._open else ("rendering to %s" % self._wav if self._wav else "open")
        return "<microtune.Output %d %s, %s>" % (self._device.number, self._device.name, state)

    # -- helpers ---------------------------------------------------------

    def _all_parts(self) -> List[Part]:
        return [self._own] + self._parts

    def _now(self) -> float:
        if self._closed_at is not None:
            return self._closed_at
        return self._clock if self._delay is not None else time.monotonic() - self._opened

    def _wait_until(self, moment: float) -> None:
        if self._delay is not None:
            if moment > self._clock:
                self._delay(moment - self._clock)
                self._clock = moment
        else:
            pause = moment - self._now()
            if pause > 0.0:
                time.sleep(pause)

    def _advance(self, until: float) -> None:
        """Plays the scheduled events up to until, each at its time, and waits until then."""
        for moment, action in self._performance.due(until):
            self._wait_until(moment)
            action()
            self._raise_tap_error()
        self._wait_until(until)

    def _slot(self, part: Part, beats: Any) -> Tuple[float, float]:
        """The start and length in seconds of a call of so many beats, moving the part's cursor on."""
        seconds = _checks.positive(beats, "beats") * 60.0 / self._tempo
        start = max(part._cursor, self._now())
        part._cursor = start + seconds
        return start, seconds

    def _rest_part(self, part: Part, beats: Any) -> None:
        self._library()
        part._cursor = max(part._cursor, self._now()) + _checks.positive(beats, "beats", zero=True) * 60.0 / self._tempo

    def _cents_hz(self, cents: float) -> float:
        return float(self._one_one * 2.0 ** (cents / 1200.0))

    def _degree_hz(self, degree: int) -> float:
        _check_pitch(degree, self._scale, self._one_one)
        hz = self._scale.ratio(degree) * self._one_one
        _checks.warn_beyond_midi("degree %d" % degree, hz)
        return hz

    # Part 0 through the classic exports until a part exists, so that a
    # script without parts sends what it always did. Scheduled degrees play
    # as the frequency they had when scheduled.
    def _play_degrees(self, part: Part, degrees: List[Any], velocity: Any, beats: Any) -> Optional[Note]:
        library = self._library()
        velocity = _checks.velocity(velocity)
        checked = [_checks.degree(degree) for degree in degrees]
        frequencies = [self._degree_hz(degree) for degree in checked]
        if beats is not None:
            start, seconds = self._slot(part, beats)
            for hz in frequencies:
                self._performance.note(start, seconds, part.number, hz, velocity)
            return None
        count = 0
        for degree in checked:
            if part.number == 0 and not self._parts:
                count = library.PlayScaleDegree(degree, velocity)
            else:
                count = _library.ext("MicrotunePlayPartDegree")(part.number, degree, velocity)
            self._raise_tap_error()
        number = part.number

        def stop(velocity: int) -> None:
            velocity = _checks.velocity(velocity, 0)
            for degree in checked:
                self._stop(number, degree, velocity)

        return Note(count, stop)

    def _play_pitch(self, part: Part, what: str, hz: float, glide_hz: Optional[float], velocity: Any,
                    beats: Any) -> Optional[Note]:
        self._library()
        velocity = _checks.velocity(velocity)
        _checks.warn_beyond_midi(what, hz)
        if glide_hz is not None:
            if beats is None:
                raise TypeError("glide_to needs beats: the pitch moves over the note's beats")
            _check_glide(hz, glide_hz)
        if beats is not None:
            start, seconds = self._slot(part, beats)
            self._performance.note(start, seconds, part.number, hz, velocity, glide_hz)
            return None
        handle = _play_frequency(part.number, hz, velocity, 0)
        self._raise_tap_error()
        if handle <= 0:
            raise OutputError("%s did not start: the library's 2048 notes in play are full" % what, handle)

        def stop(velocity: int) -> None:
            self._library()
            _stop_note(handle, _checks.velocity(velocity, 0))
            self._raise_tap_error()

        return Note(handle, stop)

    def _stop(self, part: int, degree: int, velocity: int) -> None:
        library = self._library()
        if part == 0 and not self._parts:
            library.StopScaleDegree(degree, velocity)
        else:
            _library.ext("MicrotuneStopPartDegree")(part, degree, velocity)
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
        """The caller's callback; the tap itself also records every message for :meth:`save_midi`."""
        if callback is not None and not callable(callback):
            raise TypeError("on_message takes a callable or None")
        if callback is not None or not _library.has_ext("MicrotuneSetMessageTap"):
            _library.ext("MicrotuneSetMessageTap")  # says which library lacks it
        with _lock:
            self._callback = callback
            if self._tap is not None:
                return
            # A weak reference: the library holds the tap, which must not keep the output alive.
            output = weakref.ref(self)

            def tap(_context: Optional[int], channel: int, status: int, data1: int, data2: int) -> None:
                this = output()
                if this is None:
                    return
                this._sent.append((this._now(), channel, status, data1, data2))
                callback = this._callback
                if callback is None:
                    return
                try:
                    callback(Message(channel, status, data1, data2))
                except BaseException as error:  # raised again from the library call
                    if this._tap_error is None:
                        this._tap_error = error

            pointer = _library.TAP(tap)
            _library.ext("MicrotuneSetMessageTap")(pointer, None)
            self._tap = pointer  # kept alive while the library holds it

    def _remove_tap(self) -> None:
        with _lock:
            self._callback = None
            if self._tap is not None:
                _library.ext("MicrotuneSetMessageTap")(_library.TAP(0), None)
                self._tap = None

    def _finished_wav(self) -> str:
        if self._wav is None:
            raise OutputError("this output renders no WAV file: open it with wav=...")
        if self._open:
            raise OutputError("the WAV file is whole once the output is closed: leave the with block or call "
                              "close() first")
        return self._wav

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


def _check_glide(hz: float, glide_hz: float) -> None:
    """A glide is the bend of the note's own channel: 2 semitones at most from the note's MIDI key."""
    start = 69.0 + 12.0 * math.log2(hz / 440.0)
    key = min(max(math.floor(start + 0.5), 0), 127)
    semitones = 69.0 + 12.0 * math.log2(glide_hz / 440.0) - key
    if not 0 <= 8192 - int(-4096 * semitones) <= 16383:
        raise ValueError("glide_to %s is %.3g semitones from the note's MIDI key %d: a glide reaches 2 at most "
                         "(the bend range)" % (_checks.hz_text(glide_hz), semitones, key))


def _play_frequency(part: int, hz: float, velocity: int, flags: int) -> int:
    return int(_library.ext("MicrotunePlayPartFrequency")(part, hz, velocity, flags))


def _stop_note(handle: int, velocity: int = 0) -> int:
    return int(_library.ext("MicrotuneStopNote")(handle, velocity))


def _glide_note(handle: int, hz: float) -> int:
    return int(_library.ext("MicrotuneGlideNote")(handle, hz))


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
