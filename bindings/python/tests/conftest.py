"""Runs against whichever microtune is importable (an installed tree on
PYTHONPATH), else the sources beside these tests; the library is the one
$MICROTUNE_LIBRARY names, or the one the package finds."""

import importlib.util
import os
import shutil
import sys
from pathlib import Path
from typing import Optional

import pytest

if importlib.util.find_spec("microtune") is None:
    sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import microtune  # noqa: E402
from microtune import _library  # noqa: E402


def pytest_report_header(config):  # type: ignore[no-untyped-def]
    try:
        where = microtune.library_path()
    except microtune.MicrotuneError as error:
        where = str(error)
    return "microtune package: %s; library: %s" % (Path(microtune.__file__).parent, where)


def has_ext(name: str) -> bool:
    try:
        return _library.has_ext(name)
    except microtune.MicrotuneError:
        return False


def needs_ext(name: str):  # type: ignore[no-untyped-def]
    return pytest.mark.skipif(not has_ext(name), reason="the library has no %s" % name)


def host_program() -> Optional[str]:
    """The microtune command-line host of the same build or install as the library."""
    if os.environ.get("MICROTUNE_HOST"):
        return os.environ["MICROTUNE_HOST"]
    library = Path(os.path.realpath(microtune.library_path()))
    for folder in library.parents:
        for candidate in (folder / "tools" / "microtune" / "microtune", folder / "bin" / "microtune"):
            if candidate.is_file() and os.access(candidate, os.X_OK):
                return str(candidate)
    return shutil.which("microtune")


@pytest.fixture
def silent(monkeypatch):  # type: ignore[no-untyped-def]
    """The built-in synthesizer without sound or font: it only records."""
    monkeypatch.setenv("MICROTUNE_SYNTH_OUTPUT", "none")
    monkeypatch.delenv("MICROTUNE_SYNTH_WAV", raising=False)
