"""The rendered WAV file: its samples for numpy, and an audio player for notebooks."""

import base64
import html
import os
import struct
from typing import Any, Optional, Tuple

from .errors import MicrotuneError

__all__ = ["read_wav", "html_player"]

_PCM, _FLOAT, _EXTENSIBLE = 1, 3, 0xFFFE


def read_wav(path: str, samples: bool = True) -> Tuple[Any, int]:
    """The samples (frames by channels, -1..1, float32) and the frame rate of a WAV file."""
    with open(path, "rb") as file:
        data = file.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise MicrotuneError("%s is not a WAV file this package reads (RIFF WAVE)" % path)
    position, fmt, body = 12, None, None  # type: int, Optional[bytes], Optional[bytes]
    while position + 8 <= len(data):
        kind, size = struct.unpack_from("<4sI", data, position)
        chunk = data[position + 8:position + 8 + size]
        if kind == b"fmt ":
            fmt = chunk
        elif kind == b"data":
            body = chunk
        position += 8 + size + (size & 1)
    if fmt is None or body is None or len(fmt) < 16:
        raise MicrotuneError("%s has no format or no samples" % path)
    tag, channels, rate, _, _, bits = struct.unpack_from("<HHIIHH", fmt)
    if tag == _EXTENSIBLE and len(fmt) >= 26:
        tag = struct.unpack_from("<H", fmt, 24)[0]
    if not samples:
        return None, rate
    try:
        import numpy
    except ImportError:
        raise MicrotuneError("the samples of %s as an array need numpy" % path) from None
    width = bits // 8
    usable = len(body) - len(body) % (width * channels)
    if tag == _FLOAT and bits == 32:
        values = numpy.frombuffer(body[:usable], dtype="<f4")
    elif tag == _PCM and bits in (16, 24):
        raw = numpy.frombuffer(body[:usable], dtype=numpy.uint8).reshape(-1, width)
        # Little-endian signed integers, widened to 32 bits from the top.
        wide = numpy.zeros((raw.shape[0], 4), dtype=numpy.uint8)
        wide[:, 4 - width:] = raw
        values = wide.view("<i4").reshape(-1) / 2147483648.0
    else:
        raise MicrotuneError("%s holds samples of format %d, %d bits, which this package does not read"
                             % (path, tag, bits))
    return values.astype(numpy.float32).reshape(-1, channels), rate


def html_player(path: str) -> str:
    """An HTML audio player with the file inside it, for Jupyter."""
    with open(path, "rb") as file:
        encoded = base64.b64encode(file.read()).decode("ascii")
    return ('<audio controls src="data:audio/wav;base64,%s"></audio><br><small>%s</small>'
            % (encoded, html.escape(os.path.basename(path))))
