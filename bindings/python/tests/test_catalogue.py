import subprocess
import sys

import pytest

import microtune
from microtune import _library
from conftest import host_program, needs_ext


def host(*arguments: str) -> str:
    program = host_program()
    if program is None:
        pytest.skip("no microtune host program beside the library")
    return subprocess.run([program, *arguments], check=True, capture_output=True, text=True).stdout


@pytest.mark.parametrize("query", [None, "strings", "bell", "40", "+5", "slap  bass 2", "nylon"])
def test_voices_match_the_host(query):
    lines = host("voices", *([query] if query else []))
    expected = [(int(line[:3]), line[5:].replace("  (the one --voice plays)", "")) for line in lines.splitlines()]
    assert microtune.voices(query) == expected


def test_devices_match_the_host():
    lines = host("devices").splitlines()
    expected = [(int(line[:3]), line[5:].replace("  (built-in software synthesizer)", "")) for line in lines]
    assert microtune.devices() == expected
    assert microtune.devices()[-1].name == microtune.BUILT_IN_SYNTHESIZER


@pytest.mark.parametrize("query, problem", [
    ("xyz", "no voice matches 'xyz'"),
    ("", "empty voice name"),
    ("128", "out of range"),
    (-1, "out of range"),
    ("12abc", "neither a number nor a name"),
])
def test_unknown_voices_are_refused(query, problem):
    with pytest.raises(microtune.VoiceNotFoundError, match=problem):
        microtune.find_voice(query)


@needs_ext("MicrotuneVersion")
def test_version_is_major_minor_patch():
    assert [part.isdigit() for part in microtune.version().split(".")] == [True] * 3


def test_library_not_found_names_every_place_tried(monkeypatch):
    monkeypatch.setattr(_library, "_loaded", None)
    monkeypatch.setenv("MICROTUNE_LIBRARY", "/nonexistent/libmicrotune.so.0")
    monkeypatch.setattr(_library, "_installed_folders", lambda: [])
    monkeypatch.setattr(_library, "_SONAME", "libmicrotune-absent.so.0")
    monkeypatch.setattr(_library, "_LINK_NAME", "libmicrotune-absent.so")
    with pytest.raises(microtune.LibraryNotFoundError) as raised:
        microtune.devices()
    message = str(raised.value)
    for place in ("/nonexistent/libmicrotune.so.0 ($MICROTUNE_LIBRARY)", "libmicrotune-absent.so.0 (system loader)",
                  "libmicrotune-absent.so (system loader)"):
        assert place in message


def test_import_never_needs_the_library():
    code = "import microtune, sys; sys.exit(0 if microtune.Scale else 1)"
    environment = {"MICROTUNE_LIBRARY": "/nonexistent", "PYTHONPATH": ":".join(sys.path)}
    subprocess.run([sys.executable, "-c", code], check=True, env=environment)


def test_installed_folders_follow_the_package_prefix(monkeypatch, tmp_path):
    package = tmp_path / "lib" / "python3" / "dist-packages" / "microtune" / "_library.py"
    monkeypatch.setattr(_library, "__file__", str(package))
    monkeypatch.setattr(_library.sysconfig, "get_config_var", lambda name: "aarch64-linux-gnu")
    assert _library._installed_folders()[:2] == [tmp_path / "lib" / "aarch64-linux-gnu", tmp_path / "lib"]
