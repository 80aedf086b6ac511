"""Writing a piece: parts in time, any pitch, glides, MIDI export, notebooks, checked arguments."""

import math

import pytest

import microtune
from microtune import Output
from conftest import needs_ext

JUST_MAJOR = "9/8 5/4 4/3 3/2 5/3 15/8 2/1"
pytestmark = needs_ext("MicrotunePlayPartFrequency")


class Follow:
    """Every note-on with its time on the output's clock, and the program and bend of its channel then."""

    def __init__(self):
        self.output, self.programs, self.bends, self.notes = None, {}, {}, []

    def __call__(self, m):
        if m.kind == 0xC0:
            self.programs[m.channel] = m.data1
        elif m.kind == 0xE0:
            self.bends[m.channel] = m.data1 | m.data2 << 7
        elif m.kind == 0x90 and m.data2 and self.output is not None:
            self.notes.append((self.output.elapsed, self.programs.get(m.channel), m.data1,
                               self.bends.get(m.channel, 8192)))


def test_two_parts_in_time_through_the_tap_and_the_midi_file(tmp_path):
    mido = pytest.importorskip("mido")
    follow = Follow()
    with Output(voice="strings", wav=tmp_path / "piece.wav", on_message=follow, tempo=120) as out:
        follow.output = out
        out.scale, out.one_one = JUST_MAJOR, 220.0
        flute = out.part("flute", pan=100)
        out.chord([0, 2, 4], beats=2)
        flute.play(4, beats=1)
        flute.play(5, beats=0.5)
        out.tempo = 60
        flute.rest(0.25)
        flute.play(7, beats=1)
        pitch = {degree: out.pitch(degree) for degree in (0, 2, 4, 5, 7)}
    strings = out.voice.number
    expected = sorted([(0.0, strings, 0), (0.0, strings, 2), (0.0, strings, 4), (0.0, 73, 4), (0.5, 73, 5),
                       (1.0, 73, 7)])
    assert sorted((t, program, pitch_of(pitch, note, bend)) for t, program, note, bend in follow.notes) == expected
    assert out.elapsed == pytest.approx(2.0)

    out.save_midi(tmp_path / "piece.mid")
    midi = mido.MidiFile(str(tmp_path / "piece.mid"))
    programs, bends, seen, now = {}, {}, [], 0.0
    for m in midi:
        now += m.time
        if m.type == "program_change":
            programs[m.channel] = m.program
        elif m.type == "pitchwheel":
            bends[m.channel] = m.pitch + 8192
        elif m.type == "note_on" and m.velocity:
            seen.append((now, programs.get(m.channel), pitch_of(pitch, m.note, bends.get(m.channel, 8192))))
    assert len(midi.tracks) == 1
    tick = 0.5 / 960
    for (t, program, degree), (want_t, want_program, want_degree) in zip(sorted(seen), expected):
        assert (program, degree) == (want_program, want_degree) and abs(t - want_t) <= tick


def pitch_of(pitches, note, bend):
    return next(degree for degree, p in pitches.items() if p == (note, bend))


@pytest.mark.parametrize("call, scale, one_one, degree", [
    (lambda out: out.play_hz(440.0 * 1.25), "5/4 2/1", 440.0, 1),
    (lambda out: out.play_midi(67.3), "30.0 1200.0", 440.0 * 2 ** (-2 / 12), 1),
    (lambda out: out.play_cents(386.3137 - 1200), "386.3137 1200.0", 200.0, -1),
    (lambda out: out.play_cents(7 * 1200 / 31 + 1200), "31-edo.scl", 261.6255653005986, 38),
])
def test_any_pitch_plays_as_the_degree_of_that_pitch(silent, call, scale, one_one, degree):
    follow = Follow()
    with Output(on_message=follow) as out:
        follow.output = out
        out.scale = microtune.Scale.from_file(scale) if scale.endswith(".scl") else scale
        out.one_one = one_one
        call(out).stop()
        assert follow.notes[-1][2:] == out.pitch(degree)


def test_a_glide_never_bends_another_note(tmp_path):
    sounding, bent = {}, []

    def watch(m):
        if m.kind == 0x90 and m.data2:
            sounding.setdefault(m.channel, set()).add(m.data1)
        elif m.kind in (0x80, 0x90):
            sounding.get(m.channel, set()).discard(m.data1)
        elif m.kind == 0xE0 and sounding.get(m.channel):
            bent.append((m.channel, set(sounding[m.channel]), m.data1 | m.data2 << 7))

    with Output(wav=tmp_path / "glide.wav", on_message=watch) as out:
        out.chord([0, 4, 7], beats=2)
        out.play_midi(60, beats=1, glide_to=61.5)
        out.part("oboe").play_midi(64.5, beats=2, glide_to=63.5)
    assert bent and all(len(notes) == 1 for _, notes, _ in bent)
    assert {(notes.pop(), bend) for _, notes, bend in bent} >= {(60, 14336), (65, 2048)}


def test_arguments_are_checked(silent):
    numpy = pytest.importorskip("numpy")
    with Output() as out:
        flute = out.part("flute", volume=numpy.int64(90))
        bad = [
            (lambda: out.play(2.7), TypeError, "play_hz"), (lambda: out.play("2"), TypeError, "not str"),
            (lambda: out.play(2 ** 40), ValueError, "beyond"), (lambda: out.play(0, 90.0), TypeError, "velocity"),
            (lambda: out.play(0, 128), ValueError, "velocity"), (lambda: out.play(True), TypeError, "degree"),
            (lambda: setattr(out, "one_one", "440"), TypeError, "1/1"),
            (lambda: out.play_hz(-1.0), ValueError, "above 0"), (lambda: out.play_midi("60"), TypeError, "MIDI"),
            (lambda: out.play_hz(440.0, glide_to=500.0), TypeError, "needs beats"),
            (lambda: out.play_hz(440.0, beats=1, glide_to=600.0), ValueError, "2 at most"),
            (lambda: out.play(0, beats=0), ValueError, "beats"), (lambda: flute.rest("1"), TypeError, "beats"),
            (lambda: setattr(out, "tempo", math.inf), ValueError, "tempo"),
            (lambda: setattr(flute, "pan", 128), ValueError, "pan"),
        ]
        for call, error, match in bad:
            with pytest.raises(error, match=match):
                call()
        assert flute.play(numpy.int32(2), numpy.uint8(90)) and out.play(numpy.int64(-3)) is not None
        with pytest.warns(UserWarning, match=r"degree 1000 is .* above what MIDI notes reach"):
            out.play(1000)
        with pytest.warns(UserWarning, match="the pitch is 3 Hz, below what MIDI notes reach: the library plays it "
                                             "at 7.284 Hz"):
            out.play_hz(3.0)


def test_a_notebook_cell_run_again(tmp_path):
    numpy = pytest.importorskip("numpy")
    first = Output(wav=tmp_path / "first.wav")
    first.play(0, beats=1)
    assert "the player appears once the output is closed" in first._repr_html_()
    with pytest.warns(UserWarning, match="closed the output still open"):
        again = Output(wav=tmp_path / "again.wav", sample_format="pcm16")
    assert first.closed
    again.play_cents(0.0, beats=1)
    again.close()
    assert again._repr_html_().startswith('<audio controls src="data:audio/wav;base64,UklGR')
    audio = again.audio
    assert audio.dtype == numpy.float32 and audio.shape[1] == 2 and audio.shape[0] >= 0.5 * again.sample_rate
    assert 0.01 < numpy.abs(audio).max() <= 1.0
