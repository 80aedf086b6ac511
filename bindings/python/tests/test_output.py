import ctypes
import os
import struct
import threading
from pathlib import Path

import pytest

import microtune
from microtune import Message, Output, Scale
from conftest import needs_ext

JUST_MAJOR = "9/8 5/4 4/3 3/2 5/3 15/8 2/1"
RECORDER = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int)


def companion_recording(record):
    """Registers record(status, channel, data1, data2) with the companion the library loaded."""
    microtune.devices()  # counting the devices loads the companion
    folder = Path(os.path.realpath(microtune.library_path())).parent
    for name in (folder / "libTembrelLib.so", folder / "microtune" / "libTembrelLib.so"):
        if name.exists():
            companion = ctypes.CDLL(str(name), mode=os.RTLD_NOW | os.RTLD_NOLOAD)
            break
    else:
        pytest.skip("no companion beside the library")
    callback = RECORDER(lambda _context, *message: record(message))
    companion.Tembrel_SetRecorder(callback, None)
    return lambda: companion.Tembrel_SetRecorder(RECORDER(), None), callback


@needs_ext("MicrotuneSetMessageTap")
def test_the_tap_sees_exactly_what_the_companion_is_sent(silent):
    recorded, tapped = [], []
    stop_recording, _keep = companion_recording(recorded.append)
    try:
        with Output(voice="flute", on_message=tapped.append) as out:
            assert tapped[:2] == [Message(0, 0xE0, 0, 64), Message(1, 0xE1, 0, 64)]  # centred bends
            assert tapped[31:33] == [Message(0, 0xC0, 73, 0), Message(1, 0xC1, 73, 0)]  # the voice
            del tapped[:]
            out.play(0, 90)
            out.stop(0)
            assert tapped == [Message(0, 0x90, 60, 90), Message(0, 0x80, 60, 0)]
            out.scale = Scale.from_scl(Path(__file__).resolve().parents[3] / "tools/microtune/scales/31-edo.scl")
            out.chord([0, 10, 18], velocity=80)
    finally:
        stop_recording()
    assert len(tapped) > 40
    assert [(m.kind, m.channel, m.data1, m.data2) for m in tapped] == [(s & 0xF0, c, a, b) for s, c, a, b in
                                                                        recorded[-len(tapped):]]
    assert all(m.status & 15 == m.channel & 15 for m in tapped)


@needs_ext("MicrotuneDegreePitch")
def test_pitch_is_the_note_and_bend_that_play_sends(silent):
    bends, sent = {}, {}

    def follow(message):
        if message.kind == 0xE0:
            bends[message.channel] = message.data1 | message.data2 << 7
        elif message.kind == 0x90:
            sent[message.data1] = message.channel

    assert microtune.pitch(0) == (60, 8192)
    with Output(on_message=follow) as out:
        out.scale, out.one_one = JUST_MAJOR, 200.0
        for degree in range(-9, 12):
            note, bend = out.pitch(degree)
            assert microtune.pitch(degree) == (note, bend)
            out.play(degree)
            assert bends[sent[note]] == bend, degree
            out.stop(degree)


def read_wav(path):
    """The samples of a float WAV file, the channels summed, and its rate."""
    import numpy

    data = Path(path).read_bytes()
    position, rate, channels, samples = 12, 0, 0, None
    while position + 8 <= len(data):
        kind, size = struct.unpack_from("<4sI", data, position)
        body = data[position + 8:position + 8 + size]
        if kind == b"fmt ":
            channels, rate = struct.unpack_from("<HI", body, 2)
        elif kind == b"data":
            samples = numpy.frombuffer(body, dtype="<f4")
        position += 8 + size + (size & 1)
    return samples.reshape(-1, channels).sum(axis=1), rate


