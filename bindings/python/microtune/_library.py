"""Finding and loading libmicrotune, and the C signatures of its exports.

Importing the package never loads the library: the first call that needs it
does, looking in this order:

1. the file named by ``$MICROTUNE_LIBRARY``;
2. the library folder of the prefix this package is installed under
   (``<prefix>/lib/python3/dist-packages/microtune`` ->
   ``<prefix>/lib/<multiarch>/libmicrotune.so.0``, then ``<prefix>/lib/``);
3. the library folder ``pkg-config`` names for microtune (set
   ``PKG_CONFIG_PATH`` to ``<prefix>/lib/<multiarch>/pkgconfig`` for a prefix
   that is not the system's: a package installed in a virtual environment
   finds the library this way);
4. the system's dynamic loader (``libmicrotune.so.0``, then ``libmicrotune.so``;
   ``microtune.dll`` on Windows).

When none loads, :class:`~microtune.errors.LibraryNotFoundError` names every
place tried and why each failed.
"""

import ctypes
import os
import shutil
import subprocess
import sys
import sysconfig
import threading
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional, Tuple

from .errors import LibraryNotFoundError, MicrotuneError

__all__ = ["lib", "ext", "library_path", "TAP", "candidates"]

_WINDOWS = sys.platform == "win32"
_SONAME = "microtune.dll" if _WINDOWS else "libmicrotune.so.0"
_LINK_NAME = None if _WINDOWS else "libmicrotune.so"

# void tap(void *context, int channel, int status, int data1, int data2)
TAP = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int)

_c_int, _c_double, _c_char_p, _c_void_p = ctypes.c_int, ctypes.c_double, ctypes.c_char_p, ctypes.c_void_p
_c_int_p, _c_double_p = ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_double)

# name: (result, arguments). char* results are taken as addresses, so that
# ctypes does not read a caller's buffer before it is filled.
_Signatures = Dict[str, Tuple[Any, List[Any]]]
_EXPORTS: _Signatures = {
    "nNumOutDevices": (_c_int, []),
    "szNameForDevice": (_c_void_p, [_c_int, _c_char_p, _c_int]),
    "StartMidiOutForiDev": (_c_int, [_c_int]),
    "StopMidiOut": (_c_int, []),
    "SleepSeconds": (None, [_c_double]),
    "SetMidiVoice": (None, [_c_int]),
    "nChannelsAvailable": (_c_int, []),
    "StopQT": (None, []),
    "Set1o1": (None, [_c_double]),
    "GetnScaleNotes": (_c_int, []),
    "GetScaleFromText": (None, [_c_double_p, _c_int_p, _c_char_p, _c_int]),
    "SetMidiScale": (None, [_c_char_p]),
    "PlayScaleDegree": (_c_int, [_c_int, _c_int]),
    "StopScaleDegree": (_c_int, [_c_int, _c_int]),
    "GetMidiVoiceName": (_c_void_p, [_c_int, _c_char_p, _c_int]),
    "FindMidiVoice": (_c_int, [_c_char_p, _c_char_p, _c_int]),
}
# The C calling convention on every platform.
_C_EXPORTS: _Signatures = {
    "StopAllNotesPlayed": (_c_int, [_c_int]),
    "StopAllNotesPlayedInChannel": (_c_int, [_c_int, _c_int]),
}
_EXTENSIONS: _Signatures = {
    "MicrotuneSetMessageTap": (_c_int, [TAP, _c_void_p]),
    "MicrotuneReadScaleFile": (_c_int, [_c_char_p, _c_int, _c_void_p, _c_void_p, _c_int, _c_void_p, _c_int]),
    "MicrotuneReadScaleMemory": (_c_int, [_c_char_p, _c_int, _c_char_p, _c_int, _c_void_p, _c_void_p, _c_int,
                                          _c_void_p, _c_int]),
    "MicrotuneCheckScaleText": (_c_int, [_c_char_p, _c_void_p, _c_int]),
    "MicrotuneReadKeyboardMapFile": (_c_int, [_c_char_p, _c_void_p, _c_void_p, _c_int]),
    "MicrotuneLinearKeyboardMap": (None, [_c_int, _c_void_p]),
    "MicrotuneKeyDegree": (_c_int, [_c_void_p, _c_int, _c_int]),
    "MicrotuneScaleSize": (_c_int, [_c_double_p, _c_int]),
    "MicrotuneDegreePitch": (_c_int, [_c_int, _c_int_p, _c_int_p]),
    "MicrotuneRatioForScaleDegree": (_c_int, [_c_double_p, _c_int, _c_int, _c_double_p]),
    "MicrotuneVersion": (_c_char_p, []),
    "MicrotuneLastError": (_c_char_p, []),
    "MicrotuneSetPartVoice": (_c_int, [_c_int, _c_int]),
    "MicrotuneSetPartController": (_c_int, [_c_int, _c_int, _c_int]),
    "MicrotunePlayPartDegree": (_c_int, [_c_int, _c_int, _c_int]),
    "MicrotuneStopPartDegree": (_c_int, [_c_int, _c_int, _c_int]),
    "MicrotuneSetMpeZone": (_c_int, [_c_int, _c_int]),
    "MicrotunePlayPartFrequency": (_c_int, [_c_int, _c_double, _c_int, _c_int]),
    "MicrotuneStopNote": (_c_int, [_c_int, _c_int]),
    "MicrotuneGlideNote": (_c_int, [_c_int, _c_double]),
}


