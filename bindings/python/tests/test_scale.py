import math
from pathlib import Path

import pytest

from microtune import KeyboardMap, Scale, ScaleError

SCALES = Path(__file__).resolve().parents[3] / "tools" / "microtune" / "scales"
JUST_MAJOR = "9/8 5/4 4/3 3/2 5/3 15/8 2/1"


@pytest.mark.parametrize("text, ratios", [
    (JUST_MAJOR, [1, 9 / 8, 5 / 4, 4 / 3, 3 / 2, 5 / 3, 15 / 8, 2]),
    ("700 cents 2/1", [1, 2 ** (7 / 12), 2]),
    ("n(1/3) n(2/3) n(1)", [1, 2 ** (1 / 3), 2 ** (2 / 3), 2]),
    ("386.3137 3/2 2", [1, 2 ** (386.3137 / 1200), 1.5, 2]),
    ("h 1/1 9/8 3/2 2/1", [1, 1.125, 1.5, 2]),
    ("h 2", [2]),
])
def test_the_library_parser_reads_the_text(text, ratios):
    assert Scale.from_text(text).ratios == pytest.approx(ratios, rel=1e-12)


@pytest.mark.parametrize("text, degree, ratio", [
    (JUST_MAJOR, 9, 2.5), (JUST_MAJOR, -1, 0.9375), (JUST_MAJOR, -7, 0.5), (JUST_MAJOR, -8, 0.46875),
    ("100.0", 13, 2 ** (13 / 12)), ("100.0", -12, 0.5),
    ("h 2", 3, 4.0), ("h 2", -3, 0.25), ("h 3/2", 2, 2.0),
    ("2", 445, 5.790291477135095e+133),
])
def test_degrees_follow_the_library_rule(text, degree, ratio):
    assert Scale.from_text(text).ratio(degree) == pytest.approx(ratio, rel=1e-12)


def test_cents():
    assert Scale.from_text("386.3137 3/2 2").cents == pytest.approx([0, 386.3137, 701.955, 1200], abs=1e-3)


@pytest.mark.parametrize("text, problem", [
    ("9/8 abc 2/1", "word 2, 'abc': not a number"),
    ("3/0", "division by zero"),
    ("-3/2 2", "a ratio must be above 0"),
    ("cents 2", "'cents' must follow a value"),
    ("9/8 hello 2/1", "word 2, 'hello': not a number"),
    ("0x10 2", "word 1, '0x10': not a number"),
    ("n(0)", "2 to the power 0"),
    ("   ", "empty scale text"),
])
def test_texts_that_are_no_scale_are_refused(text, problem):
    with pytest.raises(ScaleError, match=problem):
        Scale.from_text(text)


def test_scala_files_shipped_with_the_host():
    just = Scale.from_scl(SCALES / "just12.scl")
    assert just.description == "Five-limit just intonation, 12 notes from C"
    assert just.ratios[4] == 1.25 and just.ratios[-1] == 2.0 and len(just) == 13
    assert Scale.from_scl(SCALES / "31-edo.scl").ratio(31) == pytest.approx(2.0)


@pytest.mark.parametrize("contents, ratios_or_problem", [
    (b"\xef\xbb\xbf! bom\r\ndescribed\r\n 3\r\n 3 / 2 fifth\r\n701.955\r\n2\r\n", [1, 1.5, 2 ** (701.955 / 1200), 2]),
    (b"old mac\r2\r5/4\r2/1\r", [1, 1.25, 2]),
    (b"", "x.scl:1: the file is empty"),
    (b"d\n2\n5/4\n", "x.scl:2: note count is 2 but the file has 1 pitch line"),
    (b"d\n1\n5/4\n2/1\n", "x.scl:4: more pitch lines than the note count 1 on line 2"),
    (b"d\n1\n3/0\n", "x.scl:3: ratio 3/0 has a zero denominator"),
    (b"d\n1\nabc\n", "x.scl:3: 'abc' is not a ratio, a whole number or a value in cents"),
    (b"d\nseven\n", "x.scl:2: note count 'seven' is not a whole number"),
    (b"d\n1\n2\x00\n", "x.scl: not a text file"),
])
def test_scala_rules_follow_the_host(tmp_path, monkeypatch, contents, ratios_or_problem):
    monkeypatch.chdir(tmp_path)
    Path("x.scl").write_bytes(contents)
    if isinstance(ratios_or_problem, str):
        with pytest.raises(ScaleError, match="^" + ratios_or_problem.replace("(", r"\(")):
            Scale.from_scl("x.scl")
    else:
        assert Scale.from_scl("x.scl").ratios == pytest.approx(ratios_or_problem, rel=1e-12)
        assert not math.isnan(Scale.from_scl("x.scl").cents[-1])


@pytest.mark.parametrize("name, contents, ratios, one_one, description", [
    ("a.ascl", "! @ABL REFERENCE_PITCH 4 1 495\n! @ABL NOTE_NAMES Do R\u00e9\nGamme \u00e0 deux\n2\n9/8\n2/1\n",
     [1, 1.125, 2], 440.0, "Gamme \u00e0 deux"),
    ("a.tun", "[Exact Tuning]\nbasefreq=440\nnote 0=0\nnote 1=1200\n", [1, 2], 440.0, ""),
])
def test_files_of_every_format(tmp_path, name, contents, ratios, one_one, description):
    (tmp_path / name).write_text(contents, encoding="utf-8")
    scale = Scale.from_file(tmp_path / name)
    assert scale.ratios[:len(ratios)] == pytest.approx(ratios)
    assert scale.one_one == pytest.approx(one_one)
    assert scale.description == description
    if name.endswith(".ascl"):
        assert scale.note_names == ("Do", "R\u00e9")
    else:
        # Keys the table leaves out keep 12-TET.
        assert len(scale.key_hz) == 128 and scale.key_hz[69] == pytest.approx(440.0)


def test_shipped_files_by_bare_name_and_maps(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    just = Scale.from_file("just-major.scl")
    white = KeyboardMap.from_file("white-keys-7.kbm")
    assert white.reference == (69, 440.0) and white.size == 12
    assert [white.degree(key, just) for key in (59, 60, 61, 62, 72)] == [-1, 0, None, 1, 7]
    assert KeyboardMap.linear(57).degree(60, just) == 3
    Path("k.kbm").write_text("12\n0\n\n127\n")
    with pytest.raises(ScaleError, match=r"^k.kbm:3: blank line before the last key"):
        KeyboardMap.from_file("k.kbm")