def peak(samples, rate, hz, within_cents=30.0):
    """The strongest frequency near hz: Blackman-Harris window, 8 times zero-padded, parabolic peak."""
    import numpy

    window = numpy.blackman(len(samples))
    size = 8 * len(samples)
    magnitude = numpy.log(numpy.abs(numpy.fft.rfft(samples * window, size)) + 1e-30)
    low, high = (int(hz * 2 ** (c / 1200) * size / rate) for c in (-within_cents, within_cents))
    best = low + int(numpy.argmax(magnitude[low:high + 1]))
    a, b, c = magnitude[best - 1:best + 2]
    return (best + 0.5 * (a - c) / (a - 2 * b + c)) * rate / size


def test_a_just_triad_renders_in_tune(tmp_path):
    pytest.importorskip("numpy")
    import math

    wav = tmp_path / "triad.wav"
    # A steady tone without vibrato or detuned layers.
    with Output(voice="reed organ", wav=wav) as out:
        out.scale, out.one_one = Scale.from_text(JUST_MAJOR), 220.0
        out.chord([0, 2, 4])
        out.rest(1.5)
        out.all_off()
        out.rest(0.2)
    samples, rate = read_wav(wav)
    steady = samples[int(0.3 * rate):int(1.3 * rate)]
    for ratio in (1.0, 1.25, 1.5):
        measured = peak(steady, rate, 220.0 * ratio)
        assert abs(1200 * math.log2(measured / (220.0 * ratio))) < 1.5, ratio


def test_pcm16_samples_are_what_pythons_wave_reads(tmp_path):
    import wave

    path = tmp_path / "note.wav"
    with Output(wav=path, sample_format="pcm16") as out:
        out.play(0)
        out.rest(0.3)
    with wave.open(str(path)) as file:
        assert (file.getsampwidth(), file.getnchannels(), file.getframerate()) == (2, 2, 44100)
        assert file.getnframes() >= 0.3 * 44100


@pytest.mark.parametrize("call", [
    lambda out: out.play(0), lambda out: out.stop(0), lambda out: out.chord([0]), lambda out: out.rest(0.1),
    lambda out: out.all_off(), lambda out: setattr(out, "scale", JUST_MAJOR),
    lambda out: setattr(out, "one_one", 440.0), lambda out: out.on_message(print),
])
def test_a_closed_output_refuses_every_call(silent, call):
    with Output() as out:
        pass
    with pytest.raises(microtune.OutputClosedError, match="the output is closed"):
        call(out)


def test_misuse_raises_and_leaves_nothing_open(silent, tmp_path, monkeypatch):
    with pytest.raises(microtune.VoiceNotFoundError, match="no voice matches 'kazoo'"):
        Output(voice="kazoo")
    with pytest.raises(microtune.DeviceNotFoundError, match="device 99 is out of range"):
        Output(device=99)
    with pytest.raises(ValueError, match="sample_format is 'float', 'pcm16', 'pcm24', not 'pcm8'"):
        Output(wav=tmp_path / "x.wav", sample_format="pcm8")
    monkeypatch.delenv("MICROTUNE_SYNTH_OUTPUT")
    with pytest.raises(microtune.OutputError, match="[iI]s a directory") as raised:
        Output(wav=tmp_path)
    assert raised.value.code == 0
    monkeypatch.setenv("MICROTUNE_SYNTH_OUTPUT", "none")
    with Output() as out:
        with pytest.raises(microtune.OutputError, match="already open") as raised:
            Output()
        assert raised.value.code == 2
        with pytest.raises(ValueError, match="velocity"):
            out.play(0, velocity=0)
        out.scale = "h 1/2"  # the series 1, 1/2, 0, -1/2
        out.play(1)
        for degree in (2, 3):
            with pytest.raises(microtune.NoPitchError, match="degree %d has no pitch" % degree):
                out.play(degree)
    Output(voice=40).play(0)  # dropped unclosed: closes like a file
    with Output():
        pass