_Function = Callable[..., Any]


class _Library:
    """The loaded library: the exports as attributes, with their signatures."""

    # The exports of _EXPORTS and _C_EXPORTS, set from those tables.
    nNumOutDevices: _Function
    szNameForDevice: _Function
    StartMidiOutForiDev: _Function
    StopMidiOut: _Function
    SleepSeconds: _Function
    SetMidiVoice: _Function
    nChannelsAvailable: _Function
    StopQT: _Function
    Set1o1: _Function
    GetnScaleNotes: _Function
    GetScaleFromText: _Function
    SetMidiScale: _Function
    PlayScaleDegree: _Function
    StopScaleDegree: _Function
    GetMidiVoiceName: _Function
    FindMidiVoice: _Function
    StopAllNotesPlayed: _Function
    StopAllNotesPlayedInChannel: _Function

    def __init__(self, path: str, handle: Any, c_handle: Any) -> None:
        self.path = path
        self.handle = handle
        for table, source in ((_EXPORTS, handle), (_C_EXPORTS, c_handle)):
            for name, (restype, argtypes) in table.items():
                function = getattr(source, name)
                function.restype = restype
                function.argtypes = argtypes
                setattr(self, name, function)
        self.extensions = {}  # type: Dict[str, _Function]
        for name, (restype, argtypes) in _EXTENSIONS.items():
            try:
                function = getattr(c_handle, name)
            except AttributeError:
                continue
            function.restype = restype
            function.argtypes = argtypes
            self.extensions[name] = function


_lock = threading.Lock()
_loaded = None  # type: Optional[_Library]


def _installed_folders() -> List[Path]:
    """Library folders of the prefix that holds this package, nearest first."""
    folders = []  # type: List[Path]
    package = Path(__file__).resolve().parent
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    for ancestor in package.parents:
        if ancestor.name in ("lib", "lib64"):
            prefix = ancestor.parent
            for folder in (prefix / "lib" / multiarch if multiarch else None, prefix / "lib",
                           prefix / "lib64", prefix / "bin" if _WINDOWS else None):
                if folder is not None and folder not in folders:
                    folders.append(folder)
    return folders


def _pkg_config_folder() -> Optional[str]:
    """The library folder of microtune's pkg-config file, or None."""
    program = shutil.which("pkg-config")
    if program is None:
        return None
    try:
        answer = subprocess.run([program, "--variable=libdir", "microtune"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=10, check=False)
    except (OSError, subprocess.SubprocessError):
        return None
    folder = answer.stdout.decode("utf-8", "replace").strip()
    return folder if answer.returncode == 0 and folder else None


def candidates() -> List[Tuple[str, str]]:
    """Every place the library is looked for, in order: (where, what to load)."""
    places = []  # type: List[Tuple[str, str]]
    named = os.environ.get("MICROTUNE_LIBRARY")
    if named:
        places.append(("$MICROTUNE_LIBRARY", named))
    for folder in _installed_folders():
        places.append(("installed beside this package", str(folder / _SONAME)))
    configured = _pkg_config_folder()
    if configured:
        places.append(("pkg-config", str(Path(configured) / _SONAME)))
    places.append(("system loader", _SONAME))
    if _LINK_NAME:
        places.append(("system loader", _LINK_NAME))
    return places


def _open(name: str) -> Tuple[Any, Any]:
    if os.sep in name or (os.altsep and os.altsep in name):
        if not os.path.exists(name):
            raise OSError("no such file")
    if _WINDOWS:
        return ctypes.WinDLL(name), ctypes.CDLL(name)  # type: ignore[attr-defined]
    handle = ctypes.CDLL(name)
    return handle, handle


def lib() -> _Library:
    """The loaded library, loading it on first use."""
    global _loaded
    with _lock:
        if _loaded is not None:
            return _loaded
        tried = []  # type: List[str]
        for where, name in candidates():
            try:
                handle, c_handle = _open(name)
                _loaded = _Library(name, handle, c_handle)
                return _loaded
            except (OSError, AttributeError) as error:
                reason = str(error).replace(name + ": ", "") or type(error).__name__
                tried.append("%s (%s): %s" % (name, where, reason))
        raise LibraryNotFoundError(
            "libmicrotune was not found; tried " + "; ".join(tried) +
            ". Set MICROTUNE_LIBRARY to the library's path.")


def ext(name: str) -> Callable[..., Any]:
    """An export of microtune_ext.h, or an error saying the library lacks it."""
    loaded = lib()
    try:
        return loaded.extensions[name]
    except KeyError:
        raise MicrotuneError("%s has no %s: it is older than this package" % (loaded.path, name)) from None


def has_ext(name: str) -> bool:
    """Whether the loaded library has this export of microtune_ext.h."""
    return name in lib().extensions


def library_path() -> str:
    """The file or name the library was loaded from."""
    return lib().path