@needs_ext("MicrotuneSetMessageTap")
def test_an_exception_in_the_callback_is_raised_by_the_call(silent):
    def refuse(message):
        if message.kind == 0x90:
            raise RuntimeError("seen %d" % message.data1)

    with Output(on_message=refuse) as out:
        with pytest.raises(RuntimeError, match="seen 60"):
            out.play(0)
        out.on_message(None)
        assert out.play(0) == 2  # the first note was played all the same


@needs_ext("MicrotuneSetMessageTap")
def test_threads_play_at_once(silent):
    counts = {0x90: 0, 0x80: 0}

    def count(message):
        if message.kind in counts:
            counts[message.kind] += 1

    def melody(start):
        for step in range(100):
            out.play(start + step % 13)
            out.stop(start + step % 13)

    with Output(on_message=count) as out:
        out.scale = JUST_MAJOR
        threads = [threading.Thread(target=melody, args=(start,)) for start in (-20, -5, 3, 17)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert counts == {0x90: 400, 0x80: 400}


@needs_ext("MicrotunePlayPartDegree")
def test_parts_play_on_their_own_instruments_and_stop_their_own_notes(silent):
    programs, pans, notes = {}, {}, []

    def follow(m):
        if m.kind == 0xC0:
            programs[m.channel] = m.data1
        elif m.kind == 0xB0 and m.data1 == 10:
            pans[m.channel] = m.data2
        elif m.kind in (0x80, 0x90):
            notes.append((m.kind, m.channel, m.data1, programs.get(m.channel), pans.get(m.channel)))

    with Output(voice="strings", on_message=follow) as out:
        out.scale = JUST_MAJOR
        flute = out.part("flute", pan=100)
        assert (flute.number, flute.voice.number, flute.pan, flute.volume) == (1, 73, 100, None)
        out.chord([0, 2, 4])
        flute.play(2)
        flute.stop(2)
        strings_voice = out.voice.number
        out.voice = "oboe"  # part 0's voice alone
        flute.play(9)
        with pytest.raises(TypeError):
            out.part(loudness=3)
        with pytest.raises(ValueError):
            flute.volume = 128
    strings = [n for n in notes[:3]]
    assert all(kind == 0x90 and program == strings_voice for kind, _, _, program, _ in strings)
    on, off = notes[3], notes[4]
    assert on[0] == 0x90 and on[3:] == (73, 100) and on[1] not in {n[1] for n in strings}
    assert off[:3] == (0x80, on[1], on[2])  # the flute's note, not the strings' degree 2
    assert notes[5][0] == 0x90 and notes[5][3:] == (73, 100)


@needs_ext("MicrotuneSetMpeZone")
def test_an_mpe_zone_configures_the_synthesizer_and_gives_each_note_a_member(silent):
    tapped = []
    for wrong in ({"tuning": "mts"}, {"tuning": "mpe", "mpe_members": 16}, {"mpe_bend": 0}):
        with pytest.raises(ValueError):
            Output(**wrong)
    with Output(tuning="mpe", mpe_members=4, mpe_bend=24, on_message=tapped.append) as out:
        assert tapped[:3] == [Message(0, 0xB0, 101, 0), Message(0, 0xB0, 100, 6), Message(0, 0xB0, 6, 4)]
        assert Message(4, 0xB4, 6, 24) in tapped and Message(5, 0xB5, 6, 24) not in tapped
        del tapped[:]
        out.scale = JUST_MAJOR
        out.chord([0, 2])  # 5/4: 13.7 cents flat of key 64, 8192 - 13.7 * 8192 / 2400 = 8145
        assert tapped == [Message(1, 0xE1, 0, 64), Message(1, 0x91, 60, 100),
                          Message(2, 0xE2, 8145 & 127, 8145 >> 7), Message(2, 0x92, 64, 100)]
        with pytest.raises(microtune.OutputError, match="one instrument"):
            out.part("flute")
    del tapped[:]
    with Output(voice=48, on_message=tapped.append):  # the next output is classic again
        assert Message(14, 0xCE, 48, 0) in tapped
